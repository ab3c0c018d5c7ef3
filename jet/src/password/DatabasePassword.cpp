#include "jet/Database.h"
#include "jet/Error.h"

namespace jet {

void Database::changePassword(std::string_view, std::string_view) {
    throw Error(hr::kNotImplemented,
                "Changing the database password is not available in this build yet.");
}

}  // namespace jet
