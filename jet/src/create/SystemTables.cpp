#include "create/SystemTables.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

constexpr uint16_t kGeneral = 0x0409;  // column sort order: General
constexpr uint8_t kFixed = 0x13;
constexpr uint8_t kVariable = 0x12;
constexpr uint8_t kSidColumn = 0x32;
constexpr uint8_t kUniqueIndex = 0x81;

MapPointer mapRow(uint32_t row) {
    return MapPointer{SystemTables::kMapPage << 8 | row};
}

// One column descriptor as the provider stores it. Variable columns keep a "fixed offset"
// that means nothing to a reader, and the descriptors are stored in name order; both are
// copied so the definitions match byte for byte.
struct Col {
    const char* name;
    ColumnType type;
    uint16_t varIndex;
    uint16_t fixedOffset;
    uint16_t length;
    uint8_t flags;
    uint16_t descriptor;
    uint8_t lvMapRow;  // Memo/OLE: owned-map row on the map page (the free map follows it)
};

struct RealIx {
    std::vector<IndexColumn> columns;
    uint8_t flags;
    uint32_t unknown2A;
};

struct LogicalIx {
    const char* name;
    uint32_t number;
    uint32_t real;
    IndexKind kind;
};

StoredTableDef table(const char* name, uint32_t page, uint8_t mapRowFirst, uint16_t varCount,
                     std::vector<Col> cols, std::vector<RealIx> reals,
                     std::vector<LogicalIx> logicals, uint8_t indexMapRowFirst) {
    StoredTableDef d;
    d.name = name;
    d.tdefPage = page;
    d.tdefPages = {page};
    d.tableType = 0x53;
    d.autoIncrement = 1;
    d.maxColumnCount = static_cast<uint16_t>(cols.size());
    d.varColumnCount = varCount;
    d.columnCount = static_cast<uint16_t>(cols.size());
    d.ownedMap = mapRow(mapRowFirst);
    d.freeMap = mapRow(mapRowFirst + 1u);
    uint16_t id = 0;
    for (const Col& c : cols) {
        StoredColumn cd;
        cd.name = c.name;
        cd.type = c.type;
        cd.id = id++;
        cd.varIndex = c.varIndex;
        cd.fixedOffset = c.fixedOffset;
        cd.length = c.length;
        cd.sortOrder = kGeneral;
        cd.flags = c.flags;
        cd.descriptorIndex = c.descriptor;
        if (c.lvMapRow != 0) {
            cd.lvOwnedMap = mapRow(c.lvMapRow);
            cd.lvFreeMap = mapRow(c.lvMapRow + 1u);
        }
        d.columns.push_back(cd);
    }
    uint32_t n = 0;
    for (const RealIx& r : reals) {
        StoredRealIndex rd;
        rd.number = n;
        rd.columns = r.columns;
        rd.usageMap = mapRow(indexMapRowFirst + n);
        rd.firstPage = 0;  // set by the caller from the page layout
        rd.flags = r.flags;
        rd.unknown2A = r.unknown2A;
        d.realIndexes.push_back(rd);
        ++n;
    }
    for (const LogicalIx& l : logicals) {
        IndexDef x;
        x.name = l.name;
        x.number = l.number;
        x.realIndex = l.real;
        x.kind = l.kind;
        x.cascadeUpdates = 4;
        x.cascadeDeletes = 4;
        d.indexes.push_back(x);
    }
    return d;
}

}  // namespace

