// Row changes on databases built in the test: values of every type, long values in all three
// forms, moved rows, freed pages, refusals, and files read back by mdbtools and mdb-reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "ForeignReaders.h"
#include "Jet4ImageBuilder.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "page/UsageMap.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;

namespace {

size_t lvPages(Database& db, const char* column) {
    const StoredTableDef& def = implOf(db).tableDef("People");
    return UsageMap::read(implOf(db).pager(), def.findColumn(column)->lvOwnedMap).pages().size();
}

uint32_t expectRefused(SimDisk& disk, Database& db, uint32_t code,
                       const std::function<void()>& action, const std::string& words) {
    std::vector<uint8_t> before = disk.current("db");
    int writes = disk.writes();
    try {
        action();
        ADD_FAILURE() << "accepted although it should be refused: " << words;
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), code) << e.what();
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
    EXPECT_EQ(disk.writes(), writes);
    EXPECT_TRUE(disk.current("db") == before);
    EXPECT_FALSE(disk.hotJournal("db-journal"));
    return 0;
}

}  // namespace

TEST(RowWrite, EveryTypeAndLongValueFormReadsBack) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    std::vector<RowId> ids;
    const size_t memo[] = {10, 1500, 9000};  // inline, one LVAL row, a chain of three
    const size_t ole[] = {0, 4000, 20000};
    for (int i = 0; i < 3; ++i)
        ids.push_back(db->insertRow("People", peopleRow(i, memo[i], ole[i])));

    TableData data = db->readTable("People");
    ASSERT_EQ(data.rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        std::vector<Value> want = peopleRow(i, memo[i], ole[i]);
        want[0] = int32_t(i + 1);  // AutoNumber assigned in order
        EXPECT_EQ(data.rowIds[i], ids[i]);
        for (size_t c = 0; c < want.size(); ++c)
            EXPECT_EQ(data.rows[i][c], want[c]) << "row " << i << " field " << c;
    }
    EXPECT_EQ(implOf(*db).tableDef("People").rowCount, 3u);
    EXPECT_EQ(implOf(*db).tableDef("People").autoNumber, 3u);
    // Memo text is stored as UTF-16: 3000 bytes on one page, 18000 bytes in five chunks (the
    // short last chunk does not fit beside the 3000).
    EXPECT_EQ(lvPages(*db, "Notes"), 6u);
    expectSound(*db);

    // Everything was synced and no journal would undo it: a restart sees all three rows.
    EXPECT_FALSE(disk.hotJournal("db-journal"));
    SimDisk after;
    after.put("db", disk.image(false).at("db"));
    auto reopened = openSim(after);
    EXPECT_EQ(reopened->readTable("People").rows, data.rows);
    expectSound(*reopened);
}

TEST(RowWrite, GrownRowMovesKeepsItsIdAndShrinkingFreesPages) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    std::vector<RowId> ids;
    // Small rows until the first data page is full.
    for (int i = 0; i < 70; ++i)
        ids.push_back(db->insertRow("People", peopleRow(i, 0, 0)));
    ASSERT_NE(ids.front().page, ids.back().page);

    std::vector<Value> big = peopleRow(0, 9000, 0);
    big[0] = Value();
    big[10] = std::string(100, 'x') + "";
    big[10] = std::string("\xce\xa9", 2) + std::string(99, 'y');  // not compressible
    big[11] = std::vector<uint8_t>(20, 0xAB);
    db->updateRow("People", ids[0], big);
    big[0] = int32_t(1);
    TableData data = db->readTable("People");
    auto at = std::find(data.rowIds.begin(), data.rowIds.end(), ids[0]);
    ASSERT_NE(at, data.rowIds.end()) << "the moved row lost its id";
    EXPECT_EQ(data.rows[at - data.rowIds.begin()], big);
    EXPECT_EQ(data.rows.size(), 70u);
    EXPECT_EQ(lvPages(*db, "Notes"), 5u);  // 18000 bytes of UTF-16: five chunks
    expectSound(*db);

    // Grow it again (the moved bytes move on), then shrink the memo to inline: its chain
    // pages go back to the free map.
    big[12] = std::string(12000, 'q');
    big[0] = Value();
    db->updateRow("People", ids[0], big);
    // 24000 bytes: six chunks; the old chain's five pages were freed, not kept beside them.
    EXPECT_EQ(lvPages(*db, "Notes"), 6u);
    big[12] = std::string("short");
    db->updateRow("People", ids[0], big);
    EXPECT_EQ(lvPages(*db, "Notes"), 0u);
    expectSound(*db);
    big[0] = int32_t(1);
    data = db->readTable("People");
    at = std::find(data.rowIds.begin(), data.rowIds.end(), ids[0]);
    ASSERT_NE(at, data.rowIds.end());
    EXPECT_EQ(data.rows[at - data.rowIds.begin()], big);

    // Freed pages are taken again before the file grows.
    uint32_t pages = db->pageCount();
    db->insertRow("People", peopleRow(99, 3000, 0));
    EXPECT_EQ(db->pageCount(), pages);
    expectSound(*db);
}

