#include "table/ReferentialIntegrity.h"

#include <optional>

#include "index/IndexKeyEncoder.h"
#include "index/IndexTreeEditor.h"
#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Error.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

std::optional<int64_t> integer(const Value& v) {
    switch (v.type()) {
        case ValueType::Byte:
            return v.as<uint8_t>();
        case ValueType::Int16:
            return v.as<int16_t>();
        case ValueType::Int32:
            return v.as<int32_t>();
        default:
            return std::nullopt;
    }
}

// Related columns normally share a type; an integer of another width is carried across so that
// the other table's key encoder takes it.
Value asColumnType(const StoredColumn& c, const Value& v) {
    std::optional<int64_t> n = integer(v);
    if (!n) return v;
    switch (c.type) {
        case ColumnType::Byte:
            if (*n >= 0 && *n <= 255) return Value(static_cast<uint8_t>(*n));
            break;
        case ColumnType::Int:
            if (*n >= INT16_MIN && *n <= INT16_MAX) return Value(static_cast<int16_t>(*n));
            break;
        case ColumnType::Long:
            return Value(static_cast<int32_t>(*n));
        default:
            break;
    }
    return v;
}

std::optional<double> number(const Value& v) {
    if (auto n = integer(v)) return double(*n);
    switch (v.type()) {
        case ValueType::Float:
            return v.as<float>();
        case ValueType::Double:
            return v.as<double>();
        case ValueType::Currency:
            return double(v.as<Currency>().scaled) / 10000.0;
        default:
            return std::nullopt;
    }
}

// Equality as the relationship sees it when no index answers: numbers by value, text without
// regard to case.
bool sameValue(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) return false;
    auto x = number(a), y = number(b);
    if (x && y) return *x == *y;
    if (a.type() == ValueType::Text && b.type() == ValueType::Text)
        return namesEqual(a.as<std::string>(), b.as<std::string>());
    return a == b;
}

bool anyNull(const std::vector<Value>& row, const std::vector<size_t>& columns) {
    for (size_t c : columns)
        if (c >= row.size() || row[c].isNull()) return true;
    return false;
}

std::vector<Value> pick(const std::vector<Value>& row, const std::vector<size_t>& columns) {
    std::vector<Value> out;
    for (size_t c : columns)
        out.push_back(c < row.size() ? row[c] : Value());
    return out;
}

}  // namespace

bool ReferentialIntegrity::involved(const StoredTableDef& table) {
    for (const IndexDef& x : table.indexes)
        if (x.fkRelatedTablePage != 0 && (x.fkTableType == 1 || x.fkTableType == 2)) return true;
    return false;
}

bool ReferentialIntegrity::sideOf(const StoredTableDef& table, const IndexDef& logical,
                                  Side& side) const {
    if (logical.realIndex >= table.realIndexes.size()) return false;
    side.table = &table;
    side.index = &table.realIndexes[logical.realIndex];
    side.columns.clear();
    for (const IndexColumn& ic : side.index->columns) {
        bool found = false;
        for (size_t i = 0; i < table.columns.size(); ++i)
            if (table.columns[i].id == ic.columnId) {
                side.columns.push_back(i);
                found = true;
            }
        if (!found) return false;
    }
    return !side.columns.empty();
}

bool ReferentialIntegrity::relatedSide(const IndexDef& logical, Side& side) {
    const StoredTableDef& other = m_db.tableDefAtPage(logical.fkRelatedTablePage);
    for (const IndexDef& x : other.indexes)
        if (static_cast<int64_t>(x.number) == logical.fkRelatedIndex) return sideOf(other, x, side);
    return false;
}

std::vector<RowId> ReferentialIntegrity::rowsWithKey(const Side& target,
                                                     const std::vector<Value>& values,
                                                     size_t limit) {
    const StoredTableDef& t = *target.table;
    std::vector<Value> row(t.columns.size());
    for (size_t i = 0; i < target.columns.size(); ++i)
        row[target.columns[i]] = asColumnType(t.columns[target.columns[i]], values[i]);
    index::IndexKeyEncoder encoder(t, *target.index, m_db.format(), m_db.header().sortOrder);
    if (encoder.canEncode()) {
        std::optional<std::vector<uint8_t>> key;
        try {
            key = encoder.encode(row);
        } catch (const Error&) {
            // a value of another type than the key column: compared by value below
        }
        if (key) {
            const size_t real = static_cast<size_t>(target.index - t.realIndexes.data());
            index::PageSetIndexSink sink(m_pages, t, real);
            index::IndexTreeEditor tree(sink, m_db.format(), t.tdefPage, sink.storedRoot());
            return tree.rowsWithKey(*key, limit);
        }
    }
    std::vector<RowId> rows;
    TableScanner(m_db.pager(), m_db.text(), t).scan([&](RowId id, const std::vector<Value>& r) {
        for (size_t i = 0; i < target.columns.size(); ++i)
            if (!sameValue(r[target.columns[i]], values[i])) return true;
        rows.push_back(id);
        return rows.size() < limit;
    });
    return rows;
}

