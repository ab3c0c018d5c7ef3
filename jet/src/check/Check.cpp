#include "jet/Check.h"

#include "catalog/DatabaseImpl.h"
#include "check/IntegrityChecker.h"

namespace jet {

std::vector<std::string> checkIntegrity(Database& db) {
    // inside a change, the index entries held back must be in the trees being checked
    if (ChangeRunner* changes = implOf(db).changes()) changes->flushHeld();
    return IntegrityChecker(implOf(db)).run();
}

}  // namespace jet
