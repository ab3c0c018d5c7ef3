#include "provider/SchemaRowsets.h"

#include <algorithm>

#include "provider/EngineSession.h"
#include "jet/Text.h"

namespace tessor::provider {

namespace {

ColumnInfo textColumn(const char* name) {
    ColumnInfo c;
    c.name = name;
    c.type = DataType::VarWChar;
    c.definedSize = 255;
    return c;
}

ColumnInfo typedColumn(const char* name, DataType type) {
    ColumnInfo c;
    c.name = name;
    c.type = type;
    return c;
}

Variant text(const std::string& s) {
    return Variant(s);
}
Variant long32(int64_t v) {
    return Variant(static_cast<int32_t>(v));
}

const char* tableType(const jet::CatalogEntry& e) {
    switch (e.kind) {
        case jet::ObjectKind::UserTable:
            return "TABLE";
        case jet::ObjectKind::SystemTable:
            return "SYSTEM TABLE";
        case jet::ObjectKind::LinkedTable:
            return e.type == 4 ? "PASS-THROUGH" : "LINK";
        case jet::ObjectKind::Query:
            // Only select queries are views; action, union, crosstab and pass-through queries
            // are procedures, which this rowset does not list.
            return (e.flags & 0xF0) == 0 ? "VIEW" : nullptr;
        case jet::ObjectKind::Other:
            return nullptr;
    }
    return nullptr;
}

// The user tables in name order, with their definitions.
std::vector<const jet::TableDef*> userTables(jet::Database& db) {
    std::vector<std::string> names = db.tableNames(false);
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return jet::CaseFold::compare(a, b) < 0;
    });
    std::vector<const jet::TableDef*> defs;
    for (const std::string& n : names)
        defs.push_back(&db.tableDef(n));
    return defs;
}

std::string columnName(const jet::TableDef& def, uint16_t id) {
    const jet::ColumnDef* c = def.columnById(id);
    return c ? c->name : std::string();
}

}  // namespace

std::unique_ptr<RowStore> SchemaRowsets::tables(jet::Database& db) {
    return engineCall([&] {
        auto rows = std::make_unique<RowStore>(std::vector<ColumnInfo>{
            textColumn("TABLE_CATALOG"), textColumn("TABLE_SCHEMA"), textColumn("TABLE_NAME"),
            textColumn("TABLE_TYPE"), typedColumn("TABLE_GUID", DataType::Guid),
            textColumn("DESCRIPTION"), typedColumn("TABLE_PROPID", DataType::Integer),
            typedColumn("DATE_CREATED", DataType::Date),
            typedColumn("DATE_MODIFIED", DataType::Date)});
        std::vector<std::pair<std::string, const jet::CatalogEntry*>> list;
        for (const jet::CatalogEntry& e : db.catalog())
            if (const char* type = tableType(e)) list.emplace_back(type, &e);
        std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
            if (a.first != b.first) return a.first < b.first;
            return jet::CaseFold::compare(a.second->name, b.second->name) < 0;
        });
        for (const auto& [type, e] : list) {
            const Variant row[] = {Variant::null(),
                                   Variant::null(),
                                   text(e->name),
                                   text(type),
                                   Variant::null(),
                                   Variant::null(),
                                   Variant::null(),
                                   Variant(Date{e->dateCreate.days}),
                                   Variant(Date{e->dateUpdate.days})};
            rows->appendRow(row);
        }
        rows->shrinkToFit();
        return rows;
    });
}

std::unique_ptr<RowStore> SchemaRowsets::constraintColumnUsage(jet::Database& db) {
    return engineCall([&] {
        auto rows = std::make_unique<RowStore>(std::vector<ColumnInfo>{
            textColumn("TABLE_CATALOG"), textColumn("TABLE_SCHEMA"), textColumn("TABLE_NAME"),
            textColumn("COLUMN_NAME"), typedColumn("COLUMN_GUID", DataType::Guid),
            typedColumn("COLUMN_PROPID", DataType::Integer), textColumn("CONSTRAINT_CATALOG"),
            textColumn("CONSTRAINT_SCHEMA"), textColumn("CONSTRAINT_NAME")});
        for (const jet::TableDef* def : userTables(db)) {
            for (const jet::IndexDef& index : def->indexes) {
                if (index.realIndex >= def->realIndexes.size()) continue;
                const jet::RealIndexDef& real = def->realIndexes[index.realIndex];
                const bool isConstraint =
                    index.kind == jet::IndexKind::Primary ||
                    (index.kind == jet::IndexKind::Foreign && index.fkTableType == 2) ||
                    (index.kind == jet::IndexKind::Normal && real.isUnique());
                if (!isConstraint) continue;
                for (const jet::IndexColumn& col : real.columns) {
                    const Variant row[] = {Variant::null(), Variant::null(),
                                           text(def->name), text(columnName(*def, col.columnId)),
                                           Variant::null(), Variant::null(),
                                           Variant::null(), Variant::null(),
                                           text(index.name)};
                    rows->appendRow(row);
                }
            }
        }
        rows->shrinkToFit();
        return rows;
    });
}

