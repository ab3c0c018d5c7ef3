#pragma once

#include <string_view>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

namespace jettest {

// A table's rows with its stored definition (readTable gives the public description only).
inline jet::StoredTableData readStored(jet::Database& db, std::string_view table) {
    jet::StoredTableData data;
    data.def = jet::implOf(db).tableDef(table);
    db.forEachRow(table, [&](jet::RowId id, const std::vector<jet::Value>& row) {
        data.rows.push_back(row);
        data.rowIds.push_back(id);
        return true;
    });
    return data;
}

}  // namespace jettest
