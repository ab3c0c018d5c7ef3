#pragma once

#include <string>

#include "WriteFixture.h"
#include "jet/Sql.h"

namespace jettest {

// Runs a statement that must be refused (see refusal) and returns the sentence.
inline std::string refused(SimDisk& disk, jet::Database& db, const std::string& statement) {
    return refusal(
        disk, [&] { jet::sql::execute(db, statement); }, statement);
}

}  // namespace jettest
