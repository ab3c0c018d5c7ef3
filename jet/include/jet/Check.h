#pragma once

#include <string>
#include <vector>

#include "jet/Database.h"

namespace jet {

// Reads the whole file and reports every inconsistency found, one English line each: pages that
// nothing owns or two owners claim, usage maps that disagree with the pages, rows that fail to
// decode, long-value chains that do not end, row counts that differ from the definition, index
// entries that disagree with the rows. Empty when the file is sound. Throws only when the file
// cannot be read at all.
std::vector<std::string> checkIntegrity(Database& db);

struct RepairResult {
    std::vector<std::string> fixed;      // one English line per repair made
    std::vector<std::string> remaining;  // what the check still finds afterwards
};

// Mends, in one journaled change, what the integrity check finds and can mend without
// guessing: indexes whose entries disagree with the rows (built again from the rows, unless the
// rows break the index's rules), row counts of tables (system tables too) that differ from the
// rows they hold,
// AutoNumber counters behind the highest value of their field, and pages marked in use that
// nothing owns (given back as free). Everything else is left as it is and comes back in
// `remaining`. Needs a Jet 4 database open for writing.
RepairResult repairIntegrity(Database& db);

}  // namespace jet
