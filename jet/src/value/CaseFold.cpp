#include "jet/Text.h"

#include <locale.h>
#include <wctype.h>

namespace jet {

namespace {

// A byte that starts no complete character: outside Unicode, so it meets no real character.
constexpr char32_t kLoneByte = 0x110000;

// The C.UTF-8 locale carries the whole Unicode lower-case mapping whatever the process's locale
// is; without it only ASCII is folded.
locale_t utf8Locale() {
    static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

inline char32_t foldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

}  // namespace

char32_t CaseFold::decode(std::string_view s, size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    const int len = b0 >= 0xF0 && b0 < 0xF5 ? 4 : b0 >= 0xE0 && b0 < 0xF0 ? 3
                    : b0 >= 0xC2 && b0 < 0xE0                         ? 2
                                                                      : 0;
    if (len == 0 || pos + len > s.size()) {
        ++pos;
        return kLoneByte + b0;
    }
    char32_t c = b0 & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return kLoneByte + b0;
        }
        c = (c << 6) | (b & 0x3F);
    }
    pos += len;
    return c;
}

char32_t CaseFold::fold(char32_t c) {
    if (c < 0x80) return foldAscii(static_cast<unsigned char>(c));
    if (c >= kLoneByte) return c;
    const locale_t loc = utf8Locale();
    if (!loc) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
}

std::u32string CaseFold::folded(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();)
        out.push_back(fold(decode(s, pos)));
    return out;
}

int CaseFold::compare(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        char32_t x, y;
        if ((ca | cb) < 0x80) {  // the short way for ASCII, which most texts are
            x = foldAscii(ca);
            y = foldAscii(cb);
            ++i;
            ++j;
        } else {
            x = fold(decode(a, i));
            y = fold(decode(b, j));
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool CaseFold::equal(std::string_view a, std::string_view b) {
    return compare(a, b) == 0;
}

}  // namespace jet
