#include "jet/Database.h"
#include "jet/Error.h"

namespace jet {

void Database::create(const std::filesystem::path&, const NewDatabase&) {
    throw Error(hr::kNotImplemented, "Creating databases is not available in this build yet.");
}

}  // namespace jet
