// The schema-changing members of Database. Each is being built in its own file under schema/;
// until then they refuse clearly instead of doing nothing.
#include "jet/Database.h"
#include "jet/Error.h"

namespace jet {

namespace {
[[noreturn]] void notYet(const char* what) {
    throw Error(hr::kNotImplemented, std::string(what) + " is not available in this build yet.");
}
}  // namespace

void Database::createTable(const NewTable&) {
    notYet("Creating tables");
}
void Database::dropTable(std::string_view) {
    notYet("Dropping tables");
}
void Database::addColumn(std::string_view, const NewColumn&) {
    notYet("Adding fields");
}
void Database::dropColumn(std::string_view, std::string_view) {
    notYet("Dropping fields");
}
void Database::createIndex(std::string_view, const NewIndex&) {
    notYet("Creating indexes");
}
void Database::dropIndex(std::string_view, std::string_view) {
    notYet("Dropping indexes");
}

}  // namespace jet
