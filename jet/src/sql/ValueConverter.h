#pragma once

#include <string>

#include "jet/Schema.h"
#include "jet/Value.h"
#include "sql/Datum.h"

namespace jet::sql {

// Turns a worked-out value into what a field of the column's type stores: numbers into the
// column's number type (rounded half to even for whole-number fields, to four places for
// Currency, to the column's scale for Decimal) with range checks, text into numbers, dates,
// Yes/No values and GUIDs when it reads as one. Whatever the field cannot hold is refused with
// hr::kInvalidArg and a sentence naming the field.
class ValueConverter {
public:
    static Value toColumn(const Datum& d, const ColumnDef& column, const std::string& table);
};

}  // namespace jet::sql
