#include "jet/Check.h"

#include "DatabaseImpl.h"
#include "IntegrityChecker.h"

namespace jet {

std::vector<std::string> checkIntegrity(Database& db) {
    return IntegrityChecker(db.impl()).run();
}

}  // namespace jet
