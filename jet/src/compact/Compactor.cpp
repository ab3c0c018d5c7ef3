// The compacted copy is a new file built in memory: page 0 of the source as it is, the system
// tables of a new database (a Jet 3 copy gets only its catalog, defined as the source defines
// it, on 2 KB pages), then every other table's definition written afresh (same columns, ids
// and indexes, new pages) and every row inserted again through the row writer, which packs the
// rows page by page, stores long values anew and builds the index trees. The catalog rows keep
// everything but the ids of tables, which are their new definition pages.
#include "jet/Compact.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "catalog/DatabaseImpl.h"
#include "create/NewDatabaseWriter.h"
#include "create/SystemTables.h"
#include "index/IndexPage.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "page/DatabaseHeader.h"
#include "page/MemoryFile.h"
#include "page/PageSet.h"
#include "page/PageSpace.h"
#include "page/Pager.h"
#include "page/SlotPage.h"
#include "row/FieldEncoder.h"
#include "page/UsageMapRows.h"
#include "table/RowWriter.h"
#include "tdef/DefinitionStore.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

namespace fs = std::filesystem;

const char* const kCoreTables[] = {"MSysObjects", "MSysACEs", "MSysQueries",
                                   "MSysRelationships"};

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

uint32_t pageSizeOf(Format format) {
    return format == Format::Jet3 ? 2048 : 4096;
}

// The system tables the new file is made with: a Jet 4 file has its four from SystemTables; a
// Jet 3 file only its catalog, whose definition comes from the source.
bool isCore(Format format, std::string_view name) {
    if (format == Format::Jet3) return namesEqual(name, "MSysObjects");
    for (const char* c : kCoreTables)
        if (namesEqual(c, name)) return true;
    return false;
}

// Page 0 as stored; de-obfuscated when `plain`.
std::vector<uint8_t> headerPage(const fs::path& source, Format format, bool plain) {
    std::vector<uint8_t> page(pageSizeOf(format));
    std::ifstream in(source, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(page.data()), std::streamsize(page.size())))
        throw Error(hr::kIoError, "The database " + quoted(source) + " cannot be read.");
    if (plain) DatabaseHeader::obfuscate(page.data(), page.size(), format);
    return page;
}

// For each column of `to`, the column of `from` with its name (-1: none).
std::vector<int> columnMap(const StoredTableDef& from, const StoredTableDef& to,
                           const fs::path& source) {
    std::vector<int> map(to.columns.size(), -1);
    for (size_t s = 0; s < from.columns.size(); ++s) {
        bool found = false;
        for (size_t d = 0; d < to.columns.size(); ++d)
            if (namesEqual(from.columns[s].name, to.columns[d].name) &&
                from.columns[s].type == to.columns[d].type) {
                map[d] = int(s);
                found = true;
            }
        if (!found)
            throw Error(hr::kNotSupported,
                        "The system table '" + from.name + "' of " + quoted(source) +
                            " has a field this engine does not know ('" + from.columns[s].name +
                            "'), so the database cannot be compacted.");
    }
    return map;
}

std::vector<Value> remapRow(const std::vector<Value>& row, const std::vector<int>& map) {
    std::vector<Value> out(map.size());
    for (size_t d = 0; d < map.size(); ++d)
        if (map[d] >= 0) out[d] = row[size_t(map[d])];
    return out;
}

