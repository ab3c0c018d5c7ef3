#include "create/NewDatabaseWriter.h"
#include "jet/Database.h"

namespace jet {

void Database::create(const std::filesystem::path& path, const NewDatabase& options) {
    NewDatabaseWriter::write(path, options);
}

}  // namespace jet
