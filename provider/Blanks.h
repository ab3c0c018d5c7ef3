#pragma once

#include <string_view>

namespace tessor::provider {

// The blanks that separate words in connection texts, command texts, sort orders and find
// criteria: space, tab and line breaks.
inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

}  // namespace tessor::provider