std::vector<StoredTableDef> SystemTables::definitions() {
    using T = ColumnType;
    std::vector<StoredTableDef> out;
    out.push_back(
        table("MSysObjects", 2, 0, 11,
              {
                  {"Id", T::Long, 0, 0, 4, kFixed, 6, 0},
                  {"ParentId", T::Long, 0, 4, 4, kFixed, 13, 0},
                  {"Name", T::Text, 0, 100, 510, kVariable, 11, 0},
                  {"Type", T::Int, 1, 8, 2, kFixed, 16, 0},
                  {"DateCreate", T::DateTime, 1, 10, 8, kFixed, 2, 0},
                  {"DateUpdate", T::DateTime, 1, 18, 8, kFixed, 3, 0},
                  {"Owner", T::Binary, 1, 256, 510, kSidColumn, 12, 0},
                  {"Flags", T::Long, 2, 26, 4, kFixed, 4, 0},
                  {"Database", T::Memo, 2, 0, 0, kVariable, 1, 2},
                  {"Connect", T::Memo, 3, 0, 0, kVariable, 0, 4},
                  {"ForeignName", T::Text, 4, 68, 510, kVariable, 5, 0},
                  {"RmtInfoShort", T::Binary, 5, 106, 510, kVariable, 15, 0},
                  {"RmtInfoLong", T::Ole, 6, 0, 0, kVariable, 14, 6},
                  {"Lv", T::Ole, 7, 0, 0, kVariable, 7, 8},
                  {"LvProp", T::Ole, 8, 24832, 0, kVariable, 10, 10},
                  {"LvModule", T::Ole, 9, 65535, 0, kVariable, 9, 12},
                  {"LvExtra", T::Ole, 10, 1028, 0, kVariable, 8, 14},
              },
              {{{{1, true}, {2, true}}, kUniqueIndex, 0}, {{{0, true}}, kUniqueIndex, 0}},
              {{"Id", 1, 1, IndexKind::Primary}, {"ParentIdName", 0, 0, IndexKind::Normal}}, 16));
    out.push_back(table("MSysACEs", 3, 18, 1,
                        {
                            {"ObjectId", T::Long, 0, 0, 4, kFixed, 2, 0},
                            {"SID", T::Binary, 0, 7, 510, kSidColumn, 3, 0},
                            {"ACM", T::Long, 1, 4, 4, kFixed, 0, 0},
                            {"FInheritable", T::Bool, 1, 0, 1, kFixed, 1, 0},
                        },
                        {{{{0, true}}, 0x88, 7602241}}, {{"ObjectId", 0, 0, IndexKind::Normal}},
                        20));
    out.push_back(table("MSysQueries", 4, 21, 4,
                        {
                            {"ObjectId", T::Long, 0, 0, 4, kFixed, 6, 0},
                            {"Attribute", T::Byte, 0, 4, 1, kFixed, 0, 0},
                            {"Order", T::Binary, 0, 65024, 510, kVariable, 7, 0},
                            {"Name1", T::Text, 1, 65024, 510, kVariable, 4, 0},
                            {"Name2", T::Text, 2, 65024, 510, kVariable, 5, 0},
                            {"Expression", T::Memo, 3, 1024, 0, kVariable, 1, 23},
                            {"Flag", T::Int, 4, 5, 2, kFixed, 2, 0},
                            {"LvExtra", T::Long, 4, 7, 4, kFixed, 3, 0},
                        },
                        {{{{0, true}, {1, true}, {2, true}}, kUniqueIndex, 6553701}},
                        {{"ObjectIdAttribute", 0, 0, IndexKind::Primary}}, 25));
    out.push_back(table("MSysRelationships", 5, 26, 5,
                        {
                            {"szRelationship", T::Text, 0, 0, 510, kVariable, 7, 0},
                            {"grbit", T::Long, 1, 0, 4, kFixed, 1, 0},
                            {"ccolumn", T::Long, 1, 4, 4, kFixed, 0, 0},
                            {"icolumn", T::Long, 1, 8, 4, kFixed, 2, 0},
                            {"szObject", T::Text, 1, 0, 510, kVariable, 4, 0},
                            {"szColumn", T::Text, 2, 0, 510, kVariable, 3, 0},
                            {"szReferencedObject", T::Text, 3, 0, 510, kVariable, 6, 0},
                            {"szReferencedColumn", T::Text, 4, 0, 510, kVariable, 5, 0},
                        },
                        {{{{0, true}}, 0x82, 0}, {{{4, true}}, 0x82, 0}, {{{6, true}}, 0x82, 0}},
                        {{"szObject", 1, 1, IndexKind::Normal},
                         {"szReferencedObject", 2, 2, IndexKind::Normal},
                         {"szRelationship", 0, 0, IndexKind::Normal}},
                        28));
    uint32_t leaf = kFirstIndexPage;
    for (StoredTableDef& d : out)
        for (StoredRealIndex& r : d.realIndexes)
            r.firstPage = leaf++;
    return out;
}

// Plain SIDs (before the page-0 key is applied): 02 03 owns the containers and the system
// tables, 03 01 is the creating user, 02 04 and 02 01 are the groups the containers grant to.
const std::vector<SystemTables::CatalogRow>& SystemTables::catalogRows() {
    static const std::vector<CatalogRow> rows = {
        {kTablesId, kRootId, "Tables", 3, 0x0203, 0x80000000},
        {kDatabasesId, kRootId, "Databases", 3, 0x0203, 0x80000000},
        {kRelationshipsId, kRootId, "Relationships", 3, 0x0203, 0x80000000},
        {kMSysDbId, kDatabasesId, "MSysDb", 2, 0x0301, 0x80000000},
        {2, kTablesId, "MSysObjects", 1, 0x0203, 0x80000000},
        {3, kTablesId, "MSysACEs", 1, 0x0203, 0x80000000},
        {4, kTablesId, "MSysQueries", 1, 0x0203, 0x80000000},
        {5, kTablesId, "MSysRelationships", 1, 0x0203, 0x80000000},
    };
    return rows;
}

const std::vector<SystemTables::AceRow>& SystemTables::aceRows() {
    static const std::vector<AceRow> rows = {
        {2, 0x0301, 0x60000, false},
        {3, 0x0301, 0x60000, false},
        {4, 0x0301, 0x60000, false},
        {5, 0x0301, 0xE0000, false},
        {kTablesId, 0x0204, 0xF00FE, true},
        {kTablesId, 0x0301, 0x60001, false},
        {kRelationshipsId, 0x0204, 0xF00FE, true},
        {kRelationshipsId, 0x0301, 0x60001, false},
        {kDatabasesId, 0x0301, 0x60000, false},
        {kMSysDbId, 0x0301, 0x6000E, false},
        {kMSysDbId, 0x0201, 0xE, false},
        {4, 0x0201, 0x14, false},
        {5, 0x0201, 0x14, false},
        {2, 0x0201, 0x14, false},
        {kTablesId, 0x0201, 0xFFEFF, true},
        {kRelationshipsId, 0x0201, 0xFFFFF, true},
    };
    return rows;
}

}  // namespace jet
