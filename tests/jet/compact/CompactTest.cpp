// Compacted copies of every Jet 4 and Jet 3 file of the corpus and of files the test builds:
// the same tables with the same rows (read by us, by mdbtools and by mdb-reader), the same
// schema as mdb-schema prints it, a clean integrity check, no larger file, no free page and no
// deleted row slot. Page-encoded files are refused and leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "ForeignReaders.h"
#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Compact.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "jet/ValueText.h"
#include "page/SlotPage.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

struct Dir {
    fs::path path;
    Dir() {
        path = fs::temp_directory_path() / ("compact-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(counter()++));
        fs::create_directories(path);
    }
    ~Dir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

std::unique_ptr<Database> openRead(const fs::path& file, const std::string& password) {
    OpenOptions o;
    o.password = password;
    return Database::open(file, o);
}

// Every row of the table as text, sorted (a compacted table may hold its rows in another
// order). Catalog ids, which are the tables' definition pages, become the objects' names.
std::vector<std::string> rowsOf(Database& db, const std::string& table) {
    std::map<int32_t, std::string> names;
    for (const CatalogEntry& e : db.catalog())
        names[e.id] = e.name + "/" + std::to_string(e.parentId >> 24);
    const TableDef& def = db.tableDef(table);
    std::vector<bool> isId(def.columns.size(), false);
    auto catalogId = [&](const std::string& c) {
        if (def.name == "MSysObjects") return c == "Id" || c == "ParentId";
        if (def.name == "MSysNavPaneObjectIDs") return c == "Id";
        return def.name.rfind("MSys", 0) == 0 && namesEqual(c, "ObjectId");
    };
    for (size_t c = 0; c < def.columns.size(); ++c)
        isId[c] = catalogId(def.columns[c].name);
    std::vector<std::string> out;
    db.forEachRow(table, [&](RowId, const std::vector<Value>& row) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            const int32_t* id = row[c].getIf<int32_t>();
            line += (isId[c] && id && names.count(*id)) ? "#" + names[*id]
                                                        : ValueText::toText(row[c]);
            line += '\x1f';
        }
        out.push_back(std::move(line));
        return true;
    });
    std::sort(out.begin(), out.end());
    return out;
}

