#include "jet/Check.h"

#include "jet/Error.h"

namespace jet {

std::vector<std::string> checkIntegrity(Database& db) {
    throw Error(hr::kNotImplemented, "The integrity check is not built yet.");
}

}  // namespace jet
