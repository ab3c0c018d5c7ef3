// Rows of engine values as CSV (or TSV) text in mdbtool's export form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jet/Schema.h"
#include "jet/Value.h"

namespace tessor::csv {

class CsvWriter {
public:
    explicit CsvWriter(char delimiter = ',') : m_delimiter(delimiter) {}

    char delimiter() const { return m_delimiter; }

    // Column names, unquoted as mdb-export writes them; a name that would break the line
    // (delimiter, quote, line break) is quoted instead.
    void appendHeader(std::string& out, const std::vector<jet::ColumnDef>& columns) const;
    void appendHeader(std::string& out, const std::vector<std::string>& names) const;
    // One line: the values separated by the delimiter, then '\n'.
    void appendRow(std::string& out, const std::vector<jet::Value>& row) const;
    // NULL is an empty field; text, dates, binary and GUIDs are quoted; numbers are not.
    void appendValue(std::string& out, const jet::Value& value) const;

private:
    char m_delimiter;
};

}  // namespace tessor::csv
