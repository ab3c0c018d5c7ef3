#pragma once

#include <cstdint>

#include "jet/Schema.h"
#include "jet/SchemaChange.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Where a new column goes in a table's rows, as Access lays it out: the next column id, the
// next variable slot (slots and ids of dropped columns are never reused), fixed columns after
// the live fixed columns (Yes/No fields take no bytes: they live in the null mask), the
// database's sort order on every non-numeric column, and Unicode compression on text.
class ColumnLayout {
public:
    // Checks the column (type, size, AutoNumber) and returns its descriptor; `def` gets the
    // column appended and its counters advanced. Throws hr::kInvalidArg with a sentence naming
    // the field. Long-value maps are the caller's (StoredColumn::lvOwnedMap/lvFreeMap stay 0).
    // A non-zero jet3CodePage lays the column out for Access 97: text sized in bytes of that code
    // page (no compression), the code page and sort order in every descriptor; Decimal refused.
    static StoredColumn add(StoredTableDef& def, const NewColumn& column,
                            uint32_t databaseSortOrder, uint16_t jet3CodePage = 0);
};

}  // namespace jet
