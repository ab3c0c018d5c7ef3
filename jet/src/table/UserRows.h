#pragma once

#include <string_view>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "jet/Value.h"
#include "table/ReferentialIntegrity.h"
#include "table/RowWriter.h"

namespace jet {

// Row changes as the database's users make them (Database::insertRow, updateRow, deleteRow):
// on user tables only (a system table's records are the database's own, written by its schema
// changes through RowWriter), and with the relationships' cascades: a primary row's deletion
// or key change is carried to its related rows, in the same change.
class UserRows {
public:
    UserRows(Database::Impl& db, RowWriter& writer) : m_db(db), m_writer(writer) {}

    RowId insert(std::string_view table, const std::vector<Value>& values, bool keepAutoNumbers);
    void update(std::string_view table, RowId row, const std::vector<Value>& values);
    void remove(std::string_view table, RowId row);

private:
    // The table's definition; refuses a system table. True when relationships involve it, and
    // the change must then be one with its cascades.
    bool related(std::string_view table) const;
    void cascade(const std::vector<ReferentialIntegrity::Dependents>& dependents);

    Database::Impl& m_db;
    RowWriter& m_writer;
};

}  // namespace jet
