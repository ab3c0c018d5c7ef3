#include "CsvTable.h"

#include <stdexcept>

namespace tessor::testing {

std::vector<CsvRow> parseCsv(std::string_view text, char delimiter) {
    std::vector<CsvRow> rows;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        CsvRow row;
        for (;;) {
            CsvField field;
            if (i < n && text[i] == '"') {
                field.quoted = true;
                ++i;
                for (;;) {
                    if (i >= n) throw std::runtime_error("unterminated quoted field");
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field.text.push_back('"');
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field.text.push_back(text[i++]);
                }
                if (i < n && text[i] != delimiter && text[i] != '\n') {
                    throw std::runtime_error("text after a closing quote");
                }
            } else {
                while (i < n && text[i] != delimiter && text[i] != '\n')
                    field.text.push_back(text[i++]);
            }
            row.push_back(std::move(field));
            if (i >= n) throw std::runtime_error("last line has no line end");
            if (text[i++] == '\n') break;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace tessor::testing
