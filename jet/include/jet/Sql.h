#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Schema.h"
#include "jet/Value.h"

namespace jet {

class Database;
enum class Format : uint8_t;

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

// The fields of one row wherever it is kept (a table's row, a recordset's snapshot): cell(i)
// is the value of TableDef::columns[i].
class RowCells {
public:
    virtual ~RowCells() = default;
    virtual Value cell(size_t column) const = 0;
    // A text field's text without a copy, for rows that keep it as UTF-8: false when the field
    // is null, not text, or not kept so (cell() answers then). Valid until the next call.
    virtual bool textView(size_t column, std::string_view& out) const {
        (void)column;
        (void)out;
        return false;
    }
};

// A condition as a WHERE clause holds it ("Name LIKE 'A*' AND [Order Date] >= #2020-01-31#"),
// bound to a table's fields, for testing rows one at a time (a recordset's find). Text
// compares without regard to case; a condition that comes out null does not match. The
// constructor refuses malformed text, unknown fields (hr::kNotFound) and mismatched types
// (hr::kTypeMismatch) with jet::Error.
class Condition {
public:
    Condition(std::string_view text, const TableDef& table, Format format);
    ~Condition();
    Condition(Condition&&) noexcept;
    Condition& operator=(Condition&&) noexcept;

    // `row` holds one Value per table column, in TableDef::columns order.
    bool matches(const std::vector<Value>& row) const;
    // The same for a row kept elsewhere. The condition's text literals are keyed in the
    // database's order once, when it is made, so testing many rows keys only their fields.
    bool matches(const RowCells& row) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace sql
}  // namespace jet
