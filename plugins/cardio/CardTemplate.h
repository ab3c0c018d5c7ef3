#pragma once

#include <string>
#include <string_view>
#include <vector>

// Card-design templates in the text format of docs/card-templates.md: a card's sides and, per
// side, its objects with their kinds and names, the variable ones marked.
namespace cardio {

struct CardObject {
    std::string kind;  // text, image, barcode, shape
    std::string name;  // 1 to kMaxName bytes as written (UTF-8), without quotes
    bool variable = false;
};

struct CardSide {
    bool present = false;
    std::vector<CardObject> objects;
};

struct CardTemplate {
    CardSide front;
    CardSide back;
    // 1 front only, 2 back only, 3 both.
    int sidesCode() const { return (front.present ? 1 : 0) | (back.present ? 2 : 0); }
};

inline constexpr std::size_t kMaxFileSize = 1 << 20;
inline constexpr std::size_t kMaxName = 255;
inline constexpr std::size_t kMaxObjectsPerSide = 4096;

// Reads a template from its text. False, with a one-line reason in `error` ("line 4: ..."),
// for anything that is not a whole, well-formed template; `card` is then unspecified.
bool ParseCardTemplate(std::string_view text, CardTemplate& card, std::string& error);

// Reads the file at `path` (at most kMaxFileSize bytes) and parses it.
bool ReadCardTemplate(const char* path, CardTemplate& card, std::string& error);

}  // namespace cardio
