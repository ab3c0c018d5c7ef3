#include "tdef/StoredTableDef.h"

namespace jet {

const StoredColumn* StoredTableDef::findColumn(std::string_view n) const {
    for (const auto& c : columns)
        if (namesEqual(c.name, n)) return &c;
    return nullptr;
}

const StoredColumn* StoredTableDef::columnById(uint16_t id) const {
    for (const auto& c : columns)
        if (c.id == id) return &c;
    return nullptr;
}

const IndexDef* StoredTableDef::findIndex(std::string_view n) const {
    for (const auto& i : indexes)
        if (namesEqual(i.name, n)) return &i;
    return nullptr;
}

const IndexDef* StoredTableDef::primaryKey() const {
    for (const auto& i : indexes)
        if (i.kind == IndexKind::Primary) return &i;
    return nullptr;
}

TableDef StoredTableDef::describe() const {
    TableDef t;
    t.name = name;
    t.tdefPage = tdefPage;
    t.rowCount = rowCount;
    t.autoNumber = autoNumber;
    t.autoIncrement = autoIncrement;
    t.tableType = tableType;
    t.columns.assign(columns.begin(), columns.end());
    t.realIndexes.assign(realIndexes.begin(), realIndexes.end());
    t.indexes = indexes;
    return t;
}

}  // namespace jet
