#include "catalog/DatabaseImpl.h"

#include <algorithm>

#include "jet/Error.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"

namespace jet {

namespace {

constexpr uint32_t kCatalogPage = 2;
constexpr uint32_t kSystemFlags = 0x80000002;

enum ObjectType : int16_t { kTable = 1, kLinkedOdbc = 4, kQuery = 5, kLinkedJet = 6 };

}  // namespace

Database::Impl::Impl(std::filesystem::path path, const OpenOptions& options, DatabaseHeader header,
                     std::unique_ptr<Pager> pager)
    : m_path(std::move(path)),
      m_options(options),
      m_header(std::move(header)),
      m_pager(std::move(pager)),
      m_text(m_pager->format(), m_header.codePage) {}

void Database::Impl::loadCatalog() {
    const StoredTableDef& sys = tableDefAtPage(kCatalogPage, "MSysObjects");
    auto col = [&](const char* name) -> int {
        for (size_t i = 0; i < sys.columns.size(); ++i)
            if (namesEqual(sys.columns[i].name, name)) return static_cast<int>(i);
        return -1;
    };
    const int cId = col("Id"), cParent = col("ParentId"), cName = col("Name"), cType = col("Type"),
              cFlags = col("Flags"), cCreate = col("DateCreate"), cUpdate = col("DateUpdate"),
              cDatabase = col("Database"), cConnect = col("Connect"), cForeign = col("ForeignName");
    if (cId < 0 || cName < 0 || cType < 0)
        throwCorrupt("the system catalog (MSysObjects) lacks its Id, Name or Type column");

    m_catalog.clear();
    TableScanner scanner(*m_pager, m_text, sys);
    scanner.scan([&](RowId, const std::vector<Value>& row) {
        CatalogEntry e;
        auto get = [&](int c) -> const Value* { return c < 0 ? nullptr : &row[c]; };
        auto i32 = [&](int c) -> int32_t {
            const Value* v = get(c);
            if (!v) return 0;
            if (auto p = v->getIf<int32_t>()) return *p;
            if (auto p = v->getIf<int16_t>()) return *p;
            return 0;
        };
        auto str = [&](int c) -> std::string {
            const Value* v = get(c);
            if (v)
                if (auto p = v->getIf<std::string>()) return *p;
            return {};
        };
        auto date = [&](int c) -> DateTime {
            const Value* v = get(c);
            if (v)
                if (auto p = v->getIf<DateTime>()) return *p;
            return {};
        };
        e.id = i32(cId);
        e.parentId = i32(cParent);
        e.name = str(cName);
        e.type = static_cast<int16_t>(i32(cType));
        e.flags = static_cast<uint32_t>(i32(cFlags));
        e.dateCreate = date(cCreate);
        e.dateUpdate = date(cUpdate);
        e.database = str(cDatabase);
        e.connect = str(cConnect);
        e.foreignName = str(cForeign);
        switch (e.type) {
            case kTable:
                e.kind =
                    (e.flags & kSystemFlags) != 0 ? ObjectKind::SystemTable : ObjectKind::UserTable;
                break;
            case kLinkedOdbc:
            case kLinkedJet:
                e.kind = ObjectKind::LinkedTable;
                break;
            case kQuery:
                e.kind = ObjectKind::Query;
                break;
            default:
                e.kind = ObjectKind::Other;
                break;
        }
        m_catalog.push_back(std::move(e));
        return true;
    });
}

const CatalogEntry* Database::Impl::findTable(std::string_view name) const {
    // A row change looks its table up several times by the same name: the last hit is checked
    // first, by its exact name (names differ in more than case, so it is the same table).
    if (m_lastFound < m_catalog.size()) {
        const CatalogEntry& e = m_catalog[m_lastFound];
        if (e.isTable() && e.name == name) return &e;
    }
    for (size_t i = 0; i < m_catalog.size(); ++i) {
        const CatalogEntry& e = m_catalog[i];
        if (!e.isTable() || !namesEqual(e.name, name)) continue;
        m_lastFound = i;
        return &e;
    }
    return nullptr;
}

const StoredTableDef& Database::Impl::tableDefAtPage(uint32_t page, std::string_view name) {
    auto it = m_defs.find(page);
    if (it != m_defs.end()) return *it->second;
    auto def = std::make_unique<StoredTableDef>(TableDefReader::read(*m_pager, m_text, page));
    if (!name.empty()) {
        def->name = std::string(name);
    } else {
        for (const auto& e : m_catalog)
            if (e.isTable() && e.tdefPage() == page) def->name = e.name;
    }
    return *m_defs.emplace(page, std::move(def)).first->second;
}

void Database::Impl::reloadTableDefs(const std::set<uint32_t>* touched) {
    if (!touched || touched->count(0)) {
        PageRef first = m_pager->page(0);
        m_header = DatabaseHeader::parse(first->data(), first->size());
    }
    for (auto it = m_defs.begin(); it != m_defs.end();) {
        StoredTableDef& def = *it->second;
        if (touched && !touched->count(it->first) &&
            std::none_of(def.tdefPages.begin(), def.tdefPages.end(),
                         [&](uint32_t p) { return touched->count(p) != 0; })) {
            ++it;
            continue;
        }
        // A table made by a change that was then dropped left no definition behind.
        if (it->first >= m_pager->pageCount() || m_pager->peek(it->first)[0] != 0x02) {
            const uint32_t page = it->first;
            ++it;
            retire(page);
            continue;
        }
        if (touched && countersOnlyChanged(def, it->first)) {
            if (auto d = m_described.find(it->first); d != m_described.end()) {
                d->second->rowCount = def.rowCount;
                d->second->autoNumber = def.autoNumber;
            }
            ++it;
            continue;
        }
        std::string name = def.name;
        def = TableDefReader::read(*m_pager, m_text, it->first);
        def.name = std::move(name);
        if (format() == Format::Jet4 && def.tdefPages.size() == 1 &&
            def.tdefPages[0] == it->first) {
            PageRef page = m_pager->page(it->first);
            m_defPageAsRead[it->first].assign(page->data(), page->data() + page->size());
        } else {
            m_defPageAsRead.erase(it->first);
        }
        refreshDescription(it->first, def);
        ++it;
    }
}

void Database::Impl::refreshDescription(uint32_t page, const StoredTableDef& def) {
    if (auto d = m_described.find(page); d != m_described.end()) *d->second = def.describe();
}

void Database::Impl::retire(uint32_t page) {
    m_defPageAsRead.erase(page);
    if (auto it = m_defs.find(page); it != m_defs.end()) {
        m_retired.push_back(std::move(it->second));
        m_defs.erase(it);
    }
    if (auto d = m_described.find(page); d != m_described.end()) {
        m_describedRetired.push_back(std::move(d->second));
        m_described.erase(d);
    }
}

const TableDef& Database::Impl::describedAtPage(uint32_t page) {
    const StoredTableDef& def = tableDefAtPage(page);
    std::unique_ptr<TableDef>& d = m_described[page];
    if (!d) d = std::make_unique<TableDef>(def.describe());
    return *d;
}

const TableDef& Database::Impl::described(std::string_view name) {
    tableDef(name);  // refuses what is no local table
    return describedAtPage(findTable(name)->tdefPage());
}

bool Database::Impl::countersOnlyChanged(StoredTableDef& def, uint32_t page) {
    // Jet 4 definition header: row count at 0x10, next AutoNumber at 0x14.
    constexpr size_t kCountersFrom = 0x10, kCountersTo = 0x18;
    auto known = m_defPageAsRead.find(page);
    if (known == m_defPageAsRead.end()) return false;
    const std::span<const uint8_t> now = m_pager->peek(page);
    const std::vector<uint8_t>& before = known->second;
    if (now.size() != before.size() || before.size() < kCountersTo) return false;
    const uint8_t* bytes = now.data();
    if (!std::equal(before.begin(), before.begin() + kCountersFrom, bytes) ||
        !std::equal(before.begin() + kCountersTo, before.end(), bytes + kCountersTo))
        return false;
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    def.rowCount = u32(0x10);
    def.autoNumber = u32(0x14);
    std::copy(bytes + kCountersFrom, bytes + kCountersTo, known->second.begin() + kCountersFrom);
    return true;
}

void Database::Impl::writeCounters(PageSet& pages, uint32_t defPage, uint32_t rowCount,
                                   uint32_t autoNumber) {
    const TableDefReader::Layout& layout = TableDefReader::layout(pages.format());
    auto asRead = m_defPageAsRead.find(defPage);
    auto def = m_defs.find(defPage);
    const bool direct = m_changes && m_changes->currentBatch() == &pages &&
                        asRead != m_defPageAsRead.end() && def != m_defs.end();
    std::vector<uint8_t>& bytes = direct ? pages.modifyQuietly(defPage) : pages.modify(defPage);
    auto put32 = [](uint8_t* at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            at[i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(bytes.data() + layout.rowCount, rowCount);
    put32(bytes.data() + layout.autoNumber, autoNumber);
    if (!direct) return;
    // The page differs from its copy read in full only where the counters stand, unless a
    // step changes it otherwise; that step names the page and it is compared as before.
    put32(asRead->second.data() + layout.rowCount, rowCount);
    put32(asRead->second.data() + layout.autoNumber, autoNumber);
    def->second->rowCount = rowCount;
    def->second->autoNumber = autoNumber;
    if (auto d = m_described.find(defPage); d != m_described.end()) {
        d->second->rowCount = rowCount;
        d->second->autoNumber = autoNumber;
    }
}

void Database::Impl::retireTableDef(uint32_t page) {
    retire(page);
}

const StoredTableDef& Database::Impl::tableDef(std::string_view name) {
    const CatalogEntry* e = findTable(name);
    if (!e) {
        for (const auto& x : m_catalog) {
            if (!namesEqual(x.name, name)) continue;
            if (x.kind == ObjectKind::LinkedTable)
                throw Error(hr::kNotSupported, "'" + x.name +
                                                   "' is a linked table; its rows live in "
                                                   "another database.");
            if (x.kind == ObjectKind::Query)
                throw Error(hr::kNotFound, "'" + x.name + "' is a query, not a table.");
        }
        throw Error(hr::kNotFound, "The table '" + std::string(name) + "' does not exist.");
    }
    return tableDefAtPage(e->tdefPage(), e->name);
}

void Database::Impl::startChanges(std::shared_ptr<JournalStore> journal) {
    m_changes = std::make_unique<ChangeRunner>(*m_pager, std::move(journal));
    m_changes->addObserver(*this);
}

void Database::Impl::dropped() {
    try {
        reloadTableDefs();
        loadCatalog();  // a dropped change may have added or removed tables
    } catch (...) {
        // The file is as it was; a definition that cannot be read now fails on its next use.
    }
}

}  // namespace jet
