#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sql/Datum.h"

namespace jet::sql {

// One node of an expression tree as the parser builds it. Column references are resolved
// against a table later (Evaluator::bind fills `column`).
struct Expr {
    enum class Kind {
        Literal,  // `value`
        Column,   // `name` (bracketed: `quoted`), `column` once bound
        Unary,    // `op` ("-", "+", "NOT") applied to args[0]
        Binary,   // `op`: = <> < <= > >= + - * / \ MOD & ^ AND OR
        Like,     // args[0] LIKE args[1]; `negated` for NOT LIKE
        IsNull,   // args[0] IS [NOT] NULL
        Between,  // args[0] [NOT] BETWEEN args[1] AND args[2]
        In,       // args[0] [NOT] IN (args[1..])
        Aggregate,  // `op` (COUNT SUM AVG MIN MAX) over args[0]; no args for COUNT(*).
                    // `value` holds the total of the group being worked on.
    };
    Kind kind = Kind::Literal;
    std::string op;
    Datum value;
    std::string name;
    std::string qualifier;  // Column: the table name written before it ("t.c"), if any
    bool quoted = false;
    bool negated = false;
    int column = -1;  // index in TableDef::columns once bound
    std::vector<std::unique_ptr<Expr>> args;
    size_t pos = 0;  // where the node's text starts, for messages
    size_t end = 0;
    int depth = 1;  // height of the tree below and including this node
};

using ExprPtr = std::unique_ptr<Expr>;

}  // namespace jet::sql
