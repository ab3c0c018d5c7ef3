#pragma once

#include <memory>

#include "provider/RowStore.h"

namespace jet {
class Database;
}

namespace tessor::provider {

// The schema rowsets a connection offers, built from the database's catalog and table
// definitions. Column names and meanings follow the usual OLE DB schema rowsets.
class SchemaRowsets {
public:
    // TABLE_CATALOG, TABLE_SCHEMA (null), TABLE_NAME, TABLE_TYPE, TABLE_GUID (null),
    // DESCRIPTION (null), TABLE_PROPID (null), DATE_CREATED, DATE_MODIFIED. TABLE_TYPE is
    // "TABLE" for user tables, "SYSTEM TABLE", "LINK" (linked database tables), "PASS-THROUGH"
    // (linked ODBC tables) and "VIEW" (select queries). Ordered by type, then name.
    static std::unique_ptr<RowStore> tables(jet::Database& db);
    // TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, COLUMN_NAME, COLUMN_GUID, COLUMN_PROPID,
    // CONSTRAINT_CATALOG, CONSTRAINT_SCHEMA, CONSTRAINT_NAME: a row per column of each primary
    // key, unique index and foreign key (on the referencing table) of the user tables. The
    // constraint's name is the index's ("PrimaryKey" for a key Access made).
    static std::unique_ptr<RowStore> constraintColumnUsage(jet::Database& db);
    // TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, INDEX_CATALOG, INDEX_SCHEMA, INDEX_NAME,
    // PRIMARY_KEY, UNIQUE, CLUSTERED, TYPE (1 = B-tree), FILL_FACTOR, INITIAL_SIZE, NULLS
    // (0 allowed, 1 disallowed, 2 ignored), SORT_BOOKMARKS, AUTO_UPDATE, NULL_COLLATION
    // (4 = nulls low), ORDINAL_POSITION (1-based), COLUMN_NAME, COLUMN_GUID, COLUMN_PROPID,
    // COLLATION (1 ascending, 2 descending), CARDINALITY, PAGES, FILTER_CONDITION, INTEGRATED:
    // a row per column of each index of the user tables, foreign-key indexes of the
    // referencing side included.
    static std::unique_ptr<RowStore> indexes(jet::Database& db);
    // PK_TABLE_NAME, PK_COLUMN_NAME, FK_TABLE_NAME, FK_COLUMN_NAME, ORDINAL (1-based), FK_NAME:
    // a row per column pair of every relationship the database records, whether it enforces
    // integrity or not. None when the database has no relationship table.
    static std::unique_ptr<RowStore> foreignKeys(jet::Database& db);
};

}  // namespace tessor::provider
