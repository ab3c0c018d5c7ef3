#include "create/NewDatabaseWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <random>

#include "catalog/DatabaseImpl.h"
#include "create/SystemTables.h"
#include "index/IndexPage.h"
#include "index/IndexPageLayout.h"
#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Error.h"
#include "lval/LongValueWriter.h"
#include "page/DatabaseHeader.h"
#include "page/MemoryFile.h"
#include "page/PageSpace.h"
#include "page/PasswordField.h"
#include "page/SidKey.h"
#include "page/SlotPage.h"
#include "row/FieldEncoder.h"
#include "row/RowCodec.h"
#include "table/RowWriter.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"
#include "tdef/TableDefWriter.h"
#include "tx/MemoryJournalStore.h"

namespace jet {

namespace {

constexpr uint32_t kPageSize = 4096;
constexpr size_t kMapRowSize = 69;  // inline usage map: type, start page, 64 bytes of bits

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Page 0, de-obfuscated. The values are those of a new Jet 4 file: the system tables' TDEF
// pages, code page 1252, no page encoding, General sort order, and the two constants (0x6A,
// 0x98) whose meaning nobody has published, as the provider writes them.
std::vector<uint8_t> headerPage(double created, std::string_view password) {
    std::vector<uint8_t> p(kPageSize, 0);
    p[1] = 0x01;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[0x14] = 0x01;  // Jet 4
    put32(p, 0x18, 0x00000100);
    put32(p, 0x1C, 0x00000101);
    for (uint32_t k = 0; k < 4; ++k)
        put32(p, 0x20 + 4 * k, 2 + k);
    put16(p, 0x3C, 1252);
    put32(p, 0x3E, 0);
    put32(p, 0x6A, 0x0000261C);
    put32(p, 0x6E, 0x00000409);
    std::memcpy(p.data() + PasswordField::kDateOffset, &created, sizeof created);
    PasswordField::store(p, password);
    put32(p, 0x98, 0x00000654);
    std::memcpy(p.data() + 0x9C, "4.0", 4);
    // Commit bytes: slot 0 (the exclusive user) as the provider leaves it, the rest idle.
    for (size_t at = 0xE00; at < 0x1000; at += 2) {
        p[at] = 0x00;
        p[at + 1] = 0x01;
    }
    p[0xE00] = 0x01;
    return p;
}

// An inline usage map from page 0: `size` bytes (type, start page, bits).
std::vector<uint8_t> mapRow(const std::vector<uint32_t>& pages, uint32_t firstFree,
                            size_t size = kMapRowSize) {
    std::vector<uint8_t> row(size, 0);
    const uint32_t bits = uint32_t(size - 5) * 8;
    for (uint32_t p : pages)
        row[5 + p / 8] |= static_cast<uint8_t>(1u << (p % 8));
    for (uint32_t p = firstFree; firstFree != 0 && p < bits; ++p)
        row[5 + p / 8] |= static_cast<uint8_t>(1u << (p % 8));
    return row;
}

std::vector<uint8_t> mapPage(uint32_t owner, const std::vector<std::vector<uint8_t>>& rows,
                             uint32_t pageSize = kPageSize) {
    std::vector<uint8_t> page = SlotPage::empty(pageSize, owner);
    SlotPage sp(page, 0);
    for (const auto& r : rows)
        sp.slots().push_back(SlotPage::Slot{0, r});
    sp.store(page);
    return page;
}

std::vector<uint8_t> emptyLeaf(uint32_t owner) {
    const auto& layout = index::IndexPageLayout::of(Format::Jet4);
    std::vector<uint8_t> p(kPageSize, 0);
    p[0] = index::kIndexLeafPage;
    p[1] = 0x01;
    put16(p, index::kFreeSpaceOffset, static_cast<uint16_t>(kPageSize - layout.entries));
    put32(p, index::kOwnerOffset, owner);
    return p;
}

std::vector<std::vector<uint8_t>> skeleton(const std::vector<uint8_t>& plainHeader) {
    std::vector<std::vector<uint8_t>> pages(SystemTables::kSkeletonPages);
    pages[0] = plainHeader;
    DatabaseHeader::obfuscate(pages[0].data(), pages[0].size(), Format::Jet4);
    // Page 1: the free-page map (a set bit is a free page) and a second, empty map.
    pages[SystemTables::kGlobalMapPage] = mapPage(
        SystemTables::kGlobalMapPage, {mapRow({}, SystemTables::kSkeletonPages), mapRow({}, 0)});
    std::vector<std::vector<uint8_t>> maps(SystemTables::kMapRows, mapRow({}, 0));
    for (const StoredTableDef& def : SystemTables::definitions()) {
        pages[def.tdefPage] = TableDefWriter::pages(def, kPageSize, {def.tdefPage}).at(0);
        for (const StoredRealIndex& r : def.realIndexes) {
            maps.at(r.usageMap.row()) = mapRow({r.firstPage}, 0);
            pages[r.firstPage] = emptyLeaf(def.tdefPage);
        }
    }
    pages[SystemTables::kMapPage] = mapPage(0, maps);
    return pages;
}

std::vector<uint8_t> maskedSid(uint16_t plain, uint32_t key) {
    std::vector<uint8_t> sid = {static_cast<uint8_t>(plain >> 8), static_cast<uint8_t>(plain)};
    std::vector<uint8_t> k = SidKey::keystream(key, sid.size());
    for (size_t i = 0; i < sid.size(); ++i)
        sid[i] ^= k[i];
    return sid;
}

}  // namespace

// Stores one row with its long values and index entries, the way a row insert does, inside a
// change that is being prepared.
void NewDatabaseWriter::placeRow(PageSet& pages, Database::Impl& db, uint32_t tdefPage,
                                 const std::vector<Value>& values) {
    const StoredTableDef& def = db.tableDefAtPage(tdefPage);
    RowCodec::Fields fields(def.columns.size());
    std::vector<bool> flags(def.columns.size(), false);
    PageSpace space(pages);
    LongValueWriter lv(space, pages, def);
    const TextCodec* text = pages.format() == Format::Jet3 ? &db.text() : nullptr;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.type == ColumnType::Bool) {
            const bool* b = values[i].getIf<bool>();
            flags[i] = b && *b;
        } else if (!values[i].isNull()) {
            fields[i] = FieldEncoder::encode(def, c, values[i], text);
            if (c.isLongValue()) fields[i] = lv.store(c, *fields[i]);
        }
    }
    placeBuiltRow(pages, db, tdefPage, RowCodec::build(def, fields, flags, pages.format()),
                  values);
}

