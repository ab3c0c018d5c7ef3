#pragma once

#include <map>
#include <memory>
#include <vector>

#include "index/TextKeyEncoder.h"
#include "jet/Schema.h"
#include "jet/Sql.h"
#include "jet/Text.h"
#include "jet/Value.h"
#include "sql/Datum.h"
#include "sql/Expr.h"

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
    // Aggregates (COUNT, SUM, ...) are refused unless allowed; where they are, evaluate() gives
    // the `value` the caller has set on each aggregate node.
    void bind(Expr& e, bool allowAggregates = false) const;
    // `row` holds one Value per table column (may be empty for constant expressions).
    Datum evaluate(const Expr& e, const std::vector<Value>& row) const;
    Datum evaluate(const Expr& e, const RowCells& row) const;
    // What a WHERE clause asks: true only when the condition is true (not false, not null).
    bool test(const Expr& e, const std::vector<Value>& row) const;
    bool test(const Expr& e, const RowCells& row) const;

    static Datum fromValue(const Value& v);
    // <0, 0, >0 for two non-null values; refuses values that cannot be compared.
    int compare(const Datum& a, const Datum& b) const;
    // The text form used by & and LIKE.
    static std::string asText(const Datum& d);

private:
    Datum arithmetic(const std::string& op, const Datum& a, const Datum& b) const;
    Datum logic(const Expr& e, const RowCells& row) const;
    Datum like(const Expr& e, const RowCells& row) const;
    int compareText(const std::string& a, const std::string& b) const;
    // A field compared with a literal (Name = 'Ann', Qty > 5) or matched with a LIKE pattern,
    // worked out from the row's cell without the detour through a Datum; false when the
    // expression is not of that shape or the cell is not of a kind read so.
    bool fieldTest(const Expr& e, const RowCells& row, bool& result) const;
    void planFieldTest(const Expr& e) const;
    // compare(a, b) where b is the value of `bExpr`, by its key when it is a text literal.
    int compareWith(const Datum& a, const Datum& b, const Expr& bExpr) const;

    const TableDef* m_table;
    Collation m_collation;
    mutable std::map<const Expr*, std::unique_ptr<LikePattern>> m_patterns;
    mutable std::map<const Expr*, CollationKey> m_keys;  // text literals, keyed once
    // What fieldTest() needs of an expression of its shape, worked out when it is bound.
    struct FieldTest {
        size_t column = 0;
        int op = 0;  // = <> < <= > >=
        const LikePattern* pattern = nullptr;
        bool negated = false;
        const CollationKey* key = nullptr;
        bool numeric = false;
        double number = 0;  // as asNumber() reads the literal
    };
    mutable std::map<const Expr*, FieldTest> m_fieldTests;
};

}  // namespace jet::sql
