#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "catalog/PropertyBlob.h"
#include "table/RowWriter.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// The system-table rows that make a table known to Access: its MSysObjects row (found by
// name and by the ParentIdName and Id indexes, which the row writer keeps) and its MSysACEs
// permission rows. Used inside a change.
class CatalogRows {
public:
    static constexpr int32_t kTablesContainer = 0x0F000001;

    CatalogRows(Database& db, RowWriter& writer) : m_db(db), m_writer(writer) {}

    // Adds the rows of a new user table whose definition starts at tdefPage; properties is
    // its property blob (empty: none).
    void addTable(const std::string& name, uint32_t tdefPage,
                  const std::vector<uint8_t>& properties = {});
    // Records a change to the design of the table at tdefPage: its DateUpdate becomes now and,
    // when edit is given, its property blob is rewritten by it. A blob this engine cannot read
    // is left as it is, unless the edit must happen (the change would lose a rule without it):
    // then the change is refused.
    void changedTable(uint32_t tdefPage, const std::function<void(PropertyBlob&)>& edit = {},
                      bool mustEdit = false);
    // Removes every row that names the table at tdefPage.
    void removeTable(uint32_t tdefPage);
    // True when MSysRelationships has a row naming the table on either side.
    bool inRelationship(const std::string& table);

private:
    int column(const StoredTableDef& def, const char* name) const;

    Database& m_db;
    RowWriter& m_writer;
};

}  // namespace jet
