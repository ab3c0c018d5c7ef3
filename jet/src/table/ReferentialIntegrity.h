#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "page/PageSet.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// The relationships with enforced integrity a table takes part in, as the foreign-key
// information of its logical indexes records them: a row of the secondary table whose key
// columns are all set must match a row of the primary table, and a primary row with dependents
// may only go or change its key where the relationship cascades. Lookups go through the related
// table's index; a table whose index keys cannot be built is scanned instead.
class ReferentialIntegrity {
public:
    // What a change of a primary row does to one related table's rows.
    struct Dependents {
        enum class Action { Delete, SetNull, Update };
        std::string table;  // the secondary table
        Action action = Action::Delete;
        std::vector<RowId> rows;
        std::vector<size_t> columns;  // positions of the key columns in the secondary table
        std::vector<Value> newKey;    // Update: the values they take
    };

    ReferentialIntegrity(Database::Impl& db, PageSet& pages) : m_db(db), m_pages(pages) {}

    // True when some logical index of the table records a relationship.
    static bool involved(const StoredTableDef& table);

    // Refuses a new or changed row of a secondary table whose key has no primary row. Keys left
    // as they were (oldRow given) and keys with a null column are not looked up.
    void requireParents(const StoredTableDef& table, const std::vector<Value>* oldRow,
                        const std::vector<Value>& newRow);

    // The secondary rows that follow a primary row being deleted (newRow null) or changed.
    // Refuses the change when a relationship has dependents and does not cascade this change.
    std::vector<Dependents> dependents(const StoredTableDef& table,
                                       const std::vector<Value>& oldRow,
                                       const std::vector<Value>* newRow);

private:
    struct Side {
        const StoredTableDef* table = nullptr;
        const StoredRealIndex* index = nullptr;
        std::vector<size_t> columns;  // positions in table->columns, in key order
    };

    bool sideOf(const StoredTableDef& table, const IndexDef& logical, Side& side) const;
    bool relatedSide(const IndexDef& logical, Side& side);
    // Rows of `target` whose key columns equal `values` (in key order), at most `limit`.
    std::vector<RowId> rowsWithKey(const Side& target, const std::vector<Value>& values,
                                   size_t limit);

    Database::Impl& m_db;
    PageSet& m_pages;
};

}  // namespace jet
