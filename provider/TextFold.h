#pragma once

#include <string>
#include <string_view>

namespace tessor::provider {

// Text compared the way the database compares it for = and LIKE: without regard to case,
// character by character (accents count). Texts are UTF-8; a malformed byte stands for itself
// so that comparing never fails.
class TextFold {
public:
    // Next code point of s from pos, advancing pos. pos must be < s.size().
    static char32_t decode(std::string_view s, size_t& pos);
    static char32_t fold(char32_t c);
    // The folded code points of s.
    static std::u32string folded(std::string_view s);
    // <0, 0, >0 comparing the folded texts code point by code point.
    static int compare(std::string_view a, std::string_view b);
    static bool equal(std::string_view a, std::string_view b) { return compare(a, b) == 0; }
    // The order for sorting: letters first by their base letter, so that accented letters sit
    // with their plain ones ("Ärger" before "Bar"), then by accents ("resume" before
    // "résumé"); case never counts.
    static int collate(std::string_view a, std::string_view b);
    // The plain Latin letter of an accented one (lower case); c itself otherwise.
    static char32_t baseLetter(char32_t c);
};

}  // namespace tessor::provider
