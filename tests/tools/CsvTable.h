// A parsed CSV text in the export's dialect, for comparing exports cell by cell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessor::testing {

struct CsvField {
    std::string text;     // unquoted content
    bool quoted = false;  // "" (empty text) and an empty unquoted field (NULL) differ
    bool operator==(const CsvField&) const = default;
    std::string display() const {
        return quoted ? "\"" + text + "\"" : text.empty() ? "NULL" : text;
    }
};

using CsvRow = std::vector<CsvField>;

// Lines end with '\n'; quoted fields may hold the delimiter, "" and line breaks. Throws
// std::runtime_error on malformed input (an unterminated quote, text after a closing quote).
std::vector<CsvRow> parseCsv(std::string_view text, char delimiter = ',');

}  // namespace tessor::testing
