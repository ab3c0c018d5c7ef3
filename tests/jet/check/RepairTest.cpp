// check --repair on every Jet 4 and Jet 3 file of the corpus and on files the test damages: afterwards the
// check is clean, the rows are those read before (by us, mdbtools and mdb-reader), a second
// repair finds nothing to do, and what cannot be mended is left alone and reported.
#include <gtest/gtest.h>

#include <fstream>

#include "ForeignReaders.h"
#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "page/SlotPage.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<Database> openForRepair(const fs::path& file, const std::string& password) {
    OpenOptions o;
    o.readOnly = false;
    o.exclusive = true;
    o.password = password;
    return Database::open(file, o);
}

std::map<std::string, std::vector<std::vector<Value>>> everyRow(const fs::path& file,
                                                                 const std::string& password) {
    OpenOptions o;
    o.password = password;
    auto db = Database::open(file, o);
    std::map<std::string, std::vector<std::vector<Value>>> rows;
    for (const std::string& t : db->tableNames(true))
        rows[t] = db->readTable(t).rows;
    return rows;
}

void store32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

TEST(Repair, MendsCountsCountersAndLostPagesAndNothingElse) {
    const fs::path dir = fs::temp_directory_path() / ("repair-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    // The files damaged below start as a file the engine makes (Jet 4), as the Access 97 file
    // the tests build and, with the corpus, as a real Access 97 file: the stored layouts differ
    // in page size, in where a definition keeps its counters, in the page header before the
    // slot table and in the width of a row's column count.
    struct Base {
        std::string tag;
        size_t pageSize, rowCount, autoNumber, slotTable, firstField;
        std::vector<uint8_t> image;  // empty: a new file the engine makes
    };
    const fs::path jet3Base =
        corpusDir().empty() ? fs::path() : corpusDir() / "jet3-jackcess-deltest.mdb";
    std::vector<Base> bases = {{"", 4096, 0x10, 0x14, 14, 2, {}},
                               {"97b", 2048, 0x0C, 0x10, 10, 1, builtAccess97Image()}};
    if (!jet3Base.empty() && fs::exists(jet3Base))
        bases.push_back({"97", 2048, 0x0C, 0x10, 10, 1, readFileBytes(jet3Base)});
    auto makeBase = [&](const fs::path& file, const Base& b) {
        if (b.image.empty())
            Database::create(file);
        else
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(b.image.data()),
                       std::streamsize(b.image.size()));
    };
    struct Case {
        fs::path file;
        std::string password;
        std::vector<std::string> fixed;  // when known; else only "the check is clean after"
    };
    std::vector<Case> cases;
    for (const Base& b : bases) {
        // Damaged the ways the check reports: a row count and an AutoNumber counter behind,
        // and pages past the end that nothing owns.
        const fs::path built = dir / ("built" + b.tag + ".mdb");
        makeBase(built, b);
        uint32_t added = 0;  // the first page past the old end
        {
            auto db = openWritable(built);
            sql::execute(*db,
                         "CREATE TABLE T (Id COUNTER CONSTRAINT pk PRIMARY KEY, Name TEXT(50))");
            for (int i = 0; i < 50; ++i)
                sql::execute(*db, "INSERT INTO T (Name) VALUES ('row " + std::to_string(i) + "')");
            const uint32_t tdef = db->tableDef("T").tdefPage;
            db.reset();
            std::vector<uint8_t> bytes = readFileBytes(built);
            store32(bytes, tdef * b.pageSize + b.rowCount, 45);
            store32(bytes, tdef * b.pageSize + b.autoNumber, 7);
            // Three pages more, which the free-page map (page 1, row 0) does not call free.
            const uint32_t pages = added = uint32_t(bytes.size() / b.pageSize);
            bytes.resize(bytes.size() + 3 * b.pageSize, 0);
            const auto p1 = bytes.begin() + long(b.pageSize);
            std::vector<uint8_t> map(p1, p1 + long(b.pageSize));
            SlotPage sp(map, 1);
            std::vector<uint8_t>& row = sp.slots().at(0).bytes;
            ASSERT_EQ(row.at(0), 0);
            const uint32_t start = row[1] | row[2] << 8 | row[3] << 16 | uint32_t(row[4]) << 24;
            for (uint32_t p = pages; p < pages + 3; ++p)
                if (5 + (p - start) / 8 < row.size())
                    row[5 + (p - start) / 8] &= uint8_t(~(1u << ((p - start) % 8)));
            sp.store(map);
            std::copy(map.begin(), map.end(), p1);
            std::ofstream(built, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        // Two more whose primary key no longer matches a row: once with a key no other row
        // has (the index is built again), once with a key another row has (left alone,
        // reported).
        const fs::path rekeyed = dir / ("rekeyed" + b.tag + ".mdb"),
                       doubled = dir / ("doubled" + b.tag + ".mdb");
        for (const auto& [file, key] : {std::pair(rekeyed, 1005), std::pair(doubled, 7)}) {
            makeBase(file, b);
            uint32_t page = 0, slot = 0;
            {
                auto db = openWritable(file);
                sql::execute(*db,
                             "CREATE TABLE T (Id LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(50))");
                for (int i = 1; i <= 50; ++i)
                    sql::execute(*db, "INSERT INTO T VALUES (" + std::to_string(i) + ", 'n')");
                db->forEachRow("T", [&](RowId id, const std::vector<Value>& row) {
                    if (row[0] != Value(int32_t(5))) return true;
                    page = id.page;
                    slot = id.row;
                    return false;
                });
            }
            std::vector<uint8_t> bytes = readFileBytes(file);
            const size_t at = page * b.pageSize + b.slotTable + 2 * slot;
            const size_t start = (bytes[at] | bytes[at + 1] << 8) & 0x1FFF;
            // The first fixed field: Id
            store32(bytes, page * b.pageSize + start + b.firstField, uint32_t(key));
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            ASSERT_FALSE(checkIntegrity(*Database::open(file)).empty()) << file;
        }
        {
            const std::vector<uint8_t> before = readFileBytes(doubled);
            const RepairResult r = repairIntegrity(*openForRepair(doubled, ""));
            EXPECT_TRUE(r.fixed.empty()) << r.fixed.front();
            EXPECT_FALSE(r.remaining.empty());
            EXPECT_EQ(readFileBytes(doubled), before);
        }
        cases.push_back({built,
                         "",
                         {"table 'T': the row count is now 50 (was 45)",
                          "table 'T': the AutoNumber counter is now 50 (was 7)",
                          "pages " + std::to_string(added) + " to " + std::to_string(added + 2) +
                              " (3 pages): given back as free (nothing owned them)"}});
        cases.push_back({rekeyed, "", {"table 'T': index 'pk' built again from its 50 rows"}});
    }
    if (!corpusDir().empty())
        for (const auto& e : fs::directory_iterator(corpusDir())) {
            const std::string name = e.path().filename().string();
            if (e.path().extension() != ".mdb" || name.find("encoded") != std::string::npos)
                continue;
            fs::copy_file(e.path(), dir / name);
            cases.push_back({dir / name,
                             name.find("-password") != std::string::npos ? "password" : "",
                             {}});
        }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        const auto before = everyRow(c.file, c.password);
        std::vector<ForeignTable> foreign;
        for (const auto& [table, rows] : before) {
            foreign.push_back(readWithMdbExport(c.file, table));
            foreign.push_back(readWithMdbReader(c.file, table));
        }
        const RepairResult r = repairIntegrity(*openForRepair(c.file, c.password));
        EXPECT_TRUE(r.remaining.empty()) << r.remaining.front();
        if (!c.fixed.empty()) {
            ASSERT_GE(r.fixed.size(), c.fixed.size());
            for (size_t i = 0; i < c.fixed.size(); ++i)
                EXPECT_EQ(r.fixed[i], c.fixed[i]);
        }
        EXPECT_EQ(everyRow(c.file, c.password), before);
        size_t k = 0;
        for (const auto& [table, rows] : before) {
            for (auto reader : {readWithMdbExport, readWithMdbReader}) {
                const ForeignTable& was = foreign[k++];
                if (!was.available || !was.ok) continue;
                const ForeignTable now = reader(c.file, table);
                EXPECT_EQ(now.rows, was.rows) << table;
            }
        }
        EXPECT_TRUE(repairIntegrity(*openForRepair(c.file, c.password)).fixed.empty());
    }

    // A read-only open is refused.
    EXPECT_EQ(errorCodeOf([&] { repairIntegrity(*Database::open(cases.front().file)); }),
              hr::kReadOnly);
    fs::remove_all(dir);
}
