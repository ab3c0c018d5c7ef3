#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace jet::index {

// Sort orders whose text keys this engine can build.
enum class TextSortOrder : std::uint8_t {
    GeneralLegacy,  // Jet 4 (Access 2000-2003) "General", LCID 1033 version 0
    General97,      // Jet 3 (Access 97) "General"
};

// How General Legacy keys number the positions of accent and unprintable
// records. Access counts sort weights (ß, Æ take two); some other writers count
// characters, which gives a different key for text with such characters. Only
// Weights is ever written; Characters lets a checker recognise those keys.
enum class TextPositions : std::uint8_t { Weights, Characters };

// Turns a text value into the bytes Jet stores for it in an index key, after the
// column's flag byte. Keys compare as unsigned bytes in the order Jet sorts the
// text; descending columns get the inverted form.
class TextKeyEncoder {
public:
    // Index keys cover only this many UTF-16 code units of a value.
    static constexpr std::size_t kMaxIndexedChars = 255;

    static void append(std::u16string_view text, TextSortOrder order, bool ascending,
                       std::vector<std::uint8_t>& out,
                       TextPositions positions = TextPositions::Weights);

    // Truncates to kMaxIndexedChars and drops trailing spaces, which Jet ignores.
    static std::u16string_view indexedPart(std::u16string_view text);

private:
    static void appendGeneralLegacy(std::u16string_view text, bool ascending,
                                    std::vector<std::uint8_t>& out, TextPositions positions);
    static void appendGeneral97(std::u16string_view text, bool ascending,
                                std::vector<std::uint8_t>& out);
};

}  // namespace jet::index
