#pragma once

#include <string_view>

namespace jet::textscan {

// The small pieces every reader of typed text needs: ASCII digits only (no locale), and the
// blanks (spaces and tabs) a person leaves around a value.
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace jet::textscan
