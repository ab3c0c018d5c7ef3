// Reads a field of mdbtool's export back into the value of its column: the inverse of
// CsvWriter::appendValue, built on the parse functions of ValueText.h.
#pragma once

#include <string>
#include <string_view>

#include "jet/Schema.h"
#include "jet/Value.h"

namespace tessor::csv {

class ValueReader {
public:
    // An empty unquoted field is NULL. Text and memo fields take the text as it stands; binary
    // and OLE fields hex; the others the export's form of their type. False, with `why` saying
    // what is wrong (e.g. "'12x' is not a whole number"), when the text is no value of the
    // column's type. Range checks that depend on the column (text length, decimal places) are
    // left to the engine, which names the field in its refusal.
    static bool read(const jet::ColumnDef& column, std::string_view text, bool quoted,
                     jet::Value& value, std::string& why);
};

}  // namespace tessor::csv
