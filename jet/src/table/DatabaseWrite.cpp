// The row-changing members of Database, kept apart from the reading ones.
#include "catalog/DatabaseImpl.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "table/RowWriter.h"
#include "table/UserRows.h"

namespace jet {

namespace {

RowWriter& writerOf(Database::Impl& impl) {
    if (!impl.writer())
        throw Error(hr::kReadOnly,
                    "The database is open read-only; open it for writing to change records.");
    return *impl.writer();
}

}  // namespace

RowId Database::insertRow(std::string_view table, const std::vector<Value>& values,
                          AutoNumbers autoNumbers) {
    return UserRows(*m_impl, writerOf(*m_impl))
        .insert(table, values, autoNumbers == AutoNumbers::KeepGiven);
}

void Database::updateRow(std::string_view table, RowId row, const std::vector<Value>& values) {
    UserRows(*m_impl, writerOf(*m_impl)).update(table, row, values);
}

void Database::deleteRow(std::string_view table, RowId row) {
    UserRows(*m_impl, writerOf(*m_impl)).remove(table, row);
}

void Database::transact(const std::function<void()>& body) {
    writerOf(*m_impl).transact(body);
}

}  // namespace jet
