#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/Schema.h"
#include "base/TextCodec.h"
#include "jet/Value.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Turns a value into the bytes a row stores for a column: fixed fields at their full
// width, variable fields as stored, and for Memo/OLE the bytes of the long value itself (the
// descriptor is made when the value is placed). Values the column cannot hold are refused with
// hr::kInvalidArg and a sentence naming the column.
class FieldEncoder {
public:
    // `text` given and Jet 3: text goes into the database code page, and a character the code
    // page cannot hold is refused by name. Otherwise text is stored as Jet 4 stores it.
    static std::vector<uint8_t> encode(const StoredTableDef& table, const StoredColumn& column,
                                       const Value& value, const TextCodec* text = nullptr);
    // The same into `out` (emptied first), whose room is reused: rows written one after
    // another need no allocation per field.
    static void encodeInto(const StoredTableDef& table, const StoredColumn& column,
                           const Value& value, const TextCodec* text, std::vector<uint8_t>& out);
    // Width of a fixed column's field in the fixed area.
    static size_t fixedWidth(const StoredColumn& column);
    // Whether rows of this column type can be written at all.
    static bool supported(ColumnType type);
};

}  // namespace jet