// Writes bytes to a new file beside `path`, then moves it into place: a crash or a full disk
// never leaves half a file at `path`.
void writeInPlace(const fs::path& path, const std::vector<uint8_t>& bytes, bool overwrite) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string tmpl = (dir / (path.filename().string() + ".compact-XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        throw Error(errno == EACCES ? hr::kAccessDenied : hr::kIoError,
                    "The compacted copy " + quoted(path) +
                        " cannot be written: " + std::strerror(errno) + ".");
    const fs::path tmp = tmpl;
    std::error_code ec;
    auto fail = [&](const std::string& what) -> Error {
        const int err = errno;
        ::close(fd);
        fs::remove(tmp, ec);
        return Error(hr::kIoError, "The compacted copy " + quoted(path) + " cannot be written (" +
                                       what + "): " + std::strerror(err) + ".");
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw fail("writing");
        done += size_t(n);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0 || ::fsync(fd) != 0) throw fail("saving");
    ::close(fd);
    int rc = overwrite ? ::rename(tmp.c_str(), path.c_str()) : ::link(tmp.c_str(), path.c_str());
    const int err = errno;
    if (!overwrite || rc != 0) fs::remove(tmp, ec);
    if (rc != 0) {
        if (err == EEXIST)
            throw Error(hr::kInvalidArg, "The file " + quoted(path) +
                                             " already exists; nothing was written.");
        throw Error(err == EACCES ? hr::kAccessDenied : hr::kIoError,
                    "The compacted copy " + quoted(path) +
                        " cannot be written: " + std::strerror(err) + ".");
    }
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// What a copied table needs after its rows are in: its relationship fields and counters as
// the source has them.
struct Pending {
    uint32_t page = 0;
    const StoredTableDef* source = nullptr;
};

// `count` empty maps in the inline form Access writes (a bitmap of 512 pages from page 0, 1024
// on 2 KB pages, which becomes a list of bitmap pages only in a file that outgrows it), on
// `holder` while it has room, then on further pages; `holder` becomes the last page that
// holds them.
std::vector<MapPointer> inlineMaps(PageSet& pages, PageSpace& space, size_t count,
                                   uint32_t& holder) {
    // A map row is as long as the reference form Access gives it: a type byte and 17 page
    // numbers, 33 on 2 KB pages.
    const size_t rowSize = pages.pageSize() == 2048 ? 1 + 4 * 33 : 1 + 4 * 17;
    const size_t perPage =
        (pages.pageSize() - SlotPage::headerSize(pages.pageSize())) / (rowSize + 2);
    std::vector<MapPointer> maps;
    while (maps.size() < count) {
        const std::vector<MapPointer> some =
            UsageMapRows(pages, space).create(std::min(count - maps.size(), perPage), holder);
        holder = some.front().page();
        std::vector<uint8_t>& bytes = pages.modify(holder);
        SlotPage sp(bytes, holder);
        for (MapPointer m : some) {
            std::vector<uint8_t>& row = sp.slots().at(m.raw & 0xFF).bytes;
            std::fill(row.begin(), row.end(), 0);  // type 0, start page 0, no page
        }
        sp.store(bytes);
        maps.insert(maps.end(), some.begin(), some.end());
    }
    return maps;
}

// Whether a field of a system table holds catalog ids (MSysObjects.Id), which change with the
// tables' definition pages: the catalog's own Id and ParentId, every ObjectId (permissions,
// queries, the navigation pane's groups) and the navigation pane's list of objects. The ids in
// MSysAccessStorage are that table's own.
bool holdsCatalogId(std::string_view table, std::string_view column) {
    if (namesEqual(table, "MSysObjects"))
        return namesEqual(column, "Id") || namesEqual(column, "ParentId");
    if (namesEqual(table, "MSysNavPaneObjectIDs") && namesEqual(column, "Id")) return true;
    return table.size() > 4 && namesEqual(table.substr(0, 4), "MSys") &&
           namesEqual(column, "ObjectId");
}

bool encodable(const StoredTableDef& def) {
    for (const StoredColumn& c : def.columns)
        if (!FieldEncoder::supported(c.type)) return false;
    return true;
}

class Compactor {
public:
    Compactor(Database& src, const fs::path& path, const CompactOptions& options)
        : m_src(src), m_srcImpl(implOf(src)), m_path(path), m_options(options) {}

    std::vector<uint8_t> build(CompactResult& result);

private:
    int32_t mapId(int32_t id) const {
        auto it = m_ids.find(id);
        return it == m_ids.end() ? id : it->second;
    }
    void remapIds(std::vector<Value>& row, const StoredTableDef& def) const {
        for (size_t c = 0; c < def.columns.size(); ++c)
            if (holdsCatalogId(def.name, def.columns[c].name))
                if (const int32_t* id = row[c].getIf<int32_t>()) row[c] = Value(mapId(*id));
    }

    // Rows of a table with fields this engine cannot encode (Access's own tables hold some):
    // copied in their stored form, which the same definition reads the same way.
    void copyStoredRows(const StoredTableDef& from, Database::Impl& dstImpl, RowWriter& writer,
                        uint32_t page, CompactResult& result);

    // Values of catalog-id fields that are page numbers but name no object of the source.
    std::set<uint32_t> staleIds();

    Database& m_src;
    Database::Impl& m_srcImpl;
    fs::path m_path;
    CompactOptions m_options;
    std::map<uint32_t, uint32_t> m_pages;  // source TDEF page -> new one
    std::map<int32_t, int32_t> m_ids;      // source catalog id -> new one
};

std::set<uint32_t> Compactor::staleIds() {
    std::set<int32_t> known;
    for (const CatalogEntry& e : m_srcImpl.catalog())
        known.insert(e.id);
    std::set<uint32_t> stale;
    for (const std::string& t : m_src.tableNames(true)) {
        const TableDef& def = m_src.tableDef(t);
        std::vector<size_t> columns;
        for (size_t c = 0; c < def.columns.size(); ++c)
            if (holdsCatalogId(def.name, def.columns[c].name)) columns.push_back(c);
        if (columns.empty()) continue;
        m_src.forEachRow(t, [&](RowId, const std::vector<Value>& row) {
            for (size_t c : columns)
                if (const int32_t* id = row[c].getIf<int32_t>())
                    if (*id > 0 && *id <= 0x00FFFFFF && !known.count(*id))
                        stale.insert(uint32_t(*id));
            return true;
        });
    }
    return stale;
}

void Compactor::copyStoredRows(const StoredTableDef& from, Database::Impl& dstImpl,
                               RowWriter& writer, uint32_t page, CompactResult& result) {
    for (const StoredColumn& c : from.columns)
        if (c.isLongValue())
            throw Error(hr::kNotSupported,
                        "Table '" + from.name + "' has fields whose values this engine cannot "
                                                "write next to long values.");
    std::vector<std::pair<std::vector<uint8_t>, std::vector<Value>>> rows;
    m_src.forEachRow(from.name, [&](RowId id, const std::vector<Value>& values) {
        const std::span<const uint8_t> bytes = m_srcImpl.pager().peek(id.page);
        SlotPage data(std::vector<uint8_t>(bytes.begin(), bytes.end()), id.page);
        if (id.row >= data.slots().size() || data.slots()[id.row].flags != 0)
            throw Error(hr::kNotSupported, "A row of table '" + from.name +
                                               "' lies on another page than its slot; its "
                                               "stored form cannot be copied.");
        rows.emplace_back(data.slots()[id.row].bytes, values);
        return true;
    });
    writer.changePages([&](PageSet& pages) {
        for (const auto& r : rows)
            NewDatabaseWriter::placeBuiltRow(pages, dstImpl, page, r.first, r.second);
    });
    result.rows += rows.size();
}

std::vector<uint8_t> Compactor::build(CompactResult& result) {
    const Format format = m_src.format();
    MemoryFile* memory = nullptr;
    std::map<std::string, uint32_t> corePages;
    std::vector<uint8_t> image;
    if (format == Format::Jet3) {
        image = NewDatabaseWriter::emptyJet3Image(headerPage(m_path, format, false),
                                                  m_srcImpl.tableDef("MSysObjects"),
                                                  m_srcImpl.text());
        corePages["MSysObjects"] = 2;
    } else {
        image = NewDatabaseWriter::emptyImage(headerPage(m_path, format, true));
        for (const StoredTableDef& d : SystemTables::definitions())
            corePages[d.name] = d.tdefPage;
    }
    auto dst = NewDatabaseWriter::openImage(std::move(image), m_options.password, &memory);
    Database::Impl& dstImpl = implOf(*dst);
    RowWriter& writer = *dstImpl.writer();
    const TextCodec* text = format == Format::Jet3 ? &dstImpl.text() : nullptr;

    // The system tables the new file has are those of the new file; the others, and every
    // user table, get their own definition again.
    std::vector<const CatalogEntry*> tables;
    for (const CatalogEntry& e : m_srcImpl.catalog()) {
        if (!e.isTable()) continue;
        if (isCore(format, e.name)) {
            for (const auto& [name, page] : corePages)
                if (namesEqual(name, e.name)) m_pages[e.tdefPage()] = page;
            continue;
        }
        tables.push_back(&e);
    }

    std::vector<Pending> pending;
    writer.transact([&] {
        writer.changePages([&](PageSet& pages) {
            PageSpace space(pages);
            std::vector<uint8_t> placeholder(pages.pageSize(), 0);
            placeholder[0] = 0x02;
            placeholder[1] = 0x01;
            // A catalog id that names no object any more (the navigation pane keeps some of
            // deleted tables) must not come to name a new table: the pages of such numbers hold
            // index roots instead of definitions.
            const std::set<uint32_t> stale = staleIds();
            std::vector<uint32_t> spare;
            for (const CatalogEntry* e : tables) {
                uint32_t p = space.allocate(placeholder);
                while (stale.count(p)) {
                    spare.push_back(p);
                    p = space.allocate(placeholder);
                }
                m_pages[e->tdefPage()] = p;
            }
            uint32_t holder = 0;
            for (const CatalogEntry* e : tables) {
                const StoredTableDef& from = m_srcImpl.tableDefAtPage(e->tdefPage(), e->name);
                StoredTableDef def = from;
                def.name = e->name;
                def.tdefPage = m_pages.at(e->tdefPage());
                def.tdefPages.clear();
                def.rowCount = 0;
                size_t longValues = 0;
                for (const StoredColumn& c : def.columns)
                    if (c.isLongValue()) ++longValues;
                std::vector<MapPointer> m =
                    inlineMaps(pages, space, 2 + 2 * longValues + def.realIndexes.size(), holder);
                size_t next = 0;
                def.ownedMap = m[next++];
                def.freeMap = m[next++];
                for (StoredColumn& c : def.columns)
                    if (c.isLongValue()) {
                        c.lvOwnedMap = m[next++];
                        c.lvFreeMap = m[next++];
                    }
                for (StoredRealIndex& r : def.realIndexes) {
                    r.usageMap = m[next++];
                    if (spare.empty()) {
                        r.firstPage = space.allocate(std::vector<uint8_t>(pages.pageSize(), 0));
                    } else {
                        r.firstPage = spare.back();
                        spare.pop_back();
                    }
                    pages.modify(r.firstPage) =
                        index::IndexPage::emptyLeaf(r.firstPage, def.tdefPage, format);
                    space.setInMap(r.usageMap, r.firstPage, true, "index of '" + def.name + "'");
                    r.uniqueCount = 0;
                    r.statsWord0 = 0;
                }
                // No relationship is checked while the rows come in (they were checked when
                // they went into the source); the relationship fields come back at the end.
                for (IndexDef& x : def.indexes)
                    x.fkTableType = 0;
                DefinitionStore::write(pages, space, def, text);
                pending.push_back({def.tdefPage, &from});
            }
            for (uint32_t p : spare)
                space.release(p);
        });
        for (const CatalogEntry& e : m_srcImpl.catalog())
            if (e.isTable() && m_pages.count(e.tdefPage()))
                m_ids[e.id] = int32_t((uint32_t(e.id) & 0xFF000000u) | m_pages.at(e.tdefPage()));

        // The catalog rows, in their order, each placed with its long values and index
        // entries: the table cannot be found by name before they are there.
        const StoredTableDef& srcObjects = m_srcImpl.tableDef("MSysObjects");
        const StoredTableDef& dstObjects = dstImpl.tableDefAtPage(corePages.at("MSysObjects"));
        const std::vector<int> objectColumns = columnMap(srcObjects, dstObjects, m_path);
        TableData objects = m_src.readTable("MSysObjects");
        writer.changePages([&](PageSet& pages) {
            for (const std::vector<Value>& source : objects.rows) {
                std::vector<Value> row = remapRow(source, objectColumns);
                remapIds(row, dstObjects);
                NewDatabaseWriter::placeRow(pages, dstImpl, dstObjects.tdefPage, row);
            }
        });
        dstImpl.loadCatalog();
        result.rows += objects.rows.size();
        dstImpl.loadCatalog();

        // Permissions, queries and relationships, with the new ids.
        for (const char* name : {"MSysACEs", "MSysQueries", "MSysRelationships"}) {
            if (!corePages.count(name) || !m_srcImpl.findTable(name)) continue;
            const StoredTableDef& from = m_srcImpl.tableDef(name);
            const StoredTableDef& to = dstImpl.tableDefAtPage(corePages.at(name));
            const std::vector<int> map = columnMap(from, to, m_path);
            m_src.forEachRow(name, [&](RowId, const std::vector<Value>& values) {
                std::vector<Value> row = remapRow(values, map);
                remapIds(row, to);
                writer.insert(name, row, true, true);
                ++result.rows;
                return true;
            });
        }
        result.tables = uint32_t(corePages.size());

        // Every other table's rows, in the order they are stored.
        for (const CatalogEntry* e : tables) {
            const std::string name = e->name;
            const StoredTableDef& from = m_srcImpl.tableDefAtPage(e->tdefPage(), e->name);
            if (encodable(from)) {
                m_src.forEachRow(name, [&](RowId, const std::vector<Value>& values) {
                    std::vector<Value> row = values;
                    remapIds(row, from);
                    writer.insert(name, row, true, true);
                    ++result.rows;
                    return true;
                });
            } else {
                copyStoredRows(from, dstImpl, writer, m_pages.at(e->tdefPage()), result);
            }
            ++result.tables;
        }

        // Relationships and counters as the source has them.
        writer.changePages([&](PageSet& pages) {
            PageSpace space(pages);
            for (const Pending& p : pending) {
                StoredTableDef def = dstImpl.tableDefAtPage(p.page);
                for (size_t i = 0; i < def.indexes.size() && i < p.source->indexes.size(); ++i) {
                    const IndexDef& x = p.source->indexes[i];
                    def.indexes[i].fkTableType = x.fkTableType;
                    if (x.fkRelatedTablePage != 0) {
                        auto to = m_pages.find(x.fkRelatedTablePage);
                        if (to == m_pages.end())
                            throw Error(hr::kCorrupt,
                                        "A relationship of table '" + def.name + "' in " +
                                            quoted(m_path) +
                                            " names a table that does not exist.");
                        def.indexes[i].fkRelatedTablePage = to->second;
                    }
                }
                def.autoNumber = std::max(def.autoNumber, p.source->autoNumber);
                def.complexAutoNumber = p.source->complexAutoNumber;
                DefinitionStore::write(pages, space, def, text);
            }
        });
    });
    std::vector<uint8_t> bytes = memory->bytes();
    dst.reset();
    return bytes;
}

}  // namespace

