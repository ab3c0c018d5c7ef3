// Compacted copies of every Jet 4 file of the corpus and of files the test builds: the same
// tables with the same rows (read by us, by mdbtools and by mdb-reader), the same schema as
// mdb-schema prints it, a clean integrity check, no larger file, no free page and no deleted
// row slot. Jet 3 and page-encoded files are refused and leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "ForeignReaders.h"
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

std::vector<std::vector<std::string>> sorted(std::vector<std::vector<std::string>> rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Pages marked free in the global map, and data-page slots that are deleted or moved.
void expectNoFreePageNorDeletedSlot(const fs::path& file) {
    const std::vector<uint8_t> bytes = readFileBytes(file);
    const uint32_t pages = uint32_t(bytes.size() / 4096);
    std::vector<uint8_t> p1(bytes.begin() + 4096, bytes.begin() + 8192);
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
        if (bytes[size_t(p) * 4096] != 0x01) continue;
        std::vector<uint8_t> page(bytes.begin() + p * 4096, bytes.begin() + (p + 1) * 4096);
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
    EXPECT_EQ(schemaByMdbSchema(dst), schemaByMdbSchema(src));
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

}  // namespace

TEST(Compact, CopiesEveryTableAndDropsTheWaste) {
    Dir dir;
    struct Source {
        fs::path file;
        std::string password;
    };
    std::vector<Source> sources = {{buildWorn(dir.path), "s3cret"}};
    std::vector<fs::path> refused;
    if (!corpusDir().empty())
        for (const auto& e : fs::directory_iterator(corpusDir())) {
            const std::string name = e.path().filename().string();
            if (e.path().extension() != ".mdb") continue;
            if (name.rfind("jet3-", 0) == 0 || name.find("encoded") != std::string::npos)
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
