#include "grid/SearchCriterion.h"

namespace grid {

namespace {

bool isTextType(int code) {
    switch (code) {
        case 8: case 129: case 130: case 200: case 201: case 202: case 203:
            return true;
        default:
            return false;
    }
}

bool isNumberType(int code) {
    switch (code) {
        case 2: case 3: case 4: case 5: case 14: case 16: case 17: case 18: case 19: case 20:
        case 21: case 131: case 139:
            return true;
        default:
            return false;
    }
}

// Field names hold no brackets (the database refuses them), so nothing inside needs escaping.
std::string bracketed(std::string_view name) {
    return "[" + std::string(name) + "]";
}

std::string quoted(std::string_view text, bool literalWildcards) {
    std::string out;
    for (char c : text) {
        if (c == '\'') {
            out += "''";
        } else if (literalWildcards && (c == '*' || c == '?' || c == '#' || c == '[')) {
            out += '[';
            out += c;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> SearchCriterion::make(std::string_view field, int typeCode,
                                                 std::string_view findText, bool matchWhole) {
    if (isTextType(typeCode)) {
        if (matchWhole) return bracketed(field) + " = '" + quoted(findText, false) + "'";
        return bracketed(field) + " like '*" + quoted(findText, true) + "*'";
    }
    if (isNumberType(typeCode)) return bracketed(field) + " = " + std::string(findText);
    return std::nullopt;
}

}  // namespace grid
