#include "check/IntegrityChecker.h"

#include <set>

#include "check/IndexChecker.h"
#include "jet/Error.h"
#include "page/DataPage.h"
#include "row/RowDecoder.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"

namespace jet {

namespace {

constexpr MapPointer kGlobalFreeMap{1u << 8};  // page 1, row 0
// A damaged file could yield one line per page; past this many the rest add nothing.
constexpr size_t kMaxProblems = 1000;

std::string pageText(uint32_t p) {
    return "page " + std::to_string(p);
}

}  // namespace

void IntegrityChecker::problem(std::string text) {
    if (m_problems.size() < kMaxProblems)
        m_problems.push_back(std::move(text));
    else
        ++m_dropped;
}

IntegrityChecker::IntegrityChecker(Database::Impl& db)
    : m_db(db),
      m_pager(db.pager()),
      m_use(db.pager().pageCount(), Use::None),
      m_owner(db.pager().pageCount()) {}

void IntegrityChecker::claim(uint32_t page, const std::string& owner, const std::string& listedBy) {
    if (page >= m_use.size()) {
        problem(listedBy + " lists " + pageText(page) + ", past the end of the file");
        return;
    }
    if (m_use[page] != Use::None) {
        problem(pageText(page) + " is claimed twice: by " + m_owner[page] + " and by " + owner);
        return;
    }
    m_use[page] = Use::Owned;
    m_owner[page] = owner;
}

void IntegrityChecker::claimMapHolder(MapPointer pointer) {
    uint32_t p = pointer.page();
    if (p >= m_use.size()) return;
    if (m_use[p] == Use::Owned) {
        problem(pageText(p) + " holds usage maps but is also used by " + m_owner[p]);
        return;
    }
    m_use[p] = Use::MapHolder;
    m_owner[p] = "usage maps";
}

bool IntegrityChecker::readMap(MapPointer pointer, const std::string& what, UsageMap& out) {
    try {
        out = UsageMap::read(m_pager, pointer);
    } catch (const Error& e) {
        problem("the page map of " + what + " cannot be read: " + e.what());
        return false;
    }
    claimMapHolder(pointer);
    for (uint32_t bp : out.bitmapPages()) {
        if (bp == 0 || bp >= m_use.size()) continue;
        if (m_use[bp] == Use::Owned)
            problem(pageText(bp) + " is a bitmap of the page map of " + what +
                    " but is also used by " + m_owner[bp]);
        m_use[bp] = Use::MapHolder;
        m_owner[bp] = "usage maps";
    }
    return true;
}

void IntegrityChecker::checkRows(const StoredTableDef& def, const UsageMap& owned) {
    const std::string table = "table '" + def.name + "'";
    RowDecoder decoder(m_pager, m_db.text(), def);
    decoder.trackLongValuePages(&m_lvPages);
    decoder.setStrict(true);
    m_lvPages.clear();
    std::vector<Value> values;
    uint64_t live = 0;
    std::unordered_set<uint32_t> targets;
    for (uint32_t p : owned.pages()) {
        if (p >= m_pager.pageCount()) continue;  // reported by claim()
        PageRef page = m_pager.page(p);
        if (page->type() != 0x01) {
            problem(pageText(p) + " is in the page map of " + table +
                    " but is no data page (type " + std::to_string(page->type()) + ")");
            continue;
        }
        std::optional<DataPage> dp;
        try {
            dp.emplace(page, m_pager.format());
        } catch (const Error& e) {
            problem(table + ": " + e.what());
            continue;
        }
        if (dp->owner() != def.tdefPage) {
            problem(pageText(p) + " is in the page map of " + table +
                    " but belongs to the table at " + pageText(dp->owner()));
            continue;
        }
        for (uint16_t i = 0; i < dp->rowCount(); ++i) {
            if (m_problems.size() >= kMaxProblems) return;
            try {
                DataPage::Slot slot = dp->slot(i);
                if (slot.deleted()) continue;
                PageRef hold;
                ByteView row = TableScanner::resolveRow(m_pager, page, i, hold, &targets);
                decoder.decode(row, values);
                ++live;
            } catch (const Error& e) {
                problem(table + ", " + pageText(p) + " row " + std::to_string(i) + ": " + e.what());
            }
        }
    }
    if (live != def.rowCount) {
        m_staleCounts.push_back({def.tdefPage, def.name, def.rowCount, live});
        problem(table + " holds " + std::to_string(live) + (live == 1 ? " row" : " rows") +
                " but its definition says " + std::to_string(def.rowCount));
    }
}

void IntegrityChecker::checkIndexPages(const StoredTableDef& def) {
    for (const StoredRealIndex& r : def.realIndexes) {
        const std::string what =
            "index " + std::to_string(r.number) + " of table '" + def.name + "'";
        UsageMap map;
        if (!readMap(r.usageMap, what, map)) continue;
        for (uint32_t p : map.pages()) {
            claim(p, what, "the page map of " + what);
            if (p >= m_pager.pageCount()) continue;
            PageRef page = m_pager.page(p);
            if (page->type() != 0x03 && page->type() != 0x04)
                problem(pageText(p) + " is in the page map of " + what +
                        " but is no index page (type " + std::to_string(page->type()) + ")");
            else if (page->view().u32(4) != def.tdefPage)
                problem(pageText(p) + " is in the page map of " + what +
                        " but names the table at " + pageText(page->view().u32(4)));
        }
        if (r.firstPage != 0 && !map.contains(r.firstPage))
            problem("the root " + pageText(r.firstPage) + " of " + what +
                    " is not in the index's page map");
    }
}

void IntegrityChecker::checkLongValuePages(const StoredTableDef& def) {
    for (const StoredColumn& c : def.columns) {
        if (!c.isLongValue() || c.lvOwnedMap.raw == 0) continue;
        const std::string what =
            "the long values of column '" + c.name + "' of table '" + def.name + "'";
        UsageMap map;
        if (!readMap(c.lvOwnedMap, what, map)) continue;
        std::set<uint32_t> reported;
        for (const auto& [col, p] : m_lvPages) {
            if (col != c.id || map.contains(p) || !reported.insert(p).second) continue;
            problem("a value of column '" + c.name + "' of table '" + def.name + "' lies on " +
                    pageText(p) + ", which is not in the column's page map");
        }
        if (c.lvFreeMap.raw != 0) {
            UsageMap freeMap;
            readMap(c.lvFreeMap, what + " (free space)", freeMap);
        }
        for (uint32_t p : map.pages()) {
            claim(p, what, "the page map of " + what);
            if (p >= m_pager.pageCount()) continue;
            PageRef page = m_pager.page(p);
            if (page->type() != 0x01 || page->view().u32(4) != DataPage::kLvalMarker)
                problem(pageText(p) + " is in the page map of " + what +
                        " but holds no long values");
        }
    }
}

void IntegrityChecker::checkTable(const CatalogEntry& entry) {
    const std::string table = "table '" + entry.name + "'";
    const StoredTableDef* def = nullptr;
    try {
        def = &m_db.tableDefAtPage(entry.tdefPage(), entry.name);
    } catch (const Error& e) {
        problem("the definition of " + table + " cannot be read: " + e.what());
        return;
    }
    for (uint32_t p : def->tdefPages)
        claim(p, "the definition of " + table, table);

    UsageMap owned;
    if (readMap(def->ownedMap, table, owned)) {
        for (uint32_t p : owned.pages())
            claim(p, table, "the page map of " + table);
        checkRows(*def, owned);
    }
    UsageMap freeSpace;
    if (readMap(def->freeMap, table + " (free space)", freeSpace)) {
        for (uint32_t p : freeSpace.pages())
            if (!owned.contains(p) && p < m_pager.pageCount())
                problem(pageText(p) + " is listed as having free space for " + table +
                        " but is not one of its pages");
    }
    checkIndexPages(*def);
    index::checkIndexEntries(m_db, *def, m_problems);
    checkLongValuePages(*def);
}

void IntegrityChecker::checkUnaccounted() {
    if (!m_haveFreeMap) return;
    // Runs of pages are reported as one line: a file with leaked pages would otherwise bury
    // every other finding.
    auto report = [&](uint32_t first, uint32_t last, const char* what) {
        if (first == last)
            problem(pageText(first) + what);
        else
            problem("pages " + std::to_string(first) + " to " + std::to_string(last) + " (" +
                    std::to_string(last - first + 1) + " pages)" + what);
    };
    const char* kUnowned = " are marked in use but nothing owns them";
    uint32_t runStart = 0;
    bool inRun = false;
    for (uint32_t p = 2; p <= m_use.size(); ++p) {
        bool unowned = p < m_use.size() && m_use[p] == Use::None && !m_free.contains(p);
        if (unowned) m_unowned.push_back(p);
        if (unowned && !inRun) {
            runStart = p;
            inRun = true;
        } else if (!unowned && inRun) {
            report(runStart, p - 1,
                   runStart == p - 1 ? " is marked in use but nothing owns it" : kUnowned);
            inRun = false;
        }
        if (p < m_use.size() && m_use[p] == Use::Owned && m_free.contains(p))
            problem(pageText(p) + " is marked free but is used by " + m_owner[p]);
    }
}

std::vector<std::string> IntegrityChecker::run() {
    m_use[0] = Use::Header;
    m_owner[0] = "the database header";
    if (readMap(kGlobalFreeMap, "the database (free pages)", m_free)) m_haveFreeMap = true;
    if (m_use.size() > 1 && m_use[1] == Use::MapHolder) m_owner[1] = "the global page maps";

    std::set<uint32_t> seen;
    for (const CatalogEntry& e : m_db.catalog()) {
        if (!e.isTable()) continue;
        if (!seen.insert(e.tdefPage()).second) {
            problem("two catalog entries name the table at " + pageText(e.tdefPage()));
            continue;
        }
        if (m_problems.size() >= kMaxProblems) break;
        checkTable(e);
    }
    checkUnaccounted();
    if (m_dropped > 0)
        m_problems.push_back("... and " + std::to_string(m_dropped) + " further problems");
    return m_problems;
}

}  // namespace jet
