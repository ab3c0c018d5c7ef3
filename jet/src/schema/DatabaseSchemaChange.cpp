// The schema-changing members of Database: each is one SchemaEditor change.
#include "jet/Database.h"
#include "schema/SchemaEditor.h"

namespace jet {

void Database::createTable(const NewTable& table) {
    SchemaEditor(*this).createTable(table);
}
void Database::dropTable(std::string_view table) {
    SchemaEditor(*this).dropTable(table);
}
void Database::addColumn(std::string_view table, const NewColumn& column) {
    SchemaEditor(*this).addColumn(table, column);
}
void Database::dropColumn(std::string_view table, std::string_view column) {
    SchemaEditor(*this).dropColumn(table, column);
}
void Database::createIndex(std::string_view table, const NewIndex& index) {
    SchemaEditor(*this).createIndex(table, index);
}
void Database::dropIndex(std::string_view table, std::string_view index) {
    SchemaEditor(*this).dropIndex(table, index);
}

}  // namespace jet
