// Records of databases whose pages are RC4-encoded: changes are encoded on the way to the file
// (journal included), and other readers decode them.
#include <gtest/gtest.h>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"

using namespace jet;
using namespace jettest;

namespace {

void changeAndCheck(Database& db, const std::string& table, const std::string& column) {
    const TableDef& def = db.tableDef(table);
    std::vector<Value> row(def.columns.size());
    const size_t text = size_t(def.findColumn(column) - def.columns.data());
    std::vector<RowId> ids;
    for (int i = 0; i < 60; ++i) {
        row[text] = "encoded row " + std::to_string(i);
        ids.push_back(db.insertRow(table, row));
    }
    for (int i = 0; i < 60; i += 4)
        db.deleteRow(table, ids[size_t(i)]);
    row[text] = std::string("changed");
    db.updateRow(table, ids[1], row);
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << table << ": " << problems.front();
}

}  // namespace

TEST(EncodedWrite, BuiltEncodedDatabaseTakesChanges) {
    using B = Jet4ImageBuilder;
    B b;
    b.addTable("Items",
               {{"Id", ColumnType::Long, true, 0, 0x04}, {"Label", ColumnType::Text, false, 100}},
               {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary}});
    b.setDatabaseKey(0x5EED1234);
    SimDisk disk;
    disk.put("db", b.build());
    {
        auto db = openSim(disk);
        ASSERT_TRUE(db->isEncoded());
        changeAndCheck(*db, "Items", "Label");
    }
    // No page of the file holds the text in the clear.
    const std::vector<uint8_t> file = disk.current("db");
    const std::string needle = "encoded row";
    EXPECT_EQ(std::search(file.begin(), file.end(), needle.begin(), needle.end()), file.end());
    auto db = openSim(disk, true);
    TableData data = db->readTable("Items");
    EXPECT_EQ(data.rows.size(), 45u);
    EXPECT_EQ(data.rows[0][1], Value(std::string("changed")));
    TempFile copy(file, "enc.mdb");
    for (auto reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(copy.path(), "Items");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        EXPECT_EQ(t.rows.size(), 45u);
    }
}

TEST(EncodedWrite, EncodedCorpusFileTakesChanges) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    TempFile copy(readFileBytes(corpusDir() / "jet4-jackcessencrypt-rc4-encoded.mdb"), "e.mdb");
    OpenOptions rw;
    rw.readOnly = false;
    size_t rows = 0;
    {
        auto db = Database::open(copy.path(), rw);
        ASSERT_TRUE(db->isEncoded());
        const size_t before = db->readTable("Table1").rows.size();
        changeAndCheck(*db, "Table1", "col1");
        rows = db->readTable("Table1").rows.size();
        EXPECT_EQ(rows, before + 45);
    }
    for (auto reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(copy.path(), "Table1");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        EXPECT_EQ(t.rows.size(), rows);
        int changed = 0;
        for (const auto& r : t.rows)
            for (const auto& cell : r)
                changed += cell == "changed";
        EXPECT_EQ(changed, 1);
    }
}
