// Runs one parsed statement on a database: queries read through the table scan, row changes go
// through Database::transact so that a statement lands whole or not at all, and definitions go
// to the schema calls.
#include <algorithm>
#include <numeric>

#include "index/IndexKeyEncoder.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "sql/Evaluator.h"
#include "sql/Parser.h"
#include "sql/Select.h"
#include "sql/ValueConverter.h"

namespace jet::sql {

namespace {

index::TextSortOrder defaultTextOrder(const Database& db) {
    return db.format() == Format::Jet3 ? index::TextSortOrder::General97
                                       : index::TextSortOrder::GeneralLegacy;
}

// The table's definition under the name the statement gives (compared as Jet compares names).
const TableDef& findTable(Database& db, const std::string& name) {
    for (const std::string& t : db.tableNames(true))
        if (namesEqual(t, name)) return db.tableDef(t);
    throw Error(hr::kNotFound, "Table '" + name + "' does not exist.");
}

size_t findColumn(const TableDef& def, const std::string& name) {
    const ColumnDef* c = def.findColumn(name);
    if (!c)
        throw Error(hr::kNotFound,
                    "Field '" + name + "' does not exist in table '" + def.name + "'.");
    return size_t(c - def.columns.data());
}

// The rows a WHERE clause picks (all rows without one), with where they live.
void matchingRows(Database& db, const TableDef& def, const Evaluator& ev, const Expr* where,
                  std::vector<RowId>& ids, std::vector<std::vector<Value>>& rows) {
    db.forEachRow(def.name, [&](RowId id, const std::vector<Value>& row) {
        if (!where || ev.test(*where, row)) {
            ids.push_back(id);
            rows.push_back(row);
        }
        return true;
    });
}

Result runInsert(Database& db, InsertStatement& s) {
    const TableDef& def = findTable(db, s.table);
    std::vector<size_t> targets;
    if (s.columns.empty()) {
        targets.resize(def.columns.size());
        std::iota(targets.begin(), targets.end(), size_t(0));
    } else {
        for (const auto& name : s.columns) {
            const ColumnDef* c = def.findColumn(name);
            if (!c)
                throw Error(
                    hr::kNotFound,
                    "The INSERT INTO statement contains the following unknown field name: '" +
                        name + "'.");
            const size_t i = size_t(c - def.columns.data());
            if (std::find(targets.begin(), targets.end(), i) != targets.end())
                throw Error(hr::kInvalidArg, "Duplicate output destination '" + c->name + "'.");
            targets.push_back(i);
        }
    }
    if (targets.size() != s.values.size())
        throw Error(hr::kInvalidArg,
                    "Number of query values and destination fields are not the same.");
    Evaluator ev(nullptr, defaultTextOrder(db));
    std::vector<Value> row(def.columns.size());
    for (size_t k = 0; k < targets.size(); ++k) {
        ev.bind(*s.values[k]);
        const ColumnDef& c = def.columns[targets[k]];
        const Datum value = ev.evaluate(*s.values[k], std::vector<Value>{});
        row[targets[k]] = ValueConverter::toColumn(value, c, def.name);
    }
    const std::string table = def.name;
    // As in Jet, a value given for an AutoNumber field is kept and the counter moves past it.
    db.transact([&] { db.insertRow(table, row, Database::AutoNumbers::KeepGiven); });
    Result r;
    r.rowsAffected = 1;
    return r;
}

Result runUpdate(Database& db, UpdateStatement& s) {
    const TableDef& def = findTable(db, s.table);
    Evaluator ev(&def, defaultTextOrder(db));
    std::vector<size_t> targets;
    for (auto& a : s.assignments) {
        targets.push_back(findColumn(def, a.column));
        ev.bind(*a.value);
    }
    if (s.where) ev.bind(*s.where);
    std::vector<RowId> ids;
    std::vector<std::vector<Value>> rows;
    matchingRows(db, def, ev, s.where.get(), ids, rows);
    // Every new value is worked out from the row as it was, before anything is written.
    std::vector<std::vector<Value>> changed = rows;
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t k = 0; k < targets.size(); ++k)
            changed[i][targets[k]] = ValueConverter::toColumn(
                ev.evaluate(*s.assignments[k].value, rows[i]), def.columns[targets[k]], def.name);
    const std::string table = def.name;
    db.transact([&] {
        for (size_t i = 0; i < ids.size(); ++i)
            db.updateRow(table, ids[i], changed[i]);
    });
    Result r;
    r.rowsAffected = ids.size();
    return r;
}

Result runDelete(Database& db, DeleteStatement& s) {
    const TableDef& def = findTable(db, s.table);
    Evaluator ev(&def, defaultTextOrder(db));
    if (s.where) ev.bind(*s.where);
    std::vector<RowId> ids;
    std::vector<std::vector<Value>> rows;
    matchingRows(db, def, ev, s.where.get(), ids, rows);
    const std::string table = def.name;
    db.transact([&] {
        for (const RowId& id : ids)
            db.deleteRow(table, id);
    });
    Result r;
    r.rowsAffected = ids.size();
    return r;
}

void checkIndex(const TableDef& def, const NewIndex& index) {
    if (def.findIndex(index.name))
        throw Error(hr::kInvalidArg,
                    "Index '" + index.name + "' already exists in table '" + def.name + "'.");
    if (index.primary && def.primaryKey())
        throw Error(hr::kInvalidArg, "Primary key already exists.");
    for (const auto& c : index.columns)
        findColumn(def, c.name);
}

Result runDefinition(Database& db, Statement& statement) {
    if (auto* s = std::get_if<CreateTableStatement>(&statement)) {
        for (const std::string& t : db.tableNames(true))
            if (namesEqual(t, s->table.name))
                throw Error(hr::kInvalidArg, "Table '" + t + "' already exists.");
        db.createTable(s->table);
    } else if (auto* s = std::get_if<AddColumnStatement>(&statement)) {
        const TableDef& def = findTable(db, s->table);
        if (const ColumnDef* c = def.findColumn(s->column.name))
            throw Error(hr::kInvalidArg,
                        "Field '" + c->name + "' already exists in table '" + def.name + "'.");
        for (const NewIndex& ix : s->indexes) {
            if (def.findIndex(ix.name))
                throw Error(hr::kInvalidArg,
                            "Index '" + ix.name + "' already exists in table '" + def.name + "'.");
            if (ix.primary && def.primaryKey())
                throw Error(hr::kInvalidArg, "Primary key already exists.");
        }
        const std::string table = def.name;
        db.transact([&] {
            db.addColumn(table, s->column);
            for (const NewIndex& ix : s->indexes)
                db.createIndex(table, ix);
        });
    } else if (auto* s = std::get_if<DropColumnStatement>(&statement)) {
        const TableDef& def = findTable(db, s->table);
        const std::string column = def.columns[findColumn(def, s->column)].name;
        db.dropColumn(def.name, column);
    } else if (auto* s = std::get_if<CreateIndexStatement>(&statement)) {
        const TableDef& def = findTable(db, s->table);
        checkIndex(def, s->index);
        db.createIndex(def.name, s->index);
    } else if (auto* s = std::get_if<DropIndexStatement>(&statement)) {
        const TableDef& def = findTable(db, s->table);
        const IndexDef* ix = def.findIndex(s->index);
        if (!ix)
            throw Error(hr::kNotFound,
                        "'" + s->index + "' is not an index in table '" + def.name + "'.");
        db.dropIndex(def.name, ix->name);
    } else if (auto* s = std::get_if<DropTableStatement>(&statement)) {
        const TableDef& def = findTable(db, s->table);
        db.dropTable(def.name);
    } else if (auto* s = std::get_if<PasswordStatement>(&statement)) {
        db.changePassword(s->oldPassword, s->newPassword);
    }
    return {};
}

}  // namespace

Result execute(Database& db, std::string_view text) {
    Statement statement = Parser::parse(text);
    if (auto* s = std::get_if<SelectStatement>(&statement))
        return runSelect(db, findTable(db, s->table), *s, text, defaultTextOrder(db));
    if (auto* s = std::get_if<InsertStatement>(&statement)) return runInsert(db, *s);
    if (auto* s = std::get_if<UpdateStatement>(&statement)) return runUpdate(db, *s);
    if (auto* s = std::get_if<DeleteStatement>(&statement)) return runDelete(db, *s);
    return runDefinition(db, statement);
}

}  // namespace jet::sql
