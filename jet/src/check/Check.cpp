#include "jet/Check.h"

#include "catalog/DatabaseImpl.h"
#include "check/IntegrityChecker.h"
#include "table/RowWriter.h"

namespace jet {

std::vector<std::string> checkIntegrity(Database& db) {
    // inside a change, the index entries held back must be in the trees being checked
    if (const auto& writer = implOf(db).writer()) writer->flushIndexes();
    return IntegrityChecker(implOf(db)).run();
}

}  // namespace jet
