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

}  // namespace jet
