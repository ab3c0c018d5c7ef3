#pragma once

#include <string_view>

#include "jet/Sql.h"

namespace tessor::provider {

class RowStore;

// The criterion of a recordset's Find: a condition as the database's WHERE clause holds it,
// worked out by the engine (jet::sql::Condition) over the rows of a snapshot:
//   Name = 'Ann'   Name like '*ann*'   Qty = 5   [Order Date] >= #2020/01/31#
// Text literals are in single quotes ('' inside stands for one quote). Text compares in the
// database's order, without regard to case; a null field matches nothing. Beyond the WHERE
// clause, the first field may be named without brackets even where its name holds blanks
// (Order Date >= #2020/01/31#). A literal of the wrong kind for the field (Qty = 'abc') is an
// error, as it is for the database.
class FindCriterion {
public:
    // Throws ProviderError for malformed text (kInvalidArgument), an unknown field
    // (kItemNotFound) or an unsuitable literal (kTypeMismatch).
    FindCriterion(std::string_view text, const RowStore& rows);

    bool matches(const RowStore& rows, size_t row) const;

private:
    jet::sql::Condition m_condition;
};

}  // namespace tessor::provider
