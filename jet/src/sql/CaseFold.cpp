#include "sql/CaseFold.h"

namespace jet::sql {

char32_t CaseFold::decode(std::string_view s, size_t& pos) {
    const unsigned char b = static_cast<unsigned char>(s[pos]);
    const int extra = b < 0x80             ? 0
                      : (b & 0xE0) == 0xC0 ? 1
                      : (b & 0xF0) == 0xE0 ? 2
                      : (b & 0xF8) == 0xF0 ? 3
                                           : -1;
    if (extra == 0) {
        ++pos;
        return b;
    }
    // A byte that starts no complete character stands for itself, apart from every real one.
    if (extra < 0 || pos + size_t(extra) >= s.size()) {
        ++pos;
        return char32_t(0x110000 + b);
    }
    char32_t cp = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[pos + k]);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return char32_t(0x110000 + b);
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    pos += size_t(extra) + 1;
    return cp;
}

char32_t CaseFold::fold(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return 'i';
        if (c == 0x178) return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (oddUpper) return (c & 1) ? c + 1 : c;
        return (c & 1) ? c : c + 1;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

std::u32string CaseFold::folded(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();)
        out.push_back(fold(decode(s, i)));
    return out;
}

bool CaseFold::equal(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (fold(decode(a, i)) != fold(decode(b, j))) return false;
    return i == a.size() && j == b.size();
}

}  // namespace jet::sql
