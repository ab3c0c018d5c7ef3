#pragma once

#include <algorithm>
#include <vector>

// The middle of the timings of a bench's runs (the upper one of the two for an even count).
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