TEST(RowWrite, DeleteRemovesRowsAndTheirLongValues) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    RowId a = db->insertRow("People", peopleRow(1, 9000, 5000));
    RowId b = db->insertRow("People", peopleRow(2, 20, 0));
    EXPECT_GT(lvPages(*db, "Notes"), 0u);
    db->deleteRow("People", a);
    EXPECT_EQ(lvPages(*db, "Notes"), 0u);
    EXPECT_EQ(lvPages(*db, "Blob"), 0u);
    TableData data = db->readTable("People");
    ASSERT_EQ(data.rows.size(), 1u);
    EXPECT_EQ(data.rowIds[0], b);
    EXPECT_EQ(implOf(*db).tableDef("People").rowCount, 1u);
    expectSound(*db);

    // A deleted record cannot be changed or deleted again; its id is not reused by an insert.
    expectRefused(
        disk, *db, hr::kNotFound, [&] { db->deleteRow("People", a); }, "does not exist");
    expectRefused(
        disk, *db, hr::kNotFound, [&] { db->updateRow("People", a, peopleRow(3, 0, 0)); },
        "does not exist");
    db->deleteRow("People", b);
    EXPECT_TRUE(db->readTable("People").rows.empty());
    expectSound(*db);  // the emptied data page went back to the free map
    RowId c = db->insertRow("People", peopleRow(3, 0, 0));
    EXPECT_EQ(db->readTable("People").rows.at(0).at(0), Value(int32_t(3)));
    (void)c;
    expectSound(*db);
}

TEST(RowWrite, ValuesAFieldCannotHoldAreRefusedAndChangeNothing) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    RowId id = db->insertRow("People", peopleRow(1, 0, 0));
    struct Case {
        size_t field;
        Value value;
        const char* words;
    };
    const Case cases[] = {
        {2, int32_t(256), "out of range for a Byte"},
        {3, int32_t(40000), "out of range for an Integer"},
        {5, 1e300, "out of range for a Single"},
        {7, DateTime{1e9}, "outside the dates"},
        {9, Decimal{0, 1, false, 18, 3}, "more decimal places"},
        {9, Decimal{0, 1000000000000000000ull, false, 18, 0}, "precision"},
        {10, std::string(101, 'a'), "holds at most 100"},
        {10, std::string("\xff\xfe"), "not valid UTF-8"},
        {11, std::vector<uint8_t>(21, 1), "holds at most 20"},
        {3, std::string("12"), "whole number"},
        {1, int32_t(1), "Yes or No"},
        {0, int32_t(7), "AutoNumber"},
    };
    for (const Case& c : cases) {
        std::vector<Value> row = peopleRow(5, 0, 0);
        row[c.field] = c.value;
        expectRefused(
            disk, *db, hr::kInvalidArg, [&] { db->insertRow("People", row); }, c.words);
        expectRefused(
            disk, *db, hr::kInvalidArg, [&] { db->updateRow("People", id, row); }, c.words);
    }
    std::vector<Value> shortRow(3);
    expectRefused(
        disk, *db, hr::kInvalidArg, [&] { db->insertRow("People", shortRow); }, "needs 15 values");
    EXPECT_EQ(implOf(*db).tableDef("People").rowCount, 1u);
    EXPECT_EQ(implOf(*db).tableDef("People").autoNumber, 1u);
    expectSound(*db);
}