void ReferentialIntegrity::requireParents(const StoredTableDef& table,
                                          const std::vector<Value>* oldRow,
                                          const std::vector<Value>& newRow) {
    for (const IndexDef& logical : table.indexes) {
        if (logical.fkRelatedTablePage == 0 || logical.fkTableType != 2) continue;
        Side here, parent;
        if (!sideOf(table, logical, here) || !relatedSide(logical, parent) ||
            parent.columns.size() != here.columns.size())
            continue;
        if (anyNull(newRow, here.columns)) continue;
        const std::vector<Value> key = pick(newRow, here.columns);
        if (oldRow && !anyNull(*oldRow, here.columns)) {
            const std::vector<Value> before = pick(*oldRow, here.columns);
            bool same = true;
            for (size_t i = 0; i < key.size() && same; ++i)
                same = sameValue(before[i], key[i]);
            if (same) continue;
        }
        if (rowsWithKey(parent, key, 1).empty())
            throw Error(index::kIntegrityViolation,
                        "You cannot add or change a record because a related record is required "
                        "in table '" +
                            parent.table->name + "'.");
    }
}

std::vector<ReferentialIntegrity::Dependents> ReferentialIntegrity::dependents(
    const StoredTableDef& table, const std::vector<Value>& oldRow,
    const std::vector<Value>* newRow) {
    std::vector<Dependents> out;
    for (const IndexDef& logical : table.indexes) {
        if (logical.fkRelatedTablePage == 0 || logical.fkTableType != 1) continue;
        Side here, child;
        if (!sideOf(table, logical, here) || !relatedSide(logical, child) ||
            child.columns.size() != here.columns.size())
            continue;
        if (anyNull(oldRow, here.columns)) continue;
        const std::vector<Value> key = pick(oldRow, here.columns);
        std::vector<Value> newKey;
        if (newRow) {
            newKey = pick(*newRow, here.columns);
            bool same = true;
            for (size_t i = 0; i < key.size() && same; ++i)
                same = sameValue(key[i], newKey[i]) || key[i] == newKey[i];
            if (same) continue;
        }
        // The cascade choices are recorded with the relationship on either side.
        uint8_t updates = logical.cascadeUpdates, deletes = logical.cascadeDeletes;
        for (const IndexDef& x : child.table->indexes)
            if (x.fkRelatedTablePage == table.tdefPage && x.fkTableType == 2 &&
                static_cast<int64_t>(logical.number) == x.fkRelatedIndex) {
                updates |= x.cascadeUpdates;
                deletes |= x.cascadeDeletes;
            }
        const bool cascadeUpdate = (updates & 0x01) != 0;
        const bool cascadeDelete = (deletes & 0x01) != 0;
        const bool cascadeNull = (deletes & 0x02) != 0;

        Dependents d;
        d.table = child.table->name;
        d.columns = child.columns;
        d.rows = rowsWithKey(child, key, child.table->rowCount + 1000);
        if (d.rows.empty()) continue;
        if (newRow) {
            if (!cascadeUpdate)
                throw Error(index::kIntegrityViolation,
                            "The record cannot be deleted or changed because table '" + d.table +
                                "' includes related records.");
            d.action = Dependents::Action::Update;
            for (size_t i = 0; i < newKey.size(); ++i)
                d.newKey.push_back(asColumnType(child.table->columns[child.columns[i]], newKey[i]));
        } else if (cascadeDelete) {
            d.action = Dependents::Action::Delete;
        } else if (cascadeNull) {
            d.action = Dependents::Action::SetNull;
        } else {
            throw Error(index::kIntegrityViolation,
                        "The record cannot be deleted or changed because table '" + d.table +
                            "' includes related records.");
        }
        out.push_back(std::move(d));
    }
    return out;
}

}  // namespace jet