void NewDatabaseWriter::placeBuiltRow(PageSet& pages, Database::Impl& db, uint32_t tdefPage,
                                      const std::vector<uint8_t>& row,
                                      const std::vector<Value>& values) {
    const StoredTableDef& cached = db.tableDefAtPage(tdefPage);
    // An index root that moved since the definition was read (a split while rows of this
    // change went in) is where the pages say.
    std::optional<StoredTableDef> moved;
    for (size_t r = 0; r < cached.realIndexes.size(); ++r) {
        const uint32_t root = index::PageSetIndexSink(pages, cached, r).storedRoot();
        if (root == cached.realIndexes[r].firstPage) continue;
        if (!moved) moved = cached;
        moved->realIndexes[r].firstPage = root;
    }
    const StoredTableDef& def = moved ? *moved : cached;
    PageSpace space(pages);
    const uint32_t at =
        space.placeRow(def.tdefPage, def.ownedMap, def.freeMap, row, 0, "table '" + def.name + "'");
    const RowId id{at >> 8, static_cast<uint8_t>(at & 0xFF)};
    for (size_t r = 0; r < def.realIndexes.size(); ++r) {
        index::IndexWriter writer(def, r, pages.format(), db.header().sortOrder);
        index::PageSetIndexSink sink(pages, def, r);
        index::IndexRowChange change = writer.prepare(sink, nullptr, id, &values, id);
        if (change.empty()) continue;
        writer.apply(sink, change);
        if (change.uniqueDelta != 0) sink.addToUniqueCount(change.uniqueDelta);
    }
    std::vector<uint8_t>& tdef = pages.modify(def.tdefPage);
    const size_t rc = TableDefReader::layout(pages.format()).rowCount;
    const uint32_t count = uint32_t(tdef[rc]) | uint32_t(tdef[rc + 1]) << 8 |
                           uint32_t(tdef[rc + 2]) << 16 | uint32_t(tdef[rc + 3]) << 24;
    put32(tdef, rc, count + 1);
}

