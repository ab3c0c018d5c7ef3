#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Database.h"
#include "jet/Schema.h"
#include "page/MapPointer.h"

namespace jet {

// A table definition as its TDEF page chain stores it: the public description (jet/Schema.h)
// and every other stored field, so that a definition can be written back as read.

struct StoredColumn : ColumnDef {
    uint16_t varIndex = 0;         // slot in the row's variable offset table (variable columns)
    uint16_t columnNumber = 0;     // stored copy of the number (informational)
    uint16_t fixedOffset = 0;      // offset in the fixed area (fixed columns)
    uint16_t misc = 0;             // Jet 3 bytes 0x07..0x08 (unknown, kept for write-back)
    uint16_t descriptorIndex = 0;  // position of the descriptor in the stored list
    MapPointer lvOwnedMap;         // Memo/OLE: map of the column's LVAL pages
    MapPointer lvFreeMap;          // Memo/OLE: map of its LVAL pages with free space
};

struct StoredRealIndex : RealIndexDef {
    MapPointer usageMap;      // map of the index's pages
    uint32_t firstPage = 0;   // root page
    uint32_t statsWord0 = 0;  // statistics: first word (kept for write-back)
    uint32_t statsWord2 = 0;  // statistics: third word (Jet 4 only)
    uint32_t unknown2A = 0;   // Jet 4 block +0x2A (kept for write-back)
};

struct StoredTableDef {
    std::string name;
    uint32_t tdefPage = 0;
    std::vector<uint32_t> tdefPages;  // the whole chain, first page first
    uint32_t definitionLength = 0;    // stored length incl. the final FF FF
    uint32_t rowCount = 0;
    uint32_t autoNumber = 0;            // last AutoNumber value issued
    int32_t autoIncrement = 1;          // Jet 4 increment (stored); 1 on Jet 3
    uint32_t complexAutoNumber = 0;     // Jet 4 0x1C (kept for write-back)
    uint8_t tableType = 0x4E;           // 'N' user, 'S' system
    uint16_t maxColumnCount = 0;        // next column id to assign
    uint16_t varColumnCount = 0;        // high-water of variable slots
    uint16_t columnCount = 0;           // live descriptors
    MapPointer ownedMap;                // data pages of the table
    MapPointer freeMap;                 // data pages with free space
    std::vector<StoredColumn> columns;  // ordered by column id
    std::vector<StoredRealIndex> realIndexes;
    std::vector<IndexDef> indexes;  // in stored order

    bool isSystemTable() const { return tableType == 0x53; }
    // Case-insensitive (ASCII and Latin-1) lookup, as Jet compares names.
    const StoredColumn* findColumn(std::string_view name) const;
    const StoredColumn* columnById(uint16_t id) const;
    const IndexDef* findIndex(std::string_view name) const;
    const IndexDef* primaryKey() const;
    // The public description: what Database::tableDef hands out.
    TableDef describe() const;
};

// A table's stored definition with its rows (the index checker compares them).
struct StoredTableData {
    StoredTableDef def;
    std::vector<std::vector<Value>> rows;  // one Value per def.columns entry, same order
    std::vector<RowId> rowIds;             // parallel to rows
};

}  // namespace jet
