#pragma once

#include <map>
#include <memory>
#include <vector>

#include "index/TextKeyEncoder.h"
#include "jet/Schema.h"
#include "jet/Value.h"
#include "sql/Datum.h"
#include "sql/Expr.h"
#include "jet/Text.h"

namespace jet::sql {

// Works out expressions over the fields of one row, with Jet's rules: text compares without
// regard to case (and orders as the database sorts it), a comparison with null is not true,
// AND/OR/NOT follow three-valued logic.
class Evaluator {
public:
    // Without a table only constant expressions can be bound.
    Evaluator(const TableDef* table, index::TextSortOrder textOrder);

    // Resolves field names (refusing unknown ones) and refuses comparisons between values that
    // can never meet, such as a number field and a text literal. Call once before evaluate().
    void bind(Expr& e) const;
    // `row` holds one Value per table column (may be empty for constant expressions).
    Datum evaluate(const Expr& e, const std::vector<Value>& row) const;
    // What a WHERE clause asks: true only when the condition is true (not false, not null).
    bool test(const Expr& e, const std::vector<Value>& row) const;

    static Datum fromValue(const Value& v);
    // <0, 0, >0 for two non-null values; refuses values that cannot be compared.
    int compare(const Datum& a, const Datum& b) const;
    // The text form used by & and LIKE.
    static std::string asText(const Datum& d);

private:
    Datum arithmetic(const std::string& op, const Datum& a, const Datum& b) const;
    Datum logic(const Expr& e, const std::vector<Value>& row) const;
    Datum like(const Expr& e, const std::vector<Value>& row) const;
    int compareText(const std::string& a, const std::string& b) const;

    const TableDef* m_table;
    Collation m_collation;
    mutable std::map<const Expr*, std::unique_ptr<LikePattern>> m_patterns;
};

}  // namespace jet::sql