std::vector<uint8_t> NewDatabaseWriter::emptyJet3Image(const std::vector<uint8_t>& storedHeader,
                                                       StoredTableDef catalog,
                                                       const TextCodec& text) {
    constexpr uint32_t kSmallPage = 2048;
    constexpr size_t kSmallMapRow = 133;  // type, start page, 1024 pages' bits
    if (storedHeader.size() != kSmallPage)
        throw Error(hr::kInvalidArg, "A Jet 3 header page has 2048 bytes.");
    const uint32_t tdefCount = uint32_t(TableDefWriter::pageCount(catalog, kSmallPage, &text));
    std::vector<uint32_t> tdefPages;
    for (uint32_t i = 0; i < tdefCount; ++i)
        tdefPages.push_back(2 + i);
    // The maps: owned and free pages of the table and of each long-value field, one per real
    // index; as many to a page as fit.
    size_t mapCount = 2 + catalog.realIndexes.size();
    for (const StoredColumn& c : catalog.columns)
        if (c.isLongValue()) mapCount += 2;
    const size_t perPage = (kSmallPage - SlotPage::headerSize(kSmallPage)) / (kSmallMapRow + 2);
    const uint32_t holders = uint32_t((mapCount + perPage - 1) / perPage);
    const uint32_t firstHolder = 2 + tdefCount;
    const uint32_t firstLeaf = firstHolder + holders;
    const uint32_t firstFree = firstLeaf + uint32_t(catalog.realIndexes.size());
    if (firstFree >= (kSmallMapRow - 5) * 8)
        throw Error(hr::kNotSupported, "The catalog's definition is too large to be laid out.");

    std::vector<std::vector<uint8_t>> pages(firstFree);
    pages[0] = storedHeader;
    pages[SystemTables::kGlobalMapPage] =
        mapPage(SystemTables::kGlobalMapPage,
                {mapRow({}, firstFree, kSmallMapRow), mapRow({}, 0, kSmallMapRow)}, kSmallPage);
    std::vector<std::vector<std::vector<uint8_t>>> maps(holders);
    size_t made = 0;
    auto nextMap = [&](std::vector<uint32_t> in) {
        const uint32_t holder = uint32_t(made / perPage), row = uint32_t(made % perPage);
        maps[holder].push_back(mapRow(in, 0, kSmallMapRow));
        ++made;
        return MapPointer{(firstHolder + holder) << 8 | row};
    };
    catalog.tdefPage = 2;
    catalog.tdefPages = tdefPages;
    catalog.rowCount = 0;
    catalog.ownedMap = nextMap({});
    catalog.freeMap = nextMap({});
    for (StoredColumn& c : catalog.columns)
        if (c.isLongValue()) {
            c.lvOwnedMap = nextMap({});
            c.lvFreeMap = nextMap({});
        }
    for (size_t r = 0; r < catalog.realIndexes.size(); ++r) {
        StoredRealIndex& real = catalog.realIndexes[r];
        real.firstPage = firstLeaf + uint32_t(r);
        real.usageMap = nextMap({real.firstPage});
        real.uniqueCount = 0;
        real.statsWord0 = 0;
        pages[real.firstPage] = index::IndexPage::emptyLeaf(real.firstPage, 2, Format::Jet3);
    }
    for (IndexDef& x : catalog.indexes)
        x.fkTableType = 0;
    for (uint32_t h = 0; h < holders; ++h)
        pages[firstHolder + h] = mapPage(0, maps[h], kSmallPage);
    std::vector<std::vector<uint8_t>> tdef =
        TableDefWriter::pages(catalog, kSmallPage, tdefPages, &text);
    for (uint32_t i = 0; i < tdefCount; ++i)
        pages[tdefPages[i]] = tdef[i];
    std::vector<uint8_t> bytes;
    for (const auto& p : pages)
        bytes.insert(bytes.end(), p.begin(), p.end());
    return bytes;
}

