#pragma once

#include <cstdint>
#include <vector>

#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// What the Jet engine puts into a new, empty Jet 4 database: the four system tables, their
// catalog rows and their permission rows. No published source derives these; they are the
// figures measured from an empty database that the Jet 4.0 OLE DB provider wrote through ADOX
// (16 pages), so that a file made here is, table for table and row for row, what that
// provider makes.
class SystemTables {
public:
    // Page layout of the fresh file.
    static constexpr uint32_t kGlobalMapPage = 1;
    static constexpr uint32_t kMapPage = 6;  // every usage map of the system tables
    static constexpr uint32_t kMapRows = 31;
    static constexpr uint32_t kFirstIndexPage = 7;  // one empty leaf per real index, 7..13
    static constexpr uint32_t kSkeletonPages = 14;  // pages 0..13; rows go to 14 and on

    // Container ids and parents of the catalog.
    static constexpr int32_t kRootId = 0x0F000000;
    static constexpr int32_t kTablesId = 0x0F000001;
    static constexpr int32_t kDatabasesId = 0x0F000002;
    static constexpr int32_t kRelationshipsId = 0x0F000003;
    static constexpr int32_t kMSysDbId = 0x10000000;

    // MSysObjects, MSysACEs, MSysQueries, MSysRelationships, TDEFs on pages 2..5, with no rows.
    static std::vector<StoredTableDef> definitions();

    struct CatalogRow {
        int32_t id;
        int32_t parentId;
        const char* name;
        int16_t type;
        uint16_t owner;  // plain SID, first byte first
        uint32_t flags;
    };
    struct AceRow {
        int32_t objectId;
        uint16_t sid;  // plain SID, first byte first
        int32_t acm;
        bool inheritable;
    };
    static const std::vector<CatalogRow>& catalogRows();
    static const std::vector<AceRow>& aceRows();
};

}  // namespace jet
