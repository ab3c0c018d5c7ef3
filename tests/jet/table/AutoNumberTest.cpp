// AutoNumber values when the stored counter is behind the highest value in the table: the
// next number goes on from the highest, and the counter is stored with it.
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

int32_t highest(Database& db, const std::string& table, size_t column) {
    int32_t h = INT32_MIN;
    for (const auto& r : db.readTable(table).rows)
        if (const int32_t* v = r[column].getIf<int32_t>()) h = std::max(h, *v);
    return h;
}

}  // namespace

TEST(AutoNumber, StaleCounterGoesOnFromTheHighestValue) {
    using B = Jet4ImageBuilder;
    B b;
    // counter stored as 4 (the row count) while the table holds 40
    int plain = b.addTable(
        "Plain", {{"Id", ColumnType::Long, true, 0, 0x04}, {"Label", ColumnType::Text, false, 40}});
    for (int32_t id : {1, 2, 40, 3})
        b.addRow(plain, {B::i32(id), B::utf16(u"x")});
    int keyed = b.addTable(
        "Keyed", {{"Id", ColumnType::Long, true, 0, 0x04}, {"Label", ColumnType::Text, false, 40}},
        {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary}});
    SimDisk disk;
    disk.put("db", b.build());
    const uint32_t keyedTdef = b.tdefPage(keyed);
    {
        auto db = openSim(disk);
        EXPECT_EQ(db->tableDef("Plain").autoNumber, 4u);
        RowId r = db->insertRow("Plain", {Value(), "next"});
        (void)r;
        EXPECT_EQ(highest(*db, "Plain", 0), 41);
        EXPECT_EQ(db->tableDef("Plain").autoNumber, 41u);
        for (int i = 0; i < 30; ++i)
            db->insertRow("Keyed", {Value(), "k"});
    }
    // Wind Keyed's stored counter back, as another program might leave it.
    std::vector<uint8_t> bytes = disk.current("db");
    const size_t at = size_t(keyedTdef) * B::kPageSize + 0x14;
    bytes[at] = 5;
    bytes[at + 1] = bytes[at + 2] = bytes[at + 3] = 0;
    disk.put("db", bytes);
    {
        auto db = openSim(disk);
        EXPECT_EQ(db->tableDef("Keyed").autoNumber, 5u);
        db->insertRow("Keyed", {Value(), "after"});  // would be 6, a duplicate, without the check
        db->insertRow("Keyed", {Value(), "after"});
        EXPECT_EQ(highest(*db, "Keyed", 0), 32);
        EXPECT_EQ(db->tableDef("Keyed").autoNumber, 32u);
        EXPECT_EQ(db->readTable("Keyed").rows.size(), 32u);
        db->insertRow("Plain", {Value(), "again"});
        EXPECT_EQ(highest(*db, "Plain", 0), 42);
        auto problems = checkIntegrity(*db);
        EXPECT_TRUE(problems.empty()) << problems.front();
    }
}

TEST(AutoNumber, NorthwindOrdersTakeTheNextFreeNumber) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    TempFile copy(readFileBytes(corpusDir() / "jet4-northwind-statdata.mdb"), "nw.mdb");
    OpenOptions rw;
    rw.readOnly = false;
    auto db = Database::open(copy.path(), rw);
    TableData orders = db->readTable("Orders");
    const size_t id = size_t(orders.def.findColumn("OrderID") - orders.def.columns.data());
    const int32_t top = highest(*db, "Orders", id);
    ASSERT_LT(int32_t(orders.def.autoNumber), top) << "the file's counter is no longer stale";
    std::vector<Value> row = orders.rows.front();
    row[id] = Value();
    db->insertRow("Orders", row);
    db->insertRow("Orders", row);
    EXPECT_EQ(highest(*db, "Orders", id), top + 2);
    EXPECT_EQ(db->tableDef("Orders").autoNumber, uint32_t(top + 2));
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
    db.reset();
    ForeignTable theirs = readWithMdbExport(copy.path(), "Orders");
    if (theirs.available) {
        ASSERT_TRUE(theirs.ok) << theirs.output;
        EXPECT_EQ(theirs.rows.size(), orders.rows.size() + 2);
        int found = 0;
        for (const auto& r : theirs.rows)
            found += r[theirs.column("OrderID")] == std::to_string(top + 2);
        EXPECT_EQ(found, 1);
    }
}
