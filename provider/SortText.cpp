#include "provider/SortText.h"

#include "provider/Blanks.h"
#include "provider/ProviderError.h"
#include "jet/Text.h"

namespace tessor::provider {

namespace {

[[noreturn]] void bad(const std::string& why) {
    throw ProviderError(hr::kInvalidArgument, "The sort order is not valid: " + why);
}

size_t lookup(std::string_view name, const std::vector<ColumnInfo>& columns) {
    if (auto c = findColumn(columns, name)) return *c;
    throw ProviderError(hr::kItemNotFound, "The sort order names no field of the recordset: \"" +
                                               std::string(name) + "\".");
}

}  // namespace

std::vector<SortText::Key> SortText::parse(std::string_view text,
                                           const std::vector<ColumnInfo>& columns) {
    std::vector<Key> keys;
    if (trimBlanks(text).empty()) return keys;
    size_t pos = 0;
    while (true) {
        // One key runs to the next comma outside brackets.
        size_t end = pos;
        bool inBracket = false;
        while (end < text.size() && (inBracket || text[end] != ',')) {
            if (inBracket && text[end] == ']') {
                // "]]" inside brackets is a "]" of the name.
                if (end + 1 < text.size() && text[end + 1] == ']') {
                    end += 2;
                    continue;
                }
                inBracket = false;
            } else if (text[end] == '[') {
                inBracket = true;
            }
            ++end;
        }
        if (inBracket) bad("a \"[\" is not closed.");
        std::string_view piece = trimBlanks(text.substr(pos, end - pos));
        if (piece.empty()) bad("a key between commas is empty.");
        Key key;
        std::string_view name;
        std::string_view rest;
        std::string unescaped;
        if (piece.front() == '[') {
            size_t close = 1;
            for (; close < piece.size(); ++close) {
                if (piece[close] != ']') {
                    unescaped += piece[close];
                } else if (close + 1 < piece.size() && piece[close + 1] == ']') {
                    unescaped += ']';
                    ++close;
                } else {
                    break;
                }
            }
            name = unescaped;
            rest = trimBlanks(piece.substr(close + 1));
        } else {
            const size_t blank = piece.find_last_of(" \t");
            std::string_view last =
                blank == std::string_view::npos ? piece : piece.substr(blank + 1);
            if (blank != std::string_view::npos &&
                (jet::CaseFold::equal(last, "asc") || jet::CaseFold::equal(last, "desc"))) {
                name = trimBlanks(piece.substr(0, blank));
                rest = last;
            } else {
                name = piece;
            }
        }
        if (jet::CaseFold::equal(rest, "desc"))
            key.descending = true;
        else if (!rest.empty() && !jet::CaseFold::equal(rest, "asc"))
            bad("\"" + std::string(rest) + "\" is neither ASC nor DESC.");
        key.column = lookup(name, columns);
        keys.push_back(key);
        if (end >= text.size()) break;
        pos = end + 1;
    }
    return keys;
}

}  // namespace tessor::provider
