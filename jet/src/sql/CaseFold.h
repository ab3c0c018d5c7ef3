#pragma once

#include <string>
#include <string_view>

namespace jet::sql {

// Letters folded to one case, so that text compares without regard to case as Jet does:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals meet their small letters.
// Texts are UTF-8; a malformed byte stands for itself, so folding never fails.
class CaseFold {
public:
    // Next code point of s from pos (pos < s.size()), advancing pos.
    static char32_t decode(std::string_view s, size_t& pos);
    static char32_t fold(char32_t c);
    static std::u32string folded(std::string_view s);
    static bool equal(std::string_view a, std::string_view b);
};

}  // namespace jet::sql
