#pragma once

#include <string_view>

#include "index/TextKeyEncoder.h"
#include "jet/Schema.h"
#include "jet/Sql.h"
#include "sql/Statement.h"

namespace jet {
class Database;
}

namespace jet::sql {

// Runs a parsed SELECT on `def` (the table it names). `statement` is its text, for messages;
// `textOrder` is how text sorts where no field says otherwise.
Result runSelect(Database& db, const TableDef& def, SelectStatement& s,
                 std::string_view statement, index::TextSortOrder textOrder);

}  // namespace jet::sql
