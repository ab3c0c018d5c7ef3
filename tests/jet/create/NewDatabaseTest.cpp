// New databases: what the engine writes opens in our reader and in the two foreign ones, is
// sound, takes tables and a password, and matches, table for table and row for row, the empty
// database the Jet 4.0 OLE DB provider made through ADOX.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ForeignReaders.h"
#include "SidDump.h"
#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "create/NewDatabaseWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

// A private folder, removed with the object.
struct TempDir {
    fs::path path;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "jet-new-XXXXXX").string();
        path = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::unique_ptr<Database> openNew(const fs::path& p, const std::string& password = "",
                                  bool write = false) {
    OpenOptions o;
    o.readOnly = !write;
    o.exclusive = write;
    o.password = password;
    return Database::open(p, o);
}

fs::path repoRoot() {
    return fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path();
}

// Catalog rows without the per-creation dates, owners as plain SIDs.
std::vector<std::string> catalogText(Database& db) {
    std::vector<std::string> out;
    TableData t = db.readTable("MSysObjects");
    SidDump sids = plainSids(db);
    for (auto& r : t.rows) {
        std::string line;
        for (size_t i = 0; i < r.size(); ++i) {
            const std::string& n = t.def.columns[i].name;
            if (n == "DateCreate" || n == "DateUpdate" || n == "Owner") continue;
            std::string v = "null";
            if (auto x = r[i].getIf<int32_t>()) v = std::to_string(*x);
            if (auto x = r[i].getIf<int16_t>()) v = std::to_string(*x);
            if (auto x = r[i].getIf<std::string>()) v = *x;
            if (!r[i].isNull() && v == "null") v = "(value)";
            line += n + "=" + v + ";";
        }
        out.push_back(line);
    }
    out.insert(out.end(), sids.owners.begin(), sids.owners.end());
    return out;
}

}  // namespace

TEST(NewDatabase, OpensSoundWithItsSystemTablesAndHeader) {
    TempDir dir;
    const fs::path file = dir.path / "New.mdb";
    const double before = NewDatabaseWriter::now();
    Database::create(file);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 16u * 4096);
    // Nothing else is left in the folder (no temporary file, no journal).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
    auto db = openNew(file);
    EXPECT_EQ(db->format(), Format::Jet4);
    EXPECT_EQ(db->codePage(), 1252);
    EXPECT_EQ(db->sortOrder(), 0x409u);
    EXPECT_FALSE(db->hasPassword());
    EXPECT_FALSE(db->isEncoded());
    EXPECT_NEAR(db->creationDate().days, before, 2.0 / 86400 + 1e-9 + 60.0 / 86400);
    EXPECT_TRUE(db->tableNames().empty());
    EXPECT_EQ(db->tableNames(true), (std::vector<std::string>{"MSysObjects", "MSysACEs",
                                                              "MSysQueries", "MSysRelationships"}));
    EXPECT_EQ(db->catalog().size(), 8u);
    EXPECT_EQ(db->readTable("MSysACEs").rows.size(), 16u);
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
    // The creating user owns MSysDb; every other row belongs to the engine.
    SidDump sids = plainSids(*db);
    EXPECT_EQ(sids.owners[0], "Databases/0203");
    EXPECT_EQ(sids.owners[1], "MSysACEs/0203");
    EXPECT_EQ(sids.owners[2], "MSysDb/0301");
}

TEST(NewDatabase, RefusedWhereAFileIsAndWhereNoneCanBe) {
    TempDir dir;
    const fs::path file = dir.path / "Taken.mdb";
    { std::ofstream(file) << "keep me"; }
    try {
        Database::create(file);
        ADD_FAILURE() << "written over an existing file";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), hr::kInvalidArg);
        EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs::file_size(file), 7u);
    fs::create_symlink(dir.path / "nowhere.mdb", dir.path / "link.mdb");
    EXPECT_THROW(Database::create(dir.path / "link.mdb"), Error);
    EXPECT_FALSE(fs::exists(dir.path / "nowhere.mdb"));
    EXPECT_THROW(Database::create(dir.path / "no-such-folder" / "x.mdb"), Error);
    EXPECT_THROW(Database::create(file.string() + "x", NewDatabase{std::string(21, 'p')}), Error);
    EXPECT_FALSE(fs::exists(file.string() + "x"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);
}

