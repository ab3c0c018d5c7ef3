#pragma once

#include <cstdint>
#include <string>

#include "DatabaseImpl.h"
#include "write/RowWriter.h"

namespace jet {

// The system-table rows that make a table known to Access: its MSysObjects row (found by
// name and by the ParentIdName and Id indexes, which the row writer keeps) and its MSysACEs
// permission rows. Used inside a change.
class CatalogRows {
public:
    static constexpr int32_t kTablesContainer = 0x0F000001;

    CatalogRows(Database& db, RowWriter& writer) : m_db(db), m_writer(writer) {}

    // Adds the rows of a new user table whose definition starts at tdefPage.
    void addTable(const std::string& name, uint32_t tdefPage);
    // Removes every row that names the table at tdefPage.
    void removeTable(uint32_t tdefPage);
    // True when MSysRelationships has a row naming the table on either side.
    bool inRelationship(const std::string& table);

private:
    int column(const TableDef& def, const char* name) const;

    Database& m_db;
    RowWriter& m_writer;
};

}  // namespace jet
