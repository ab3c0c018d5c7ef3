#include "index/TextKeyEncoder.h"

#include "index/TextCodeTable.h"

#include <algorithm>
#include <array>

namespace jet::index {
namespace {

constexpr std::uint8_t kEndText = 0x01;
constexpr std::uint8_t kEndExtra = 0x00;
constexpr std::uint8_t kExtraPlaceholder = 0x02;
constexpr std::uint8_t kUnprintableMidfix = 0x06;
constexpr unsigned kUnprintableStart = 7;
constexpr unsigned kUnprintableStep = 4;
constexpr unsigned kUnprintableFlag = 0x8000;
constexpr std::uint8_t kCrazyStart = 0x80;
constexpr std::uint8_t kCrazyCode1 = 0x02;
constexpr std::uint8_t kCrazyCode2 = 0x03;
constexpr std::uint8_t kCrazySuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr std::uint8_t kCrazyBeforeUnprintable = 0xFF;
constexpr std::uint8_t kSurrogateExtra = 0x3F;

void invert(std::vector<std::uint8_t>& out, std::size_t from) {
    for (std::size_t i = from; i < out.size(); ++i)
        out[i] = static_cast<std::uint8_t>(~out[i]);
}

// Surrogate code units are not in the measured table; their weights follow
// from the code unit itself.
CharCodes surrogateCodes(char16_t c) {
    unsigned index = 0;
    if (c < 0xDC00) {
        index = c - 10238u;
    } else {
        const unsigned inBlock = (c - 0xDC00u) % 1024u;
        unsigned shift = 9984;
        if (inBlock < 8)
            shift = 9992;
        else if (inBlock < 8 + 254)
            shift = 9990;
        else if (inBlock < 8 + 2 * 254)
            shift = 9988;
        else if (inBlock < 8 + 3 * 254)
            shift = 9986;
        index = c - shift;
    }
    CharCodes codes;
    codes.kind = CharCodes::Kind::International;
    codes.weights = 1;
    codes.inlineLen = 2;
    codes.inlineData = {static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index), 0,
                        0};
    codes.extraLen = 1;
    codes.extraData = {kSurrogateExtra, 0};
    return codes;
}

bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// ASCII characters whose key is their inline bytes alone (letters, digits and most signs),
// taken from the measured table once: most text is made of them.
struct PlainAscii {
    std::uint8_t len = 0;  // 0: the character needs the full treatment
    std::uint8_t weights = 0;
    std::uint8_t bytes[2] = {};
};

const std::array<PlainAscii, 128>& plainAscii() {
    static const std::array<PlainAscii, 128> table = [] {
        std::array<PlainAscii, 128> t{};
        for (char16_t c = 0; c < 128; ++c) {
            const CharCodes codes = TextCodeTable::generalLegacy(c);
            const bool plain = codes.kind == CharCodes::Kind::Simple ||
                               codes.kind == CharCodes::Kind::Significant;
            if (!plain || codes.inlineLen == 0 || codes.inlineLen > 2) continue;
            t[c] = {codes.inlineLen, codes.weights, {codes.inlineData[0], codes.inlineData[1]}};
        }
        return t;
    }();
    return table;
}

}  // namespace

std::u16string_view TextKeyEncoder::indexedPart(std::u16string_view text) {
    if (text.size() > kMaxIndexedChars) text = text.substr(0, kMaxIndexedChars);
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    return text;
}

void TextKeyEncoder::append(std::u16string_view text, TextSortOrder order, bool ascending,
                            std::vector<std::uint8_t>& out, TextPositions positions) {
    if (order == TextSortOrder::General97)
        appendGeneral97(indexedPart(text), ascending, out);
    else
        appendGeneralLegacy(indexedPart(text), ascending, out, positions);
}

