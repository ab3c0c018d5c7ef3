#include "provider/TextFold.h"

#include <locale.h>
#include <wctype.h>

namespace tessor::provider {

namespace {

// The C.UTF-8 locale carries the full Unicode lower-case mapping whatever the process locale
// is; ASCII alone is folded when it is missing.
locale_t utf8Locale() {
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

// Compares a and b code point by code point after folding case and then applying `map`;
// ASCII takes a short path, as it makes up most texts.
template <typename Map>
int compareFolded(std::string_view a, std::string_view b, Map map) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        char32_t x, y;
        if ((ca | cb) < 0x80) {
            x = ca >= 'A' && ca <= 'Z' ? ca + 32 : ca;
            y = cb >= 'A' && cb <= 'Z' ? cb + 32 : cb;
            ++i;
            ++j;
        } else {
            x = map(TextFold::fold(TextFold::decode(a, i)));
            y = map(TextFold::fold(TextFold::decode(b, j)));
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

char32_t TextFold::decode(std::string_view s, size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int len = b0 >= 0xF0 && b0 < 0xF5 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : 0;
    if (len == 0 || pos + len > s.size()) {
        ++pos;
        return 0xDC00 + b0;  // a lone byte keeps its identity without being a real character
    }
    char32_t c = b0 & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xDC00 + b0;
        }
        c = (c << 6) | (b & 0x3F);
    }
    pos += len;
    return c;
}

char32_t TextFold::fold(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    locale_t loc = utf8Locale();
    if (!loc) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
}

std::u32string TextFold::folded(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();)
        out += fold(decode(s, pos));
    return out;
}

int TextFold::compare(std::string_view a, std::string_view b) {
    return compareFolded(a, b, [](char32_t c) { return c; });
}

char32_t TextFold::baseLetter(char32_t c) {
    // U+00C0 to U+024F by their canonical decomposition ("." where there is no plain letter).
    static const char kBase[] =
        "aaaaaa.ceeeeiiii.nooooo.ouuuuy..aaaaaa.ceeeeiiii.nooooo.ouuuuy.y"
        "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiii..jjkk.llllll."
        ".llnnnnnn...oooooo..rrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzz."
        "................................oo.............uu..............."
        ".............aaiioouuuuuuuuuu.aaaa....ggkkoooo..j...gg..nnaa...."
        "aaaaeeeeiiiioooorrrruuuusstt..hh......aaeeooooooooyy............"
        "................";
    if (c < 0xC0 || c > 0x24F) return c;
    const char b = kBase[c - 0xC0];
    return b == '.' ? c : static_cast<char32_t>(b);
}

int TextFold::collate(std::string_view a, std::string_view b) {
    const int byLetter = compareFolded(a, b, baseLetter);
    if (byLetter != 0) return byLetter;
    return compare(a, b);
}

}  // namespace tessor::provider
