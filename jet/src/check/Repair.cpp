// Mends what the integrity check finds and can mend without guessing, in one journaled change:
// row counts that differ from the rows a table holds, AutoNumber counters behind the highest
// value a table holds, and pages marked in use that nothing owns (given back to the free map).
#include <algorithm>
#include <map>

#include "catalog/DatabaseImpl.h"
#include "check/IntegrityChecker.h"
#include "jet/Check.h"
#include "jet/Error.h"
#include "page/PageSet.h"
#include "page/PageSpace.h"
#include "table/RowWriter.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

// Where a Jet 4 definition stores its row count and its last AutoNumber.
constexpr size_t kRowCountOffset = 0x10;
constexpr size_t kAutoNumberOffset = 0x14;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

std::string pagesText(uint32_t first, uint32_t last) {
    if (first == last) return "page " + std::to_string(first);
    return "pages " + std::to_string(first) + " to " + std::to_string(last) + " (" +
           std::to_string(last - first + 1) + " pages)";
}

struct CounterFix {
    uint32_t tdefPage;
    std::string table;
    uint32_t stated;
    uint32_t highest;
};

}  // namespace

RepairResult repairIntegrity(Database& db) {
    Database::Impl& impl = implOf(db);
    if (db.format() != Format::Jet4)
        throw Error(hr::kNotSupported,
                    "Only Jet 4 databases can be repaired; this engine does not write Jet 3 "
                    "files. Nothing was changed.");
    if (!impl.writer())
        throw Error(hr::kReadOnly,
                    "The database is open read-only; open it for writing to repair it.");
    IntegrityChecker checker(impl);
    checker.run();

    // AutoNumber counters behind the highest value of their field.
    std::vector<CounterFix> counters;
    for (const CatalogEntry& e : impl.catalog()) {
        if (!e.isTable()) continue;
        const StoredTableDef& def = impl.tableDefAtPage(e.tdefPage(), e.name);
        const auto column = std::find_if(def.columns.begin(), def.columns.end(),
                                         [](const StoredColumn& c) {
                                             return c.isAutoNumber() && c.type == ColumnType::Long;
                                         });
        if (column == def.columns.end()) continue;
        const size_t at = size_t(column - def.columns.begin());
        int64_t highest = 0;
        try {
            db.forEachRow(e.name, [&](RowId, const std::vector<Value>& row) {
                if (const int32_t* v = row[at].getIf<int32_t>()) highest = std::max<int64_t>(highest, *v);
                return true;
            });
        } catch (const Error&) {
            continue;  // rows that cannot be read stay reported by the check
        }
        if (highest > int64_t(def.autoNumber))
            counters.push_back({def.tdefPage, def.name, def.autoNumber, uint32_t(highest)});
    }

    RepairResult result;
    const auto& stale = checker.staleCounts();
    const auto& unowned = checker.unownedPages();
    if (!stale.empty() || !counters.empty() || !unowned.empty()) {
        impl.writer()->transact([&] {
            impl.writer()->changePages([&](PageSet& pages) {
                for (const auto& s : stale) {
                    if (s.live > UINT32_MAX) continue;
                    put32(pages.modify(s.tdefPage), kRowCountOffset, uint32_t(s.live));
                    result.fixed.push_back("table '" + s.table + "': the row count is now " +
                                           std::to_string(s.live) + " (was " +
                                           std::to_string(s.stated) + ")");
                }
                for (const CounterFix& c : counters) {
                    put32(pages.modify(c.tdefPage), kAutoNumberOffset, c.highest);
                    result.fixed.push_back("table '" + c.table +
                                           "': the AutoNumber counter is now " +
                                           std::to_string(c.highest) + " (was " +
                                           std::to_string(c.stated) + ")");
                }
                PageSpace space(pages);
                for (size_t i = 0; i < unowned.size();) {
                    size_t j = i;
                    while (j + 1 < unowned.size() && unowned[j + 1] == unowned[j] + 1)
                        ++j;
                    for (size_t k = i; k <= j; ++k)
                        space.release(unowned[k]);
                    result.fixed.push_back(pagesText(unowned[i], unowned[j]) +
                                           (i == j ? ": given back as free (nothing owned it)"
                                                   : ": given back as free (nothing owned them)"));
                    i = j + 1;
                }
            });
        });
    }
    result.remaining = checkIntegrity(db);
    return result;
}

}  // namespace jet