CompactResult compactDatabase(const fs::path& source, const fs::path& destination,
                              const CompactOptions& options) {
    std::error_code ec;
    if (fs::exists(destination, ec) && fs::equivalent(source, destination, ec))
        throw Error(hr::kInvalidArg, "The source and the destination are the same file (" +
                                         quoted(source) +
                                         "); a compacted copy needs a file of its own.");
    if (fs::weakly_canonical(source, ec) == fs::weakly_canonical(destination, ec))
        throw Error(hr::kInvalidArg, "The source and the destination are the same file (" +
                                         quoted(source) +
                                         "); a compacted copy needs a file of its own.");
    if (!options.overwrite && fs::exists(fs::symlink_status(destination, ec)))
        throw Error(hr::kInvalidArg, "The file " + quoted(destination) +
                                         " already exists; nothing was written.");

    OpenOptions open;
    open.readOnly = true;
    open.password = options.password;
    auto src = Database::open(source, open);
    if (src->isEncoded())
        throw Error(hr::kNotSupported,
                    quoted(source) +
                        " has encoded pages; this engine does not write encoded pages, so it "
                        "cannot compact it. Nothing was written.");
    if (src->pageSize() != pageSizeOf(src->format()))
        throw Error(hr::kNotSupported, quoted(source) + " does not have " +
                                           std::to_string(pageSizeOf(src->format())) +
                                           "-byte pages.");

    CompactResult result;
    result.bytesBefore = uint64_t(src->pageCount()) * src->pageSize();
    std::vector<uint8_t> bytes;
    try {
        bytes = Compactor(*src, source, options).build(result);
    } catch (const Error& e) {
        throw Error(e.code(), "The database " + quoted(source) + " cannot be compacted: " +
                                  e.what() + " Nothing was written.");
    }
    // The copy is read back and checked before anyone sees it.
    {
        OpenOptions check;
        check.readOnly = true;
        check.password = options.password;
        auto copy = Database::openFile(std::make_unique<MemoryFile>(bytes), destination, check);
        const std::vector<std::string> problems = checkIntegrity(*copy);
        if (!problems.empty())
            throw Error(hr::kFail, "The compacted copy of " + quoted(source) +
                                       " would not be sound (" + problems.front() +
                                       "); nothing was written.");
    }
    writeInPlace(destination, bytes, options.overwrite);
    result.bytesAfter = bytes.size();
    return result;
}

}  // namespace jet
