#include "table/UserRows.h"

#include <optional>

#include "jet/Error.h"

namespace jet {

bool UserRows::related(std::string_view table) const {
    m_writer.checkWritable();
    const StoredTableDef& def = m_db.tableDef(table);
    if (m_writer.isSystemTable(def))
        throw Error(hr::kReadOnly, "'" + def.name +
                                       "' is a system table; only the database "
                                       "itself changes its records.");
    return ReferentialIntegrity::involved(def);
}

RowId UserRows::insert(std::string_view table, const std::vector<Value>& values,
                       bool keepAutoNumbers) {
    related(table);  // an insert is held to its parents by RowWriter; it reaches no other row
    return m_writer.insert(table, values, keepAutoNumbers, true);
}

void UserRows::update(std::string_view table, RowId row, const std::vector<Value>& values) {
    if (related(table) && !m_writer.inChange()) {
        m_writer.transact([&] { update(table, row, values); });
        return;
    }
    cascade(m_writer.update(table, row, values));
}

void UserRows::remove(std::string_view table, RowId row) {
    if (related(table) && !m_writer.inChange()) {
        m_writer.transact([&] { remove(table, row); });
        return;
    }
    cascade(m_writer.remove(table, row));
}

void UserRows::cascade(const std::vector<ReferentialIntegrity::Dependents>& dependents) {
    using Action = ReferentialIntegrity::Dependents::Action;
    for (const ReferentialIntegrity::Dependents& d : dependents) {
        for (RowId row : d.rows) {
            // an earlier cascade of the same change may have taken the row already
            std::optional<std::vector<Value>> values = m_writer.readRow(m_db.tableDef(d.table), row);
            if (!values) continue;
            if (d.action == Action::Delete) {
                remove(d.table, row);
                continue;
            }
            for (size_t i = 0; i < d.columns.size(); ++i)
                (*values)[d.columns[i]] = d.action == Action::Update ? d.newKey[i] : Value();
            update(d.table, row, *values);
        }
    }
}

}  // namespace jet
