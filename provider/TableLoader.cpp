#include "provider/TableLoader.h"

#include "provider/EngineSession.h"
#include "provider/EngineValue.h"

#include "jet/Text.h"

#include <algorithm>

namespace tessor::provider {

TableSnapshot TableLoader::load(jet::Database& db, std::string_view table,
                                const LoadProgress& progress) {
    return engineCall([&] {
        const jet::TableDef& def = db.tableDef(table);
        std::vector<ColumnInfo> columns;
        columns.reserve(def.columns.size());
        for (const jet::ColumnDef& c : def.columns)
            columns.push_back(EngineValue::columnInfo(c, db.format()));
        TableSnapshot snap;
        snap.rows = std::make_unique<RowStore>(std::move(columns));
        snap.rows->setGeneral97(jet::Collation::of(db).isGeneral97());
        snap.rows->reserve(def.rowCount);
        constexpr size_t kProgressStep = 4096;
        bool stopped = progress && !progress(0, def.rowCount);
        db.forEachRow(table, [&](jet::RowId id, const std::vector<jet::Value>& values) {
            if (stopped) return false;
            if (values.size() != snap.rows->columnCount())
                throw ProviderError(
                    hr::kFail,
                    "The table \"" + def.name + "\" gave a row with the wrong number of values.");
            // Straight from the engine's values into the columns, with nothing in between.
            snap.rows->appendRow(std::span<const jet::Value>(values));
            snap.rowIds.pushBack(id.page << 8 | id.row);
            if (progress && snap.rowIds.size() % kProgressStep == 0)
                stopped = !progress(snap.rowIds.size(), std::max<size_t>(def.rowCount,
                                                                         snap.rowIds.size()));
            return !stopped;
        });
        if (stopped)
            throw ProviderError(hr::kCanceled,
                                "Reading the table \"" + def.name + "\" was stopped.");
        snap.rows->shrinkToFit();
        snap.rowIds.shrinkToFit();
        return snap;
    });
}

}  // namespace tessor::provider
