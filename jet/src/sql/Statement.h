#pragma once

#include <string>
#include <variant>
#include <vector>

#include "jet/SchemaChange.h"
#include "sql/Expr.h"

namespace jet::sql {

// The statements the parser knows, each as the parser leaves it: names as written (brackets
// removed), expressions unbound.

struct OrderKey {
    ExprPtr expr;  // a field, an output column's alias, or (with totals) an aggregate
    bool ascending = true;
};

// One output column: an expression and the name AS gives it (empty: none).
struct SelectItem {
    ExprPtr expr;
    std::string alias;
};

struct SelectStatement {
    std::string table;
    bool distinct = false;
    long top = 0;  // TOP n: 0 for none
    bool topPercent = false;
    bool allColumns = false;         // SELECT *
    std::vector<SelectItem> items;   // the listed columns otherwise
    ExprPtr where;
    std::vector<ExprPtr> groupBy;    // fields
    ExprPtr having;
    std::vector<OrderKey> orderBy;
};

struct InsertStatement {
    std::string table;
    std::vector<std::string> columns;  // empty: every column in table order
    std::vector<ExprPtr> values;
};

struct Assignment {
    std::string column;
    ExprPtr value;
};

struct UpdateStatement {
    std::string table;
    std::vector<Assignment> assignments;
    ExprPtr where;
};

struct DeleteStatement {
    std::string table;
    ExprPtr where;
};

struct CreateTableStatement {
    NewTable table;
};

// ALTER TABLE t ADD [COLUMN] c type ... ; a column constraint becomes `index`.
struct AddColumnStatement {
    std::string table;
    NewColumn column;
    std::vector<NewIndex> indexes;
};

struct DropColumnStatement {
    std::string table;
    std::string column;
};

// ALTER TABLE t ADD CONSTRAINT n ... and CREATE INDEX n ON t (...).
struct CreateIndexStatement {
    std::string table;
    NewIndex index;
};

// ALTER TABLE t DROP CONSTRAINT n and DROP INDEX n ON t.
struct DropIndexStatement {
    std::string table;
    std::string index;
};

struct DropTableStatement {
    std::string table;
};

struct PasswordStatement {
    std::string newPassword;  // empty: none
    std::string oldPassword;  // empty: none
};

using Statement =
    std::variant<SelectStatement, InsertStatement, UpdateStatement, DeleteStatement,
                 CreateTableStatement, AddColumnStatement, DropColumnStatement,
                 CreateIndexStatement, DropIndexStatement, DropTableStatement, PasswordStatement>;

}  // namespace jet::sql
