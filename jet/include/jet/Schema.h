#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Value.h"

namespace jet {

// Column descriptor flag bits (ColumnDef::flags).
namespace columnflag {
inline constexpr uint8_t kFixed = 0x01;
inline constexpr uint8_t kUpdatable = 0x02;  // set on every ordinary column
inline constexpr uint8_t kAutoNumber = 0x04;
inline constexpr uint8_t kReplication = 0x10;
inline constexpr uint8_t kAutoGuid = 0x40;
inline constexpr uint8_t kHyperlink = 0x80;
}  // namespace columnflag

// One column as the table describes it.
struct ColumnDef {
    std::string name;
    ColumnType type = ColumnType::Long;
    uint16_t id = 0;          // column id: null-mask bit; ids of dropped columns are not reused
    uint16_t length = 0;      // bytes (Text: 2 × chars in Jet 4; Memo/OLE: 0)
    uint16_t sortOrder = 0;   // Text/Memo LCID (Jet 4); 0 when not stored
    uint16_t codePage = 0;    // Jet 3 text code page; 0 when not stored
    uint8_t precision = 0;    // Numeric only
    uint8_t scale = 0;        // Numeric only
    uint8_t flags = 0;        // columnflag bits
    uint8_t extFlags = 0;     // Jet 4: 0x01 compressed Unicode allowed
    uint8_t sortId = 0;       // Jet 4 byte 0x0D: with sortOrder, the text's collation
    uint8_t sortVersion = 0;  // Jet 4 byte 0x0E: collation version

    bool isFixed() const { return (flags & columnflag::kFixed) != 0; }
    bool isAutoNumber() const { return (flags & columnflag::kAutoNumber) != 0; }
    bool isAutoGuid() const { return (flags & columnflag::kAutoGuid) != 0; }
    bool isHyperlink() const { return (flags & columnflag::kHyperlink) != 0; }
    bool isCompressedUnicode() const { return (extFlags & 0x01) != 0; }
    bool isLongValue() const { return type == ColumnType::Memo || type == ColumnType::Ole; }
};

// Index flag bits (RealIndexDef::flags).
namespace indexflag {
inline constexpr uint8_t kUnique = 0x01;
inline constexpr uint8_t kIgnoreNulls = 0x02;
inline constexpr uint8_t kRequired = 0x08;
}  // namespace indexflag

struct IndexColumn {
    uint16_t columnId = 0;
    bool ascending = true;
    bool operator==(const IndexColumn&) const = default;
};

// A real (physical) index: the B-tree. Several logical indexes may share one.
struct RealIndexDef {
    uint32_t number = 0;               // position in the stored list
    std::vector<IndexColumn> columns;  // in key order (at most 10)
    uint8_t flags = 0;                 // indexflag bits (+0x80 on Access 2000+ files)
    uint32_t uniqueCount = 0;          // statistics: unique entries

    bool isUnique() const { return (flags & indexflag::kUnique) != 0; }
    bool ignoresNulls() const { return (flags & indexflag::kIgnoreNulls) != 0; }
    bool isRequired() const { return (flags & indexflag::kRequired) != 0; }
};

enum class IndexKind : uint8_t { Normal = 0, Primary = 1, Foreign = 2 };

// A logical index: what the user sees (name, primary/foreign key).
struct IndexDef {
    std::string name;
    uint32_t number = 0;     // logical index number as stored
    uint32_t realIndex = 0;  // index into TableDef::realIndexes
    IndexKind kind = IndexKind::Normal;
    // Foreign-key side information; relatedTablePage 0 when this is no relationship index.
    uint8_t fkTableType = 0;          // 1 = this table is the primary side, 2 = secondary
    int32_t fkRelatedIndex = -1;      // logical index number in the related table
    uint32_t fkRelatedTablePage = 0;  // TDEF page of the related table
    uint8_t cascadeUpdates = 0;       // stored byte (0x01 = cascade; Access writes 0x04 on non-FK)
    uint8_t cascadeDeletes = 0;       // stored byte (0x01 cascade delete, 0x02 cascade set null)
};

// A table as its definition describes it (columns, indexes, counters). The engine keeps the
// stored definition, with every other field of its pages, to itself.
struct TableDef {
    std::string name;
    uint32_t tdefPage = 0;
    uint32_t rowCount = 0;
    uint32_t autoNumber = 0;         // last AutoNumber value issued
    int32_t autoIncrement = 1;       // Jet 4 increment (stored); 1 on Jet 3
    uint8_t tableType = 0x4E;        // 'N' user, 'S' system
    std::vector<ColumnDef> columns;  // ordered by column id
    std::vector<RealIndexDef> realIndexes;
    std::vector<IndexDef> indexes;  // in stored order

    bool isSystemTable() const { return tableType == 0x53; }
    // Case-insensitive (ASCII and Latin-1) lookup, as Jet compares names.
    const ColumnDef* findColumn(std::string_view name) const;
    const ColumnDef* columnById(uint16_t id) const;
    const IndexDef* findIndex(std::string_view name) const;
    const IndexDef* primaryKey() const;
};

enum class ObjectKind : uint8_t { UserTable, SystemTable, LinkedTable, Query, Other };

// One row of MSysObjects.
struct CatalogEntry {
    std::string name;
    int32_t id = 0;  // for local tables: the TDEF page (low 24 bits)
    int32_t parentId = 0;
    int16_t type = 0;  // stored object type (1 table, 4/6 linked, 5 query ...)
    uint32_t flags = 0;
    ObjectKind kind = ObjectKind::Other;
    DateTime dateCreate;
    DateTime dateUpdate;
    std::string database;     // linked tables: source file
    std::string connect;      // linked tables: connect string
    std::string foreignName;  // linked tables: remote name

    uint32_t tdefPage() const { return static_cast<uint32_t>(id) & 0x00FFFFFF; }
    bool isTable() const {
        return kind == ObjectKind::UserTable || kind == ObjectKind::SystemTable;
    }
};

// Compares names as Jet does: case-insensitive over ASCII and Latin-1 letters.
bool namesEqual(std::string_view a, std::string_view b);

}  // namespace jet