TEST(NewDatabase, WithAPasswordAndAPasswordSetLater) {
    TempDir dir;
    const fs::path a = dir.path / "A.mdb", b = dir.path / "B.mdb";
    Database::create(a, NewDatabase{"Kennwort"});
    Database::create(b);
    EXPECT_EQ(errorCodeOf([&] { openNew(a); }), hr::kAuthFailed);
    auto withPw = openNew(a, "Kennwort");
    auto without = openNew(b);
    EXPECT_TRUE(withPw->hasPassword());
    // Same plain SIDs whatever the key; the key differs, so the stored bytes do too.
    EXPECT_EQ(plainSids(*withPw), plainSids(*without));
    EXPECT_NE(storedSids(*withPw), storedSids(*without));
    std::string seen = mdbReaderPassword(a.string());
    if (!seen.empty()) {
        EXPECT_EQ(seen, "Kennwort");
    }
    seen = mdbReaderPassword(b.string());
    if (!seen.empty()) {
        EXPECT_EQ(seen, "null");
    }
    const SidDump plain = plainSids(*without);
    without.reset();
    {
        auto db = openNew(b, "", true);
        db->changePassword("", "later");
    }
    auto re = openNew(b, "later");
    EXPECT_EQ(plainSids(*re), plain);
    auto problems = checkIntegrity(*re);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(NewDatabase, ForeignReadersReadIt) {
    TempDir dir;
    const fs::path file = dir.path / "Foreign.mdb";
    Database::create(file);
    ForeignTable aces = readWithMdbExport(file, "MSysACEs");
    if (aces.available) {
        ASSERT_TRUE(aces.ok) << aces.output;
        EXPECT_EQ(aces.rows.size(), 16u);
        ForeignTable objs = readWithMdbExport(file, "MSysObjects");
        ASSERT_TRUE(objs.ok) << objs.output;
        EXPECT_EQ(objs.rows.size(), 8u);
        std::string out;
        EXPECT_TRUE(runCommand("mdb-schema '" + file.string() + "'", out)) << out;
    }
    std::string out;
    if (fs::exists(repoRoot() / "node_modules" / "mdb-reader")) {
        ASSERT_TRUE(runCommand("node '" +
                                   (repoRoot() / "tools/scripts/mdbreader-export.mjs").string() +
                                   "' '" + file.string() + "' --counts",
                               out))
            << out;
        EXPECT_NE(out.find("MSysObjects\t8\t8"), std::string::npos) << out;
        EXPECT_NE(out.find("MSysACEs\t16\t16"), std::string::npos) << out;
    }
}

TEST(NewDatabase, TakesTablesAndRows) {
    TempDir dir;
    const fs::path file = dir.path / "Cards.mdb";
    Database::create(file);
    {
        auto db = openNew(file, "", true);
        NewTable t;
        t.name = "Cards";
        t.columns = {{"Id", ColumnType::Long, 0, 18, 0, false, true},
                     {"Name", ColumnType::Text, 50}};
        NewIndex pk;
        pk.name = "PrimaryKey";
        pk.columns = {{"Id", true}};
        pk.primary = true;
        t.indexes = {pk};
        db->createTable(t);
        for (int i = 0; i < 30; ++i)
            db->insertRow("Cards", {Value(), Value("card " + std::to_string(i))});
    }
    auto db = openNew(file);
    EXPECT_EQ(db->tableNames(), std::vector<std::string>{"Cards"});
    EXPECT_EQ(db->readTable("Cards").rows.size(), 30u);
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ForeignTable t = readWithMdbExport(file, "Cards");
    if (t.available) {
        EXPECT_TRUE(t.ok && t.rows.size() == 30) << t.output;
    }
    ForeignTable r = readWithMdbReader(file, "Cards");
    if (r.available) {
        EXPECT_TRUE(r.ok && r.rows.size() == 30) << r.output;
    }
}

// The provider-made empty database is the reference: the same system tables with the same
// definitions (compared as stored, byte for byte), the same catalog and permission rows, the
// same header fields. Only the creation date, the dates of the rows and, through the date,
// the masked password field and the masked SIDs differ.
TEST(NewDatabaseCorpus, EqualsTheEmptyDatabaseTheProviderMade) {
    fs::path dir = corpusDir();
    if (dir.empty()) GTEST_SKIP() << "corpus not available";
    const fs::path adox = dir / "jet4-jackcess-adox-empty.mdb";
    TempDir tmp;
    const fs::path file = tmp.path / "Ours.mdb";
    Database::create(file);
    auto ours = openNew(file);
    auto theirs = openNew(adox);
    EXPECT_EQ(ours->pageCount(), theirs->pageCount());
    EXPECT_EQ(ours->codePage(), theirs->codePage());
    EXPECT_EQ(ours->sortOrder(), theirs->sortOrder());

    const std::vector<uint8_t> a = implOf(*ours).header().plain;
    const std::vector<uint8_t> b = implOf(*theirs).header().plain;
    for (size_t i = 0; i < a.size(); ++i) {
        const bool perCreation = (i >= 0x42 && i < 0x6A) || (i >= 0x72 && i < 0x7A);
        if (!perCreation) {
            EXPECT_EQ(a[i], b[i]) << "page 0 byte " << std::hex << i;
        }
    }
    const std::vector<uint8_t> oursFile = readFileBytes(file), theirsFile = readFileBytes(adox);
    for (const char* name : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
        const StoredTableDef& x = implOf(*ours).tableDef(name);
        const StoredTableDef& y = implOf(*theirs).tableDef(name);
        EXPECT_EQ(x.tdefPage, y.tdefPage) << name;
        EXPECT_EQ(x.rowCount, y.rowCount) << name;
        ASSERT_EQ(x.columns.size(), y.columns.size()) << name;
        for (size_t i = 0; i < x.columns.size(); ++i) {
            EXPECT_EQ(x.columns[i].name, y.columns[i].name) << name;
            EXPECT_EQ(x.columns[i].type, y.columns[i].type) << name;
            EXPECT_EQ(x.columns[i].flags, y.columns[i].flags) << name << "." << x.columns[i].name;
            EXPECT_EQ(x.columns[i].length, y.columns[i].length) << name;
        }
        ASSERT_EQ(x.realIndexes.size(), y.realIndexes.size()) << name;
        for (size_t i = 0; i < x.realIndexes.size(); ++i) {
            EXPECT_EQ(x.realIndexes[i].columns, y.realIndexes[i].columns) << name;
            EXPECT_EQ(x.realIndexes[i].flags, y.realIndexes[i].flags) << name;
            EXPECT_EQ(x.realIndexes[i].uniqueCount, y.realIndexes[i].uniqueCount) << name;
        }
        ASSERT_EQ(x.indexes.size(), y.indexes.size()) << name;
        for (size_t i = 0; i < x.indexes.size(); ++i) {
            EXPECT_EQ(x.indexes[i].name, y.indexes[i].name) << name;
            EXPECT_EQ(x.indexes[i].kind, y.indexes[i].kind) << name;
        }
        // The stored definitions, every byte but one kind: in an unused column slot of an
        // index (column FF FF) the provider leaves whatever byte was there as the sort order.
        const size_t at = size_t(x.tdefPage) * 4096;
        for (size_t i = 0; i < x.definitionLength; ++i)
            if (oursFile[at + i] != theirsFile[at + i] &&
                !(i >= 2 && oursFile[at + i - 1] == 0xFF && oursFile[at + i - 2] == 0xFF)) {
                ADD_FAILURE() << name << " definition differs first at byte " << i;
                break;
            }
    }
    EXPECT_EQ(catalogText(*ours), catalogText(*theirs));
    EXPECT_EQ(plainSids(*ours), plainSids(*theirs));
    // Rows in the provider's order, too.
    auto acesA = ours->readTable("MSysACEs").rows, acesB = theirs->readTable("MSysACEs").rows;
    ASSERT_EQ(acesA.size(), acesB.size());
    for (size_t i = 0; i < acesA.size(); ++i) {
        EXPECT_EQ(acesA[i][0], acesB[i][0]) << "ACE row " << i;
        EXPECT_EQ(acesA[i][2], acesB[i][2]) << "ACE row " << i;
        EXPECT_EQ(acesA[i][3], acesB[i][3]) << "ACE row " << i;
    }
    // The same pages in the same places.
    for (uint32_t p = 1; p < ours->pageCount(); ++p)
        EXPECT_EQ(oursFile[size_t(p) * 4096], theirsFile[size_t(p) * 4096]) << "page " << p;
}