TEST(RowWrite, TablesAndDatabasesThatCannotBeChangedSayWhy) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    expectRefused(
        disk, *db, hr::kReadOnly,
        [&] {
            db->insertRow("MSysObjects",
                          std::vector<Value>(implOf(*db).tableDef("MSysObjects").columns.size()));
        },
        "system table");
    expectRefused(
        disk, *db, hr::kNotFound, [&] { db->insertRow("Nowhere", {}); }, "does not exist");

    auto readOnly = openSim(disk, true);
    expectRefused(
        disk, *readOnly, hr::kReadOnly, [&] { readOnly->insertRow("People", peopleRow(1, 0, 0)); },
        "read-only");

    // An image opened without a journal cannot be changed safely.
    OpenOptions rw;
    rw.readOnly = false;
    auto noJournal = Database::openFile(disk.open("db"), "db.mdb", rw);
    expectRefused(
        disk, *noJournal, hr::kNotSupported,
        [&] { noJournal->insertRow("People", peopleRow(1, 0, 0)); }, "without a journal");
}

TEST(RowWriteFile, MdbtoolsAndMdbReaderReadWhatWeWrote) {
    TempFile file(buildPeopleImage(), "people.mdb");
    std::vector<std::vector<Value>> expected;
    {
        OpenOptions rw;
        rw.readOnly = false;
        auto db = Database::open(file.path(), rw);
        std::vector<RowId> ids;
        for (int i = 0; i < 80; ++i)
            ids.push_back(
                db->insertRow("People", peopleRow(i, i % 3 == 0 ? 5000 : 30, i % 4 ? 0 : 6000)));
        std::vector<Value> grown = peopleRow(500, 9000, 100);
        grown[0] = Value();
        grown[10] = std::string("\xce\xa9", 2) + std::string(99, 'z');
        db->updateRow("People", ids[1], grown);  // moves off its full page
        db->deleteRow("People", ids[2]);
        db->deleteRow("People", ids[3]);
        expectSound(*db);
        expected = db->readTable("People").rows;
        // the blank journal stays beside the open file for the next change
        EXPECT_TRUE(std::filesystem::exists(file.path().string() + "-journal"));
    }
    // and goes with the last connection
    EXPECT_FALSE(std::filesystem::exists(file.path().string() + "-journal"));
    ASSERT_EQ(expected.size(), 78u);
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file.path(), "People");
        if (!t.available) continue;  // mdb-reader needs `npm ci`
        ASSERT_TRUE(t.ok) << t.output;
        ASSERT_EQ(t.rows.size(), expected.size()) << t.output.substr(0, 2000);
        int id = t.column("Id"), name = t.column("Name"), notes = t.column("Notes");
        ASSERT_GE(id, 0);
        ASSERT_GE(name, 0);
        ASSERT_GE(notes, 0);
        // Matched by Id: a moved row comes where its bytes are, not where its slot is, in
        // mdbtools' order.
        std::map<std::string, const std::vector<std::string>*> byId;
        for (const auto& row : t.rows)
            byId[row.at(id)] = &row;
        for (const auto& want : expected) {
            std::string key = std::to_string(want[0].as<int32_t>());
            ASSERT_TRUE(byId.count(key)) << "row " << key << " is missing";
            EXPECT_EQ(byId[key]->at(name), want[10].as<std::string>());
            EXPECT_EQ(byId[key]->at(notes), want[12].as<std::string>()) << "row " << key;
        }
    }
}