std::vector<uint8_t> NewDatabaseWriter::emptyImage(const std::vector<uint8_t>& plainHeader) {
    if (plainHeader.size() != kPageSize)
        throw Error(hr::kInvalidArg, "A Jet 4 header page has 4096 bytes.");
    std::vector<uint8_t> bytes;
    for (const auto& p : skeleton(plainHeader))
        bytes.insert(bytes.end(), p.begin(), p.end());
    return bytes;
}

double NewDatabaseWriter::now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    // Days from 1899-12-30 to the local date, by the civil-from-days count.
    const int y = local.tm_year + 1900 - (local.tm_mon < 2 ? 1 : 0);
    const int m = local.tm_mon + 1;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = long(era) * 146097 + doe - 719468;  // days since 1970-01-01
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return double(days + 25569) + seconds / 86400.0;
}

std::unique_ptr<Database> NewDatabaseWriter::openImage(std::vector<uint8_t> bytes,
                                                       const std::string& password,
                                                       MemoryFile** memory) {
    auto file = std::make_unique<MemoryFile>(std::move(bytes));
    *memory = file.get();
    OpenOptions open;
    open.readOnly = false;
    open.exclusive = true;
    open.password = password;
    return Database::openFile(std::move(file), "new.mdb", open,
                              std::make_shared<MemoryJournalStore>());
}

std::vector<uint8_t> NewDatabaseWriter::image(const NewDatabase& options, double created) {
    const std::vector<uint8_t> plain = headerPage(created, options.password);
    const uint32_t sidKey = SidKey::fold(plain);
    std::vector<uint8_t> bytes = emptyImage(plain);

    MemoryFile* memory = nullptr;
    auto db = openImage(std::move(bytes), options.password, &memory);
    Database::Impl& impl = implOf(*db);
    const DateTime stamp{created};
    impl.writer()->changePages([&](PageSet& pages) {
        for (const auto& r : SystemTables::catalogRows()) {
            std::vector<Value> row(17);
            row[0] = r.id;
            row[1] = r.parentId;
            row[2] = std::string(r.name);
            row[3] = r.type;
            row[4] = stamp;
            row[5] = stamp;
            row[6] = maskedSid(r.owner, sidKey);
            row[7] = static_cast<int32_t>(r.flags);
            placeRow(pages, impl, 2, row);
        }
        for (const auto& a : SystemTables::aceRows())
            placeRow(pages, impl, 3,
                     {Value(a.objectId), Value(maskedSid(a.sid, sidKey)), Value(a.acm),
                      Value(a.inheritable)});
    });
    std::vector<uint8_t> out = memory->bytes();  // the file goes with the database
    return out;
}

void NewDatabaseWriter::write(const std::filesystem::path& path, const NewDatabase& options) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)))
        throw Error(hr::kInvalidArg, "The file '" + path.string() +
                                         "' already exists; a new database is only written "
                                         "where there is no file yet.");
    const std::vector<uint8_t> bytes = image(options, now());
    // Written under a temporary name and linked into place, so that a crash or a full disk
    // never leaves half a database at path, and a file made there meanwhile is not replaced.
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string tmpl = (dir / (path.filename().string() + ".new-XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        throw Error(errno == EACCES ? hr::kAccessDenied : hr::kIoError,
                    "The database '" + path.string() +
                        "' cannot be created: " + std::strerror(errno) + ".");
    const fs::path tmp = tmpl;
    auto fail = [&](const std::string& what) -> Error {
        const int err = errno;
        ::close(fd);
        fs::remove(tmp, ec);
        return Error(hr::kIoError, "The database '" + path.string() + "' cannot be created (" +
                                       what + "): " + std::strerror(err) + ".");
    };
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw fail("writing");
        done += static_cast<size_t>(n);
    }
    // mkstemp makes the file private; a database gets the permissions any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0 || ::fsync(fd) != 0) throw fail("saving");
    ::close(fd);
    if (::link(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        fs::remove(tmp, ec);
        if (err == EEXIST)
            throw Error(hr::kInvalidArg, "The file '" + path.string() +
                                             "' already exists; a new database is only written "
                                             "where there is no file yet.");
        throw Error(
            err == EACCES ? hr::kAccessDenied : hr::kIoError,
            "The database '" + path.string() + "' cannot be created: " + std::strerror(err) + ".");
    }
    fs::remove(tmp, ec);
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace jet