std::unique_ptr<RowStore> SchemaRowsets::indexes(jet::Database& db) {
    return engineCall([&] {
        auto rows = std::make_unique<RowStore>(
            std::vector<ColumnInfo>{textColumn("TABLE_CATALOG"),
                                    textColumn("TABLE_SCHEMA"),
                                    textColumn("TABLE_NAME"),
                                    textColumn("INDEX_CATALOG"),
                                    textColumn("INDEX_SCHEMA"),
                                    textColumn("INDEX_NAME"),
                                    typedColumn("PRIMARY_KEY", DataType::Boolean),
                                    typedColumn("UNIQUE", DataType::Boolean),
                                    typedColumn("CLUSTERED", DataType::Boolean),
                                    typedColumn("TYPE", DataType::SmallInt),
                                    typedColumn("FILL_FACTOR", DataType::Integer),
                                    typedColumn("INITIAL_SIZE", DataType::Integer),
                                    typedColumn("NULLS", DataType::Integer),
                                    typedColumn("SORT_BOOKMARKS", DataType::Boolean),
                                    typedColumn("AUTO_UPDATE", DataType::Boolean),
                                    typedColumn("NULL_COLLATION", DataType::Integer),
                                    typedColumn("ORDINAL_POSITION", DataType::Integer),
                                    textColumn("COLUMN_NAME"),
                                    typedColumn("COLUMN_GUID", DataType::Guid),
                                    typedColumn("COLUMN_PROPID", DataType::Integer),
                                    typedColumn("COLLATION", DataType::SmallInt),
                                    typedColumn("CARDINALITY", DataType::Integer),
                                    typedColumn("PAGES", DataType::Integer),
                                    textColumn("FILTER_CONDITION"),
                                    typedColumn("INTEGRATED", DataType::Boolean)});
        for (const jet::TableDef* def : userTables(db)) {
            for (const jet::IndexDef& index : def->indexes) {
                if (index.realIndex >= def->realIndexes.size()) continue;
                // The primary side of a relationship borrows the key's index; it is no index of
                // its own.
                if (index.kind == jet::IndexKind::Foreign && index.fkTableType != 2) continue;
                const jet::RealIndexDef& real = def->realIndexes[index.realIndex];
                const bool primary = index.kind == jet::IndexKind::Primary;
                const int nulls = primary || real.isRequired() ? 1 : real.ignoresNulls() ? 2 : 0;
                int ordinal = 0;
                for (const jet::IndexColumn& col : real.columns) {
                    const Variant row[] = {
                        Variant::null(),
                        Variant::null(),
                        text(def->name),
                        Variant::null(),
                        Variant::null(),
                        text(index.name),
                        Variant(primary),
                        Variant(primary || real.isUnique()),
                        Variant(false),
                        Variant(int16_t{1}),
                        long32(100),
                        Variant::null(),
                        long32(nulls),
                        Variant(false),
                        Variant(true),
                        long32(4),
                        long32(++ordinal),
                        text(columnName(*def, col.columnId)),
                        Variant::null(),
                        Variant::null(),
                        Variant(int16_t{static_cast<int16_t>(col.ascending ? 1 : 2)}),
                        long32(real.uniqueCount),
                        Variant::null(),
                        Variant::null(),
                        Variant(false)};
                    rows->appendRow(row);
                }
            }
        }
        rows->shrinkToFit();
        return rows;
    });
}

std::unique_ptr<RowStore> SchemaRowsets::foreignKeys(jet::Database& db) {
    return engineCall([&] {
        auto rows = std::make_unique<RowStore>(std::vector<ColumnInfo>{
            textColumn("PK_TABLE_NAME"), textColumn("PK_COLUMN_NAME"), textColumn("FK_TABLE_NAME"),
            textColumn("FK_COLUMN_NAME"), typedColumn("ORDINAL", DataType::Integer),
            textColumn("FK_NAME")});
        const char* kRelationships = "MSysRelationships";
        const std::vector<std::string> system = db.tableNames(true);
        const bool present = std::any_of(system.begin(), system.end(), [&](const std::string& n) {
            return jet::CaseFold::compare(n, kRelationships) == 0;
        });
        if (!present) {
            rows->shrinkToFit();
            return rows;
        }
        const jet::TableDef& def = db.tableDef(kRelationships);
        auto column = [&](const char* name) -> int {
            for (size_t i = 0; i < def.columns.size(); ++i)
                if (def.columns[i].name == name) return static_cast<int>(i);
            return -1;
        };
        const int cColumn = column("szColumn"), cObject = column("szObject"),
                  cRefColumn = column("szReferencedColumn"),
                  cRefObject = column("szReferencedObject"), cName = column("szRelationship"),
                  cOrdinal = column("icolumn");
        auto textOf = [](const std::vector<jet::Value>& row, int c) {
            if (c < 0) return Variant::null();
            const std::string* s = row[static_cast<size_t>(c)].getIf<std::string>();
            return s ? text(*s) : Variant::null();
        };
        db.forEachRow(kRelationships, [&](jet::RowId, const std::vector<jet::Value>& row) {
            Variant ordinal = Variant::null();
            if (cOrdinal >= 0)
                if (const int32_t* n = row[static_cast<size_t>(cOrdinal)].getIf<int32_t>())
                    ordinal = long32(*n + 1);
            const Variant out[] = {textOf(row, cRefObject), textOf(row, cRefColumn),
                                   textOf(row, cObject),    textOf(row, cColumn),
                                   ordinal,                 textOf(row, cName)};
            rows->appendRow(out);
            return true;
        });
        rows->shrinkToFit();
        return rows;
    });
}

}  // namespace tessor::provider
