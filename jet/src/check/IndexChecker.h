#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {

// Counts from one run of the index check, for tests and reports.
struct IndexCheckStats {
    size_t indexes = 0;           // real indexes looked at
    size_t unencodable = 0;       // of those, indexes whose keys this program cannot build
    size_t entries = 0;           // leaf entries read
    size_t keysCompared = 0;      // entries whose key was rebuilt from the row and compared
    size_t keyMismatches = 0;     // of those, keys that differ
    size_t characterCounted = 0;  // text keys in the form that counts characters (not an error)
    size_t strayEntries = 0;      // entries pointing at no live row
    size_t missingRows = 0;       // rows an index should list but does not
    size_t orderViolations = 0;   // neighbouring entries out of order
};

// Checks every index of the database against the rows: each entry points at a
// live row whose key, rebuilt from the row, equals the stored key; entries are
// in order; every row (but all-null rows of an ignore-nulls index) has exactly
// one entry; unique indexes hold no key twice; and the trees are sound (see
// IndexTree). Problems come back as one English line each.
class IndexChecker {
public:
    explicit IndexChecker(Database::Impl& db);

    // Every local table, system tables included.
    void checkAll(std::vector<std::string>& problems);
    // One table; its rows are read here. A table whose rows cannot be read is
    // left to the row checks.
    void checkTable(const StoredTableDef& def, std::vector<std::string>& problems);
    // One table whose rows the caller has already read.
    void checkTable(const StoredTableData& table, std::vector<std::string>& problems);

    const IndexCheckStats& stats() const { return m_stats; }

private:
    void checkIndex(const StoredTableData& table, const StoredRealIndex& index,
                    std::vector<std::string>& problems);

    Database::Impl& m_db;
    IndexCheckStats m_stats;
};

// The index part of checkIntegrity(), for the whole database. `stats` may be null.
std::vector<std::string> checkIndexes(Database& db, IndexCheckStats* stats = nullptr);
// The same for one table, appending to `problems`.
void checkIndexEntries(Database::Impl& db, const StoredTableDef& def,
                       std::vector<std::string>& problems);

}  // namespace jet::index
