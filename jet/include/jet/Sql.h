#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Value.h"

namespace jet {

class Database;

namespace sql {

// What one statement gave: rows for a SELECT, a count for INSERT/UPDATE/DELETE.
struct Result {
    std::vector<std::string> columns;      // SELECT: output column names, in order
    std::vector<ColumnType> columnTypes;   // parallel to columns
    std::vector<std::vector<Value>> rows;  // SELECT: the rows, in order
    uint64_t rowsAffected = 0;             // INSERT/UPDATE/DELETE
};

// Runs one SQL statement on the database, atomically: it takes effect completely or, when
// refused or failing, not at all. Refusals throw jet::Error with a clear sentence, e.g.
// "Syntax error in ALTER TABLE statement near 'x'." or "Table 'X' does not exist.".
Result execute(Database& db, std::string_view statement);

}  // namespace sql
}  // namespace jet
