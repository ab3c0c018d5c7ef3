#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "lval/LongValueReader.h"
#include "page/UsageMap.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Walks every structure of the file and records what does not add up. Each page must be free
// in the global map or claimed by exactly one owner (a TDEF, a table's data, an index, a
// column's long values); usage-map rows and bitmap pages may be shared between maps.
class IntegrityChecker {
public:
    explicit IntegrityChecker(Database::Impl& db);

    std::vector<std::string> run();

    // What run() found that can be mended without guessing: tables whose definition states
    // another row count than they hold, and pages marked in use that nothing owns.
    struct StaleCount {
        uint32_t tdefPage = 0;
        std::string table;
        uint32_t stated = 0;
        uint64_t live = 0;
    };
    const std::vector<StaleCount>& staleCounts() const { return m_staleCounts; }
    const std::vector<uint32_t>& unownedPages() const { return m_unowned; }

private:
    enum class Use : uint8_t { None, Header, MapHolder, Owned };

    // Records a finding; past a limit the rest are only counted, so that a wrecked file cannot
    // fill memory with findings.
    void problem(std::string text);
    void claim(uint32_t page, const std::string& owner, const std::string& listedBy);
    void claimMapHolder(MapPointer pointer);
    // Reads a map and claims its holder page and bitmap pages; false (with a problem) on failure.
    bool readMap(MapPointer pointer, const std::string& what, UsageMap& out);
    void checkTable(const CatalogEntry& entry);
    void checkRows(const StoredTableDef& def, const UsageMap& owned);
    void checkIndexPages(const StoredTableDef& def);
    void checkLongValuePages(const StoredTableDef& def);
    void checkUnaccounted();

    Database::Impl& m_db;
    Pager& m_pager;
    std::vector<std::string> m_problems;
    size_t m_dropped = 0;
    std::vector<Use> m_use;
    std::vector<std::string> m_owner;
    std::vector<LongValueReader::PageUse> m_lvPages;  // of the table being checked
    std::vector<StaleCount> m_staleCounts;
    std::vector<uint32_t> m_unowned;
    UsageMap m_free;
    bool m_haveFreeMap = false;
};

}  // namespace jet
