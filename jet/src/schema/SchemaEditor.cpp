#include "schema/SchemaEditor.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "base/TextCodec.h"
#include "catalog/PropertyBlob.h"
#include "index/IndexBuilder.h"
#include "index/IndexPage.h"
#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Error.h"
#include "row/RowCodec.h"
#include "page/PageSpace.h"
#include "page/SlotPage.h"
#include "page/UsageMapRows.h"
#include "schema/CatalogRows.h"
#include "schema/ColumnLayout.h"
#include "schema/SchemaNames.h"
#include "tdef/DefinitionStore.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"

namespace jet {

namespace {

constexpr uint8_t kUserTable = 0x4E;
constexpr uint8_t kAccessIndexFlag = 0x80;  // set by Access 2000 and later on every index
// Access's bytes in the cascade fields of a logical index that belongs to no relationship.
constexpr uint8_t kNoRelationship = 0x04;
constexpr size_t kMaxIndexColumns = 10;
constexpr const char* kRequired = "Required";

RowWriter& writerOf(Database::Impl& impl) {
    if (!impl.writer())
        throw Error(hr::kReadOnly,
                    "The database is open read-only; open it for writing to change its tables.");
    return *impl.writer();
}

std::string inQuotes(std::string_view s) {
    return "'" + std::string(s) + "'";
}

uint32_t ownerOf(const std::vector<uint8_t>& page) {
    return page[4] | (page[5] << 8) | (page[6] << 16) | (uint32_t(page[7]) << 24);
}

// Index pages, root included, then the map that listed them.
void releaseIndex(UsageMapRows& maps, PageSpace& space, PageSet& pages, const StoredRealIndex& r,
                  uint32_t owner) {
    std::vector<uint32_t> listed =
        r.usageMap.raw ? space.pagesOf(r.usageMap) : std::vector<uint32_t>{};
    if (r.firstPage > 2 && r.firstPage < pages.pageCount() &&
        std::find(listed.begin(), listed.end(), r.firstPage) == listed.end()) {
        const std::vector<uint8_t>& root = pages.read(r.firstPage);
        if ((root[0] == 0x03 || root[0] == 0x04) && ownerOf(root) == owner)
            space.release(r.firstPage);
    }
    maps.releaseWithPages(r.usageMap);
}

// Pages of a long-value column's map that no other column of the table lists too.
void releaseLongValues(UsageMapRows& maps, PageSpace& space, const StoredTableDef& def,
                       const StoredColumn& column) {
    std::set<uint32_t> shared;
    for (const StoredColumn& c : def.columns)
        if (c.id != column.id && c.isLongValue() && c.lvOwnedMap.raw)
            for (uint32_t p : space.pagesOf(c.lvOwnedMap))
                shared.insert(p);
    if (column.lvOwnedMap.raw) {
        for (uint32_t p : space.pagesOf(column.lvOwnedMap))
            if (!shared.count(p) && p > 2) space.release(p);
        maps.remove(column.lvOwnedMap);
    }
    maps.remove(column.lvFreeMap);
}

// A row stores how many fields it has, and readers take a field past that count as null, so a
// field that starts out null everywhere can leave the rows as they are. Not so where the row
// would have to gain something: a Yes/No field keeps its value in the null mask and starts as
// No; an AutoNumber or a required field has a value. And any field of a table without
// variable-length fields: its rows were stored without the table of variable offsets, so a new
// variable field sends other readers (mdbtools, mdb-reader) looking for one, and mdbtools reads
// a new fixed field at its place past the end of the stored row and drops the record.
bool keepsRows(const StoredTableDef& before, const NewColumn& column, const StoredColumn& added) {
    if (column.required || column.autoNumber || added.isAutoNumber() || added.isAutoGuid() ||
        added.type == ColumnType::Bool)
        return false;
    return std::any_of(before.columns.begin(), before.columns.end(),
                       [](const StoredColumn& c) { return !c.isFixed(); });
}

}  // namespace

SchemaEditor::SchemaEditor(Database& db)
    : m_db(db), m_impl(implOf(db)), m_writer(writerOf(implOf(db))) {}

uint32_t SchemaEditor::sortOrder() const {
    return m_impl.header().sortOrder;
}

uint16_t SchemaEditor::jet3CodePage() const {
    return m_impl.format() == Format::Jet3 ? m_impl.header().codePage : 0;
}

void SchemaEditor::checkStorable(const std::string& name, const char* what) const {
    if (m_impl.format() != Format::Jet3) return;
    std::vector<uint8_t> bytes;
    uint32_t bad = 0;
    if (!m_impl.text().encodeCodePage(name, bytes, bad))
        throw Error(hr::kInvalidArg, std::string("The name of ") + what + " " + inQuotes(name) +
                                         " holds the character " + TextCodec::characterName(bad) +
                                         ", which the database's code page cannot store.");
}

void SchemaEditor::run(const std::function<void()>& body) {
    try {
        m_writer.transact(body);
    } catch (...) {
        try {
            m_impl.loadCatalog();
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    m_impl.loadCatalog();
}

const StoredTableDef& SchemaEditor::userTable(std::string_view table) {
    const StoredTableDef& def = m_impl.tableDef(table);
    const CatalogEntry* e = m_impl.findTable(table);
    if (def.isSystemTable() || (e && e->kind == ObjectKind::SystemTable))
        throw Error(hr::kReadOnly,
                    inQuotes(def.name) + " is a system table; its design cannot be changed.");
    return def;
}

StoredTableDef SchemaEditor::fresh(const StoredTableDef& def) {
    StoredTableDef now = TableDefReader::read(m_impl.pager(), m_impl.text(), def.tdefPage);
    now.name = def.name;
    return now;
}

void SchemaEditor::createTable(const NewTable& table) {
    SchemaNames::check(table.name, "table");
    checkStorable(table.name, "table");
    for (const CatalogEntry& e : m_impl.catalog())
        if ((e.isTable() || e.parentId == CatalogRows::kTablesContainer) &&
            namesEqual(e.name, table.name))
            throw Error(hr::kInvalidArg, "Table " + inQuotes(table.name) + " already exists.");
    StoredTableDef def;
    def.name = table.name;
    def.tableType = kUserTable;
    def.autoIncrement = 1;
    for (const NewColumn& c : table.columns) {
        ColumnLayout::add(def, c, sortOrder(), jet3CodePage());
        checkStorable(c.name, "field");
    }
    // Index definitions are checked against the columns before anything is written.
    {
        std::set<std::string> names;
        int primaries = 0;
        for (const NewIndex& x : table.indexes) {
            SchemaNames::check(x.name, "index");
            checkStorable(x.name, "index");
            std::string folded = x.name;
            std::transform(folded.begin(), folded.end(), folded.begin(),
                           [](unsigned char ch) { return std::tolower(ch); });
            if (!names.insert(folded).second)
                throw Error(hr::kInvalidArg, "Index " + inQuotes(x.name) +
                                                 " is defined twice for table " +
                                                 inQuotes(table.name) + ".");
            if (x.primary && ++primaries > 1)
                throw Error(hr::kInvalidArg,
                            "Table " + inQuotes(table.name) + " can have only one primary key.");
            for (const NewIndex::Column& c : x.columns)
                if (!def.findColumn(c.name))
                    throw Error(hr::kInvalidArg, "Index " + inQuotes(x.name) + " names field " +
                                                     inQuotes(c.name) + ", which table " +
                                                     inQuotes(table.name) + " does not have.");
        }
    }
    // NOT NULL is no flag of the column: Access keeps it as the field's Required property.
    PropertyBlob properties = *PropertyBlob::parse(
        {}, m_impl.format() == Format::Jet3 ? &m_impl.text() : nullptr);
    for (const NewColumn& c : table.columns)
        if (c.required) properties.setBoolean(c.name, kRequired, true);
    run([&] {
        m_writer.changePages([&](PageSet& pages) {
            PageSpace space(pages);
            std::vector<uint8_t> placeholder(pages.pageSize(), 0);
            placeholder[0] = 0x02;
            placeholder[1] = 0x01;
            def.tdefPage = space.allocate(placeholder);
            size_t longValues = 0;
            for (const StoredColumn& c : def.columns)
                if (c.isLongValue()) ++longValues;
            UsageMapRows maps(pages, space);
            std::vector<MapPointer> m = maps.create(2 + 2 * longValues, 0);
            def.ownedMap = m[0];
            def.freeMap = m[1];
            size_t next = 2;
            for (StoredColumn& c : def.columns)
                if (c.isLongValue()) {
                    c.lvOwnedMap = m[next++];
                    c.lvFreeMap = m[next++];
                }
            DefinitionStore::write(pages, space, def, &m_impl.text());
        });
        CatalogRows(m_db, m_writer).addTable(def.name, def.tdefPage, properties.bytes());
        m_impl.loadCatalog();
        for (const NewIndex& x : table.indexes)
            buildIndex(def.name, x);
    });
}

void SchemaEditor::dropTable(std::string_view table) {
    const StoredTableDef& def = userTable(table);
    const std::string name = def.name;
    for (const IndexDef& x : def.indexes)
        if (x.kind == IndexKind::Foreign || x.fkRelatedTablePage != 0)
            throw Error(hr::kInvalidArg, "Table " + inQuotes(name) +
                                             " is part of one or more relationships; delete "
                                             "them first.");
    const uint32_t page = def.tdefPage;
    run([&] {
        CatalogRows catalog(m_db, m_writer);
        if (catalog.inRelationship(name))
            throw Error(hr::kInvalidArg, "Table " + inQuotes(name) +
                                             " is part of one or more relationships; delete "
                                             "them first.");
        catalog.removeTable(page);
        m_writer.changePages([&](PageSet& pages) {
            StoredTableDef now = fresh(def);
            PageSpace space(pages);
            UsageMapRows maps(pages, space);
            // Every page any of the table's maps lists, each given back once, then the maps.
            std::vector<MapPointer> all{now.ownedMap, now.freeMap};
            for (const StoredColumn& c : now.columns)
                if (c.isLongValue()) {
                    all.push_back(c.lvOwnedMap);
                    all.push_back(c.lvFreeMap);
                }
            std::set<uint32_t> doomed;
            for (const StoredRealIndex& r : now.realIndexes) {
                all.push_back(r.usageMap);
                if (r.firstPage > 2 && r.firstPage < pages.pageCount()) {
                    const std::vector<uint8_t>& root = pages.read(r.firstPage);
                    if ((root[0] == 0x03 || root[0] == 0x04) && ownerOf(root) == page)
                        doomed.insert(r.firstPage);
                }
            }
            std::set<uint32_t> seen;
            for (MapPointer m : all)
                if (m.raw != 0 && seen.insert(m.raw).second)
                    for (uint32_t p : space.pagesOf(m))
                        if (p > 2 && p < pages.pageCount()) doomed.insert(p);
            for (uint32_t p : doomed)
                space.release(p);
            for (uint32_t raw : seen)
                maps.remove(MapPointer{raw});
            DefinitionStore::release(space, now);
            m_impl.retireTableDef(page);
        });
        m_impl.loadCatalog();
    });
}

void SchemaEditor::addColumn(std::string_view table, const NewColumn& column) {
    const StoredTableDef& def = userTable(table);
    bool keepRows = false;
    {
        StoredTableDef probe = def;  // every check, before anything changes
        StoredColumn c = ColumnLayout::add(probe, column, sortOrder(), jet3CodePage());
        checkStorable(column.name, "field");
        keepRows = keepsRows(def, column, c);
        if (c.isAutoNumber() && def.rowCount > 0)
            throw Error(hr::kNotSupported,
                        "Table " + inQuotes(def.name) + " has records, so field " +
                            inQuotes(column.name) +
                            " cannot be added as an AutoNumber; add it as a Long Integer "
                            "instead.");
        // The records there would have no value in it and so break the rule at once. (Yes/No
        // fields are never empty: they start as No.)
        if (column.required && c.type != ColumnType::Bool && def.rowCount > 0)
            throw Error(hr::kInvalidArg,
                        "Table " + inQuotes(def.name) + " has records, so field " +
                            inQuotes(column.name) +
                            " cannot be added as required (NOT NULL): those records would have "
                            "no value in it. Add it without NOT NULL instead.");
    }
    run([&] {
        m_writer.changePages([&](PageSet& pages) {
            StoredTableDef now = fresh(def);
            ColumnLayout::add(now, column, sortOrder(), jet3CodePage());
            PageSpace space(pages);
            StoredColumn& c = now.columns.back();
            if (c.isLongValue()) {
                std::vector<MapPointer> m =
                    UsageMapRows(pages, space).create(2, now.ownedMap.page());
                c.lvOwnedMap = m[0];
                c.lvFreeMap = m[1];
            }
            DefinitionStore::write(pages, space, now, &m_impl.text());
        });
        if (!keepRows) rewriteRows(def.name);
        // Properties a field of the same name left behind must not apply to the new one.
        CatalogRows(m_db, m_writer)
            .changedTable(
                def.tdefPage,
                [&](PropertyBlob& blob) {
                    blob.removeColumn(column.name);
                    if (column.required) blob.setBoolean(column.name, kRequired, true);
                },
                column.required);
    });
}

void SchemaEditor::dropColumn(std::string_view table, std::string_view column) {
    const StoredTableDef& def = userTable(table);
    const StoredColumn* c = def.findColumn(column);
    if (!c)
        throw Error(hr::kNotFound, "Field " + inQuotes(column) + " does not exist in table " +
                                       inQuotes(def.name) + ".");
    for (const IndexDef& x : def.indexes) {
        const StoredRealIndex& r = def.realIndexes[x.realIndex];
        for (const IndexColumn& ic : r.columns)
            if (ic.columnId == c->id)
                throw Error(hr::kInvalidArg, "Field " + inQuotes(c->name) + " is part of index " +
                                                 inQuotes(x.name) + " of table " +
                                                 inQuotes(def.name) + "; delete the index first.");
    }
    const uint16_t id = c->id;
    const std::string name = c->name;
    run([&] {
        m_writer.changePages([&](PageSet& pages) {
            StoredTableDef now = fresh(def);
            auto it = std::find_if(now.columns.begin(), now.columns.end(),
                                   [&](const StoredColumn& x) { return x.id == id; });
            PageSpace space(pages);
            UsageMapRows maps(pages, space);
            if (it->isLongValue()) releaseLongValues(maps, space, now, *it);
            now.columns.erase(it);
            now.columnCount = static_cast<uint16_t>(now.columns.size());
            DefinitionStore::write(pages, space, now, &m_impl.text());
        });
        rewriteRows(def.name);
        CatalogRows(m_db, m_writer).changedTable(def.tdefPage, [&](PropertyBlob& blob) {
            blob.removeColumn(name);
        });
    });
}

void SchemaEditor::rewriteRows(const std::string& table) {
    // Access reads rows stored before a field was added or dropped by their own field count;
    // other readers (mdbtools, mdb-reader) place fixed fields by position and misread them, so
    // every row is stored again in the new layout. The fields keep their stored bytes (long
    // values stay where they are), so a row is rebuilt where it lies, page by page, in one step;
    // places and index keys stay as they were.
    const uint32_t tdef = m_impl.tableDef(table).tdefPage;
    m_writer.changePages([&](PageSet& pages) {
        const StoredTableDef def = TableDefReader::read(m_impl.pager(), m_impl.text(), tdef);
        const std::string what = "table " + inQuotes(table);
        const Format format = m_impl.format();
        const size_t countBytes = format == Format::Jet3 ? 1 : 2;
        PageSpace space(pages);
        auto rebuild = [&](const std::vector<uint8_t>& old, uint32_t page) {
            ByteView row(old.data(), old.size(), page);
            row.need(0, countBytes);
            const uint16_t count = format == Format::Jet3 ? row.u8(0) : row.u16(0);
            const size_t maskBytes = (size_t(count) + 7) / 8;
            row.need(0, countBytes + maskBytes);
            const uint8_t* mask = old.data() + old.size() - maskBytes;
            // Yes/No values live in the null mask, by field id; a new one starts as No.
            std::vector<bool> flags(def.columns.size(), false);
            for (size_t i = 0; i < def.columns.size(); ++i) {
                const uint16_t id = def.columns[i].id;
                if (def.columns[i].type == ColumnType::Bool && id < count)
                    flags[i] = (mask[id >> 3] >> (id & 7)) & 1;
            }
            return RowCodec::build(def, RowCodec::split(def, row, format), flags, format);
        };
        // Rows moved off their page: where their bytes are, and the place they are known by.
        std::map<uint32_t, std::vector<std::pair<uint8_t, RowId>>> moved;
        // A row that grows past its page's room moves, as the row writer moves it: its bytes go
        // to a page with room, marked as moved data, and the slot it is known by points there.
        auto setSlot = [&](uint32_t page, size_t slot, SlotPage::Slot value) {
            std::vector<uint8_t>& bytes = pages.modify(page);
            SlotPage sp(bytes, page);
            sp.slots()[slot] = std::move(value);
            sp.store(bytes);
            space.settle(page, def.ownedMap, def.freeMap, what);
        };
        auto rewritePage = [&](uint32_t page, auto&& which) {
            std::vector<std::tuple<size_t, RowId, std::vector<uint8_t>>> grown;
            {
                std::vector<uint8_t>& bytes = pages.modify(page);
                SlotPage sp(bytes, page);
                bool changed = false;
                for (size_t i = 0; i < sp.slots().size(); ++i) {
                    std::optional<RowId> id = which(i, sp.slots()[i]);
                    if (!id) continue;
                    SlotPage::Slot& slot = sp.slots()[i];
                    std::vector<uint8_t> now = rebuild(slot.bytes, page);
                    if (now.size() > RowCodec::maxRowSize(format))
                        throw Error(hr::kInvalidArg, "A record of " + what +
                                                         " would be too long in the new design.");
                    if (now.size() > slot.bytes.size() &&
                        sp.freeSpace() < long(now.size() - slot.bytes.size())) {
                        grown.emplace_back(i, *id, std::move(now));
                        continue;
                    }
                    slot.bytes = std::move(now);
                    changed = true;
                }
                if (changed) {
                    sp.store(bytes);
                    space.settle(page, def.ownedMap, def.freeMap, what);
                }
            }
            for (auto& [slot, id, row] : grown) {
                const uint32_t to = space.placeRow(tdef, def.ownedMap, def.freeMap, row,
                                                   SlotPage::kDeleted, what, page);
                const std::vector<uint8_t> pointer{uint8_t(to), uint8_t(to >> 8), uint8_t(to >> 16),
                                                   uint8_t(to >> 24)};
                if (id.page != page) setSlot(page, slot, {SlotPage::kTombstone, {}});
                setSlot(id.page, id.row, {SlotPage::kOverflow, pointer});
            }
        };
        for (uint32_t page : space.pagesOf(def.ownedMap, pages.pageCount())) {
            const std::vector<uint8_t>& bytes = pages.read(page);
            if (bytes[0] != 0x01 || SlotPage::statedOwner(bytes) != tdef) continue;
            rewritePage(page, [&](size_t i, const SlotPage::Slot& s) -> std::optional<RowId> {
                if (s.flags & SlotPage::kDeleted) return std::nullopt;
                const RowId id{page, uint8_t(i)};
                if (!(s.flags & SlotPage::kOverflow)) return id;
                if (s.bytes.size() < 4)
                    throw Error(hr::kCorrupt, "Record " + std::to_string(page) + ":" +
                                                  std::to_string(i) + " of " + what +
                                                  " is a moved record without a pointer.");
                const uint32_t to = s.bytes[0] | (s.bytes[1] << 8) | (s.bytes[2] << 16) |
                                    (uint32_t(s.bytes[3]) << 24);
                moved[to >> 8].emplace_back(uint8_t(to & 0xFF), id);
                return std::nullopt;
            });
        }
        for (const auto& entry : moved) {
            // Named, not a structured binding: the lambda below captures them.
            const uint32_t page = entry.first;
            const auto& rows = entry.second;
            if (page < 3 || page >= pages.pageCount() || pages.read(page)[0] != 0x01 ||
                SlotPage::statedOwner(pages.read(page)) != tdef)
                throw Error(hr::kCorrupt, "A record of " + what +
                                              " was moved to a page that holds none of its data.");
            rewritePage(page, [&](size_t i, const SlotPage::Slot& s) -> std::optional<RowId> {
                for (const auto& [slot, id] : rows)
                    if (slot == i && !(s.flags & SlotPage::kOverflow)) return id;
                return std::nullopt;
            });
        }
    });
}

void SchemaEditor::createIndex(std::string_view table, const NewIndex& index) {
    const StoredTableDef& def = userTable(table);
    const std::string name = def.name;
    const uint32_t tdef = def.tdefPage;
    run([&] {
        buildIndex(name, index);
        CatalogRows(m_db, m_writer).changedTable(tdef);
    });
}

void SchemaEditor::buildIndex(const std::string& table, const NewIndex& index) {
    const StoredTableDef& def = userTable(table);
    SchemaNames::check(index.name, "index");
    checkStorable(index.name, "index");
    if (def.findIndex(index.name))
        throw Error(hr::kInvalidArg, "Index " + inQuotes(index.name) + " already exists on table " +
                                         inQuotes(def.name) + ".");
    if (index.primary && def.primaryKey())
        throw Error(hr::kInvalidArg, "Table " + inQuotes(def.name) +
                                         " already has a primary key (" +
                                         inQuotes(def.primaryKey()->name) + ").");
    if (index.columns.empty() || index.columns.size() > kMaxIndexColumns)
        throw Error(hr::kInvalidArg, "Index " + inQuotes(index.name) +
                                         " needs 1 to 10 fields, not " +
                                         std::to_string(index.columns.size()) + ".");
    std::vector<IndexColumn> columns;
    for (const NewIndex::Column& nc : index.columns) {
        const StoredColumn* c = def.findColumn(nc.name);
        if (!c)
            throw Error(hr::kNotFound, "Field " + inQuotes(nc.name) + " does not exist in table " +
                                           inQuotes(def.name) + ".");
        if (c->type == ColumnType::Ole || c->type == ColumnType::Memo)
            throw Error(hr::kInvalidArg, "Field " + inQuotes(c->name) + " of type " +
                                             columnTypeName(c->type) + " cannot be indexed.");
        for (const IndexColumn& x : columns)
            if (x.columnId == c->id)
                throw Error(hr::kInvalidArg, "Index " + inQuotes(index.name) + " names field " +
                                                 inQuotes(c->name) + " twice.");
        columns.push_back(IndexColumn{c->id, nc.ascending});
    }
    uint8_t flags = m_impl.format() == Format::Jet3 ? 0 : kAccessIndexFlag;
    if (index.primary || index.unique) flags |= indexflag::kUnique;
    if (index.primary || index.required) flags |= indexflag::kRequired;
    if (index.ignoreNulls) flags |= indexflag::kIgnoreNulls;
    // An index over the same fields with the same rules already exists: the new name shares it.
    std::optional<uint32_t> shared;
    for (const StoredRealIndex& r : def.realIndexes)
        if (r.columns == columns && r.flags == flags) shared = r.number;

    const uint32_t tdef = def.tdefPage;
    uint32_t realNumber = 0;
    m_writer.changePages([&](PageSet& pages) {
        StoredTableDef now = fresh(def);
        PageSpace space(pages);
        if (shared) {
            realNumber = *shared;
        } else {
            StoredRealIndex r;
            r.number = realNumber = static_cast<uint32_t>(now.realIndexes.size());
            r.columns = columns;
            r.flags = flags;
            r.usageMap = UsageMapRows(pages, space).create(1, now.ownedMap.page())[0];
            r.firstPage = space.allocate(std::vector<uint8_t>(pages.pageSize(), 0));
            pages.modify(r.firstPage) =
                index::IndexPage::emptyLeaf(r.firstPage, tdef, m_impl.format());
            space.setInMap(r.usageMap, r.firstPage, true, "index " + inQuotes(index.name));
            r.statsWord0 = now.rowCount;
            now.realIndexes.push_back(r);
        }
        IndexDef x;
        x.name = index.name;
        x.number = 0;
        for (const IndexDef& y : now.indexes)
            x.number = std::max(x.number, y.number + 1);
        x.realIndex = realNumber;
        x.kind = index.primary ? IndexKind::Primary : IndexKind::Normal;
        x.cascadeUpdates = x.cascadeDeletes = kNoRelationship;
        now.indexes.push_back(x);
        DefinitionStore::write(pages, space, now, &m_impl.text());
    });
    if (shared) return;
    // The entries of the rows already there, sorted and written bottom-up into the tree in one
    // pass; a duplicate or a forbidden null refuses the whole change.
    m_writer.changePages([&](PageSet& pages) {
        const StoredTableDef& now = m_impl.tableDefAtPage(tdef);
        std::vector<std::pair<RowId, std::vector<Value>>> rows;
        m_db.forEachRow(table, [&](RowId id, const std::vector<Value>& row) {
            rows.emplace_back(id, row);
            return true;
        });
        if (rows.empty()) return;
        index::IndexWriter writer(now, realNumber, m_impl.format(), sortOrder());
        index::PageSetIndexSink sink(pages, now, realNumber);
        std::vector<index::IndexEntry> entries;
        entries.reserve(rows.size());
        for (const auto& [id, row] : rows)
            if (std::optional<index::IndexEntry> e = writer.entryFor(row, id))
                entries.push_back(std::move(*e));
        index::IndexBuilder::sortEntries(entries);
        int keys = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (i == 0 || entries[i].key != entries[i - 1].key) {
                ++keys;
                continue;
            }
            // Equal keys sit side by side now; the later row is the one refused, as when the
            // rows were added one by one in the order they are stored.
            const RowId id = entries[i].row;
            auto it = std::find_if(rows.begin(), rows.end(),
                                   [&](const auto& r) { return r.first == id; });
            writer.checkNewEntry(it->second, id, true, false);
        }
        const uint32_t root = sink.storedRoot();
        const uint32_t built =
            index::IndexBuilder(sink, m_impl.format(), tdef).build(std::move(entries), {root});
        if (built != root) sink.rootMoved(built);
        sink.addToUniqueCount(keys);
    });
}

void SchemaEditor::dropIndex(std::string_view table, std::string_view index) {
    const StoredTableDef& def = userTable(table);
    const IndexDef* x = def.findIndex(index);
    if (!x)
        throw Error(hr::kNotFound, "Index " + inQuotes(index) + " does not exist on table " +
                                       inQuotes(def.name) + ".");
    for (const IndexDef& y : def.indexes)
        if (y.realIndex == x->realIndex &&
            (y.kind == IndexKind::Foreign || y.fkRelatedTablePage != 0))
            throw Error(hr::kInvalidArg, "Index " + inQuotes(x->name) + " of table " +
                                             inQuotes(def.name) +
                                             " is used by a relationship; delete the "
                                             "relationship first.");
    const std::string name = x->name;
    run([&] {
        m_writer.changePages([&](PageSet& pages) {
            StoredTableDef now = fresh(def);
            auto it = std::find_if(now.indexes.begin(), now.indexes.end(),
                                   [&](const IndexDef& y) { return y.name == name; });
            const uint32_t real = it->realIndex;
            now.indexes.erase(it);
            bool used = false;
            for (const IndexDef& y : now.indexes)
                if (y.realIndex == real) used = true;
            if (!used) {
                PageSpace space(pages);
                UsageMapRows maps(pages, space);
                releaseIndex(maps, space, pages, now.realIndexes[real], now.tdefPage);
                now.realIndexes.erase(now.realIndexes.begin() + real);
                for (size_t i = 0; i < now.realIndexes.size(); ++i)
                    now.realIndexes[i].number = static_cast<uint32_t>(i);
                for (IndexDef& y : now.indexes)
                    if (y.realIndex > real) --y.realIndex;
            }
            PageSpace space(pages);
            DefinitionStore::write(pages, space, now, &m_impl.text());
        });
        CatalogRows(m_db, m_writer).changedTable(def.tdefPage);
    });
}

}  // namespace jet
