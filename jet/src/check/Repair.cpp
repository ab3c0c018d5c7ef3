// Mends what the integrity check finds and can mend without guessing, in one journaled change:
// indexes whose entries disagree with the rows (built again from the rows), row counts that
// differ from the rows a table holds, AutoNumber counters behind the highest value a table
// holds, and pages marked in use that nothing owns (given back to the free map).
#include <algorithm>
#include <map>

#include "catalog/DatabaseImpl.h"
#include "check/IndexChecker.h"
#include "check/IntegrityChecker.h"
#include "index/IndexBuilder.h"
#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Check.h"
#include "jet/Error.h"
#include "page/PageSet.h"
#include "page/PageSpace.h"
#include "table/RowWriter.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"

namespace jet {

namespace {

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

std::string indexNames(const StoredTableDef& def, size_t real) {
    std::string names;
    for (const IndexDef& x : def.indexes)
        if (x.realIndex == real) names += (names.empty() ? "'" : ", '") + x.name + "'";
    return names.empty() ? "index " + std::to_string(real) : "index " + names;
}

// Every real index of a table whose index entries the check finds wrong is built again from
// the rows: the tree's pages are reused and the stored distinct-key count set. An index the
// rows break (a unique one holding a key twice, a required one a null) or whose keys this
// engine cannot build is left as it is and stays reported.
void rebuildIndexes(Database& db, Database::Impl& impl, RepairResult& result) {
    std::vector<CatalogEntry> tables;
    for (const CatalogEntry& e : impl.catalog())
        if (e.isTable()) tables.push_back(e);
    for (const CatalogEntry& e : tables) {
        const StoredTableDef def = impl.tableDefAtPage(e.tdefPage(), e.name);
        if (def.realIndexes.empty()) continue;
        std::vector<std::string> problems;
        std::vector<std::pair<RowId, std::vector<Value>>> rows;
        try {
            index::IndexChecker(impl).checkTable(def, problems);
            if (problems.empty()) continue;
            db.forEachRow(e.name, [&](RowId id, const std::vector<Value>& row) {
                rows.emplace_back(id, row);
                return true;
            });
        } catch (const Error&) {
            continue;  // rows that cannot be read stay reported by the check
        }
        for (size_t i = 0; i < def.realIndexes.size(); ++i) {
            std::vector<index::IndexEntry> entries;
            int keys = 0;
            try {
                index::IndexWriter writer(def, i, impl.format(), impl.header().sortOrder);
                for (const auto& r : rows) {
                    if (std::optional<index::IndexEntry> x = writer.entryFor(r.second, r.first))
                        entries.push_back(std::move(*x));
                }
                index::IndexBuilder::sortEntries(entries);
                for (size_t k = 0; k < entries.size(); ++k)
                    if (k == 0 || entries[k].key != entries[k - 1].key)
                        ++keys;
                    else if (def.realIndexes[i].isUnique())
                        throw Error(hr::kInvalidArg, "twice");
            } catch (const Error&) {
                continue;
            }
            impl.writer()->changePages([&](PageSet& pages) {
                const StoredTableDef& now = impl.tableDefAtPage(def.tdefPage);
                const StoredRealIndex& real = now.realIndexes[i];
                PageSpace space(pages);
                std::vector<uint32_t> reuse;
                auto ours = [&](uint32_t p) {
                    if (p < 3 || p >= pages.pageCount()) return false;
                    const std::vector<uint8_t>& b = pages.read(p);
                    const uint32_t owner = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
                    return (b[0] == 0x03 || b[0] == 0x04) && owner == def.tdefPage;
                };
                if (ours(real.firstPage) && space.inMap(real.usageMap, real.firstPage))
                    reuse.push_back(real.firstPage);
                for (uint32_t p : space.pagesOf(real.usageMap))
                    if (p != real.firstPage && ours(p)) reuse.push_back(p);
                index::PageSetIndexSink sink(pages, now, i);
                const uint32_t root =
                    index::IndexBuilder(sink, impl.format(), def.tdefPage).build(entries, reuse);
                if (root != sink.storedRoot()) sink.rootMoved(root);
                sink.addToUniqueCount(keys - int(real.uniqueCount));
            });
            result.fixed.push_back("table '" + def.name + "': " + indexNames(def, i) +
                                   " built again from its " + std::to_string(rows.size()) +
                                   " rows");
        }
    }
}

}  // namespace

RepairResult repairIntegrity(Database& db) {
    Database::Impl& impl = implOf(db);
    if (!impl.writer())
        throw Error(hr::kReadOnly,
                    "The database is open read-only; open it for writing to repair it.");
    RepairResult result;
    impl.writer()->transact([&] {
        rebuildIndexes(db, impl, result);
        IntegrityChecker checker(impl);
        checker.run();

        // AutoNumber counters behind the highest value of their field.
        std::vector<CounterFix> counters;
        for (const CatalogEntry& e : impl.catalog()) {
            if (!e.isTable()) continue;
            const StoredTableDef& def = impl.tableDefAtPage(e.tdefPage(), e.name);
            const auto column =
                std::find_if(def.columns.begin(), def.columns.end(), [](const StoredColumn& c) {
                    return c.isAutoNumber() && c.type == ColumnType::Long;
                });
            if (column == def.columns.end()) continue;
            const size_t at = size_t(column - def.columns.begin());
            int64_t highest = 0;
            try {
                db.forEachRow(e.name, [&](RowId, const std::vector<Value>& row) {
                    if (const int32_t* v = row[at].getIf<int32_t>())
                        highest = std::max<int64_t>(highest, *v);
                    return true;
                });
            } catch (const Error&) {
                continue;  // rows that cannot be read stay reported by the check
            }
            if (highest > int64_t(def.autoNumber))
                counters.push_back({def.tdefPage, def.name, def.autoNumber, uint32_t(highest)});
        }

        const auto& stale = checker.staleCounts();
        const auto& unowned = checker.unownedPages();
        if (!stale.empty() || !counters.empty() || !unowned.empty()) {
            impl.writer()->changePages([&](PageSet& pages) {
                // Where the definition stores its row count and its last AutoNumber.
                const TableDefReader::Layout& layout = TableDefReader::layout(pages.format());
                for (const auto& s : stale) {
                    if (s.live > UINT32_MAX) continue;
                    put32(pages.modify(s.tdefPage), layout.rowCount, uint32_t(s.live));
                    result.fixed.push_back("table '" + s.table + "': the row count is now " +
                                           std::to_string(s.live) + " (was " +
                                           std::to_string(s.stated) + ")");
                }
                for (const CounterFix& c : counters) {
                    put32(pages.modify(c.tdefPage), layout.autoNumber, c.highest);
                    result.fixed.push_back(
                        "table '" + c.table + "': the AutoNumber counter is now " +
                        std::to_string(c.highest) + " (was " + std::to_string(c.stated) + ")");
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
        }
    });
    result.remaining = checkIntegrity(db);
    return result;
}

}  // namespace jet