// mdb-schema's statements, sorted: it lists the tables in the order it finds their catalog
// rows, and where the source has catalog rows moved to other pages it finds them where their
// data lies, which the copy, holding every row in its own slot, does not repeat.
std::vector<std::string> schemaBlocks(const std::string& text) {
    std::vector<std::string> blocks;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\n\n", at);
        if (end == std::string::npos) end = text.size();
        if (end > at) blocks.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

std::vector<std::vector<std::string>> sorted(std::vector<std::vector<std::string>> rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Pages marked free in the global map, and data-page slots that are deleted or moved.
void expectNoFreePageNorDeletedSlot(const fs::path& file) {
    const std::vector<uint8_t> bytes = readFileBytes(file);
    const size_t size = bytes.at(0x14) == 0 ? 2048 : 4096;  // Jet 3 : Jet 4
    const uint32_t pages = uint32_t(bytes.size() / size);
    std::vector<uint8_t> p1(bytes.begin() + long(size), bytes.begin() + long(2 * size));
    SlotPage map(p1, 1);
    ASSERT_FALSE(map.slots().empty());
    const std::vector<uint8_t>& row = map.slots()[0].bytes;
    ASSERT_EQ(row.at(0), 0) << "free-page map in its inline form";
    const uint32_t start = row[1] | row[2] << 8 | row[3] << 16 | uint32_t(row[4]) << 24;
    for (size_t i = 5; i < row.size(); ++i)
        for (int b = 0; b < 8; ++b) {
            const uint32_t page = start + uint32_t((i - 5) * 8 + b);
            if (page < pages) {
                EXPECT_FALSE(row[i] & (1 << b)) << "page " << page << " is free";
            }
        }
    for (uint32_t p = 3; p < pages; ++p) {
        if (bytes[p * size] != 0x01) continue;
        std::vector<uint8_t> page(bytes.begin() + long(p * size), bytes.begin() + long((p + 1) * size));
        SlotPage data(page, p);
        for (size_t s = 0; s < data.slots().size(); ++s)
            EXPECT_EQ(data.slots()[s].flags, 0) << "page " << p << " slot " << s;
    }
}

void expectSameDatabase(const fs::path& src, const fs::path& dst, const std::string& password) {
    EXPECT_LE(fs::file_size(dst), fs::file_size(src));
    auto a = openRead(src, password);
    auto b = openRead(dst, password);
    EXPECT_EQ(b->hasPassword(), a->hasPassword());
    EXPECT_EQ(b->sortOrder(), a->sortOrder());
    const auto tables = a->tableNames(true);
    ASSERT_EQ(b->tableNames(true), tables);
    for (const std::string& t : tables) {
        EXPECT_EQ(rowsOf(*b, t), rowsOf(*a, t)) << t;
        // A counter left behind the highest value comes out mended.
        EXPECT_GE(b->tableDef(t).autoNumber, a->tableDef(t).autoNumber) << t;
        EXPECT_EQ(b->tableDef(t).indexes.size(), a->tableDef(t).indexes.size()) << t;
    }
    const auto problems = checkIntegrity(*b);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(schemaBlocks(schemaByMdbSchema(dst)), schemaBlocks(schemaByMdbSchema(src)));
    for (const std::string& t : a->tableNames()) {
        for (auto reader : {readWithMdbExport, readWithMdbReader}) {
            const ForeignTable x = reader(src, t), y = reader(dst, t);
            if (!x.available || !x.ok) continue;  // what a reader cannot read in the source
            ASSERT_TRUE(y.ok) << t << ": " << y.output;
            EXPECT_EQ(y.header, x.header) << t;
            EXPECT_EQ(sorted(y.rows), sorted(x.rows)) << t;
        }
    }
    expectNoFreePageNorDeletedSlot(dst);
}

// A file made by the engine with every field type, long values on their own pages, deleted
// rows, a dropped column, an added index, a required field and a password: much for a
// compaction to drop and to keep.
fs::path buildWorn(const fs::path& dir) {
    const fs::path file = dir / "worn.mdb";
    Database::create(file);
    {
        auto db = openWritable(file);
        sql::execute(*db,
                     "CREATE TABLE People (Id COUNTER CONSTRAINT pk PRIMARY KEY, Flag BIT, Small "
                     "BYTE, Short SHORT, Price CURRENCY, Ratio SINGLE, Amount DOUBLE, [When] "
                     "DATETIME, [Key] GUID, Exact DECIMAL(18, 2), Name TEXT(100), Bin BINARY(20), "
                     "Notes MEMO, Blob OLEOBJECT, Code TEXT(10) NOT NULL)");
        sql::execute(*db, "CREATE TABLE Keyed (Code LONG CONSTRAINT pk PRIMARY KEY, Label TEXT(20), "
                          "Stamp DATETIME)");
        db->transact([&] {
            for (int i = 0; i < 300; ++i) db->insertRow("People", peopleRow(i, i % 5 == 0 ? 3000 : 20, i % 7 == 0 ? 5000 : 10));
        });
        sql::execute(*db, "DELETE FROM People WHERE Id MOD 3 = 0");
        sql::execute(*db, "CREATE INDEX ByName ON People (Name)");
        sql::execute(*db, "ALTER TABLE People DROP COLUMN Ratio");
        for (int i = 0; i < 40; ++i)
            sql::execute(*db, "INSERT INTO Keyed (Code, Label) VALUES (" + std::to_string(i) +
                                  ", '" + pattern(size_t(5 + i % 15), i) + "')");
        sql::execute(*db, "DELETE FROM Keyed WHERE Code > 30");
    }
    {
        OpenOptions o;
        o.readOnly = false;
        o.exclusive = true;
        Database::open(file, o)->changePassword("", "s3cret");
    }
    return file;
}

// An Access 97 file worn by the engine: half the rows of a table deleted (`thinOut`), a table
// with long values made, filled and dropped, another made and half emptied, a password set.
// Empty when there is no image.
fs::path buildWornJet3(const fs::path& file, const std::vector<uint8_t>& image,
                       const std::string& thinOut) {
    if (image.empty()) return {};
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    auto db = openWritable(file);
    sql::execute(*db, thinOut);
    for (const char* name : {"Gone", "Kept"}) {
        sql::execute(*db, std::string("CREATE TABLE ") + name +
                              " (Id LONG CONSTRAINT pk PRIMARY KEY, Label TEXT(50), Notes MEMO)");
        for (int i = 0; i < 60; ++i)
            sql::execute(*db, std::string("INSERT INTO ") + name + " VALUES (" +
                                  std::to_string(i) + ", '" + pattern(size_t(3 + i % 40), i) +
                                  "', '" + pattern(size_t(i % 3 == 0 ? 4000 : 30), i) + "')");
    }
    sql::execute(*db, "DELETE FROM Kept WHERE Id MOD 2 = 1");
    sql::execute(*db, "DROP TABLE Gone");
    db.reset();
    OpenOptions o;
    o.readOnly = false;
    o.exclusive = true;
    Database::open(file, o)->changePassword("", "s3cret");
    return file;
}

}  // namespace

TEST(Compact, CopiesEveryTableAndDropsTheWaste) {
    Dir dir;
    struct Source {
        fs::path file;
        std::string password;
    };
    std::vector<Source> sources = {{buildWorn(dir.path), "s3cret"}};
    // The corpus's 512-row table, and the Access 97 file the tests build.
    const fs::path compIndex = corpusDir() / "jet3-jackcess-compindex.mdb";
    const std::vector<uint8_t> corpus97 = !corpusDir().empty() && fs::exists(compIndex)
                                              ? readFileBytes(compIndex)
                                              : std::vector<uint8_t>{};
    for (const fs::path& worn97 : {buildWornJet3(dir.path / "worn97.mdb", corpus97,
                                                 "DELETE FROM Table1 WHERE CD_AGENTE MOD 2 = 0"),
                                   buildWornJet3(dir.path / "built97.mdb", builtAccess97Image(),
                                                 "DELETE FROM Kunden WHERE ID MOD 2 = 0")})
        if (!worn97.empty()) sources.push_back({worn97, "s3cret"});
    std::vector<fs::path> refused;
    if (!corpusDir().empty())
        for (const auto& e : fs::directory_iterator(corpusDir())) {
            const std::string name = e.path().filename().string();
            if (e.path().extension() != ".mdb") continue;
            if (name.find("encoded") != std::string::npos)
                refused.push_back(e.path());
            else
                sources.push_back(
                    {e.path(), name.find("-password") != std::string::npos ? "password" : ""});
        }
    for (const Source& s : sources) {
        SCOPED_TRACE(s.file.filename().string());
        const fs::path dst = dir.path / ("out-" + s.file.filename().string());
        const CompactResult r = compactDatabase(s.file, dst, {s.password, false});
        EXPECT_EQ(r.bytesAfter, fs::file_size(dst));
        expectSameDatabase(s.file, dst, s.password);
    }
    for (const fs::path& f : refused) {
        const fs::path dst = dir.path / "refused.mdb";
        EXPECT_EQ(errorCodeOf([&] { compactDatabase(f, dst); }), hr::kNotSupported) << f;
        EXPECT_FALSE(fs::exists(dst)) << f;
    }
}

TEST(Compact, RefusesToOverwriteUnlessToldAndNeverTheSource) {
    Dir dir;
    const fs::path src = buildWorn(dir.path);
    const fs::path dst = dir.path / "copy.mdb";
    {
        std::ofstream(dst) << "keep me";
    }
    const std::vector<uint8_t> before = readFileBytes(src);
    struct Case {
        fs::path to;
        CompactOptions options;
        uint32_t code;
    };
    const Case cases[] = {
        {dst, {"s3cret", false}, hr::kInvalidArg},      // exists
        {src, {"s3cret", true}, hr::kInvalidArg},       // the source itself
        {dir.path / "." / "worn.mdb", {"s3cret", true}, hr::kInvalidArg},
        {dir.path / "new.mdb", {"wrong", false}, hr::kAuthFailed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorCodeOf([&] { compactDatabase(src, c.to, c.options); }), c.code) << c.to;
    EXPECT_EQ(readFileBytes(dst), std::vector<uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_EQ(readFileBytes(src), before);
    EXPECT_FALSE(fs::exists(dir.path / "new.mdb"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left.size(), 2u) << "no temporary file is left behind";

    compactDatabase(src, dst, {"s3cret", true});
    expectSameDatabase(src, dst, "s3cret");
}