// Layout: inline weights, 01, then when needed the per-position extra (accent)
// codes, and after 01 01 the packed "crazy" flags of some extended characters
// and the records of unprintable characters. Positions count sort weights, not
// characters: a character that sorts as two letters (ß as "ss") takes two.
void TextKeyEncoder::appendGeneralLegacy(std::u16string_view text, bool ascending,
                                         std::vector<std::uint8_t>& out, TextPositions positions) {
    const bool byCharacter = positions == TextPositions::Characters;
    const std::size_t start = out.size();
    // Room for most keys at once (a plain character takes one inline byte). Grown by doubling,
    // never to the exact need: a sort gathers the keys of every record in one buffer.
    if (const std::size_t need = start + text.size() + 2; need > out.capacity())
        out.reserve(std::max(need, 2 * out.capacity()));
    // The key's later sections, gathered apart; their room is kept from one key to the next.
    thread_local std::vector<std::uint8_t> extra, unprintable, crazy;
    extra.clear();
    unprintable.clear();
    crazy.clear();
    bool haveExtra = false;
    unsigned extraPositions = 0;     // positions the extra section accounts for so far
    unsigned unprintablePrefix = 0;  // a leading modifier byte that holds no position
    bool haveUnprintable = false;
    unsigned position = 0;
    const std::array<PlainAscii, 128>& ascii = plainAscii();

    for (const char16_t c : text) {
        if (c < 128 && ascii[c].len != 0) {
            const PlainAscii& a = ascii[c];
            out.push_back(a.bytes[0]);
            if (a.len == 2) out.push_back(a.bytes[1]);
            position += byCharacter ? 1 : a.weights;
            continue;
        }
        const CharCodes codes =
            isSurrogate(c) ? surrogateCodes(c) : TextCodeTable::generalLegacy(c);
        using Kind = CharCodes::Kind;
        if (codes.kind == Kind::Ignored) continue;
        const unsigned here = position;
        if (codes.kind != Kind::Unprintable && codes.kind != Kind::UnprintableExt) {
            for (std::uint8_t b : codes.inlineBytes())
                out.push_back(b);
            position += byCharacter ? 1 : codes.weights;
        }
        if (codes.kind == Kind::Simple || codes.kind == Kind::Significant) continue;

        const bool isModifier = codes.kind == Kind::UnprintableExt;
        if (codes.extraLen > 0 || isModifier) {
            haveExtra = true;
            if (extraPositions < here) {
                extra.insert(extra.end(), here - extraPositions, kExtraPlaceholder);
                extraPositions = here;
            }
            if (!isModifier) {
                const auto bytes = codes.extraBytes();
                extra.insert(extra.end(), bytes.begin(), bytes.end());
                extraPositions += byCharacter ? 1 : codes.extraLen;
            } else if (codes.extraLen > 0) {
                if (!extra.empty()) {
                    extra.back() = static_cast<std::uint8_t>(extra.back() + codes.extraData[0]);
                } else {
                    extra.push_back(codes.extraData[0]);
                    unprintablePrefix = 1;
                }
            }
        }

        if (codes.kind == Kind::Unprintable) {
            haveUnprintable = true;
            unsigned pos = here;
            if (haveExtra)
                pos = static_cast<unsigned>(extra.size()) + (here - extraPositions) -
                      unprintablePrefix;
            const unsigned field = (kUnprintableStart + kUnprintableStep * pos) | kUnprintableFlag;
            unprintable.push_back(static_cast<std::uint8_t>(field >> 8));
            unprintable.push_back(static_cast<std::uint8_t>(field));
            unprintable.push_back(kUnprintableMidfix);
            const auto bytes = codes.inlineBytes();
            unprintable.insert(unprintable.end(), bytes.begin(), bytes.end());
        }

        if (codes.kind == Kind::InternationalExtCrazy1)
            crazy.push_back(kCrazyCode1);
        else if (codes.kind == Kind::InternationalExtCrazy2)
            crazy.push_back(kCrazyCode2);
    }

    out.push_back(kEndText);

    // placeholders (and zero bytes) at the end of the extra section carry nothing
    while (!extra.empty() && extra.back() <= kExtraPlaceholder)
        extra.pop_back();
    const bool haveCrazy = !crazy.empty();
    if (!extra.empty() || haveUnprintable || haveCrazy) {
        out.insert(out.end(), extra.begin(), extra.end());
        if (haveCrazy || haveUnprintable) {
            out.push_back(kEndText);
            out.push_back(kEndText);
            if (haveCrazy) {
                while (!crazy.empty() && crazy.back() == kCrazyCode2)
                    crazy.pop_back();
                std::uint8_t packed = kCrazyStart;
                unsigned slot = 0;
                for (const std::uint8_t code : crazy) {
                    packed = static_cast<std::uint8_t>(packed | (code << ((2 - slot) * 2)));
                    if (++slot == 3) {
                        out.push_back(packed);
                        packed = kCrazyStart;
                        slot = 0;
                    }
                }
                if (slot > 0) out.push_back(packed);
                out.insert(out.end(), std::begin(kCrazySuffix), std::end(kCrazySuffix));
                if (haveUnprintable) out.push_back(kCrazyBeforeUnprintable);
            }
            if (haveUnprintable) {
                out.push_back(kEndText);
                out.insert(out.end(), unprintable.begin(), unprintable.end());
            }
        }
    }

    if (!ascending) {
        out.push_back(kEndExtra);
        invert(out, start);
    }
    out.push_back(kEndExtra);
}

// General 97 keeps accents as nibbles after the inline codes, each preceded by
// one placeholder nibble per accent-capable letter since the previous accent.
void TextKeyEncoder::appendGeneral97(std::u16string_view text, bool ascending,
                                     std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    std::vector<std::uint8_t> nibbles;
    bool haveExtra = false;
    unsigned significant = 0;

    for (const char16_t c : text) {
        const CharCodes codes = TextCodeTable::general97(c);
        using Kind = CharCodes::Kind;
        if (codes.kind == Kind::Ignored) continue;
        const auto bytes = codes.inlineBytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
        // letters that can carry an accent hold a position; ß holds two
        if (codes.kind == Kind::Simple || codes.kind == Kind::Significant) {
            significant += codes.weights;
            continue;
        }
        if (codes.extraLen > 0) {
            if (!haveExtra) {
                nibbles.push_back(0);
                haveExtra = true;
            }
            nibbles.insert(nibbles.end(), significant, kExtraPlaceholder);
            nibbles.push_back(codes.extraData[0] & 0x0F);
            significant = 0;
        }
    }

    if (haveExtra) {
        nibbles.push_back(0);
        for (std::size_t i = 0; i < nibbles.size(); i += 2) {
            const std::uint8_t low = i + 1 < nibbles.size() ? nibbles[i + 1] : 0;
            out.push_back(static_cast<std::uint8_t>((nibbles[i] << 4) | low));
        }
    } else {
        out.push_back(kEndExtra);
    }

    if (!ascending) invert(out, start);
}

}  // namespace jet::index
