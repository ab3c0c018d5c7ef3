// Records of a table with a primary key: the index follows every insert, update and delete
// (across page splits), and a change the index refuses leaves the file as it was.
#include <gtest/gtest.h>

#include <set>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;

namespace {

std::vector<Value> keyedRow(int code) {
    return {int32_t(code), std::string("label ") + std::to_string(code), DateTime{40000.0 + code}};
}

void expectClean(Database& db, const std::string& where) {
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << where << ": " << problems.front() << " (" << problems.size()
                                  << " findings)";
}

}  // namespace

TEST(IndexedWrite, PrimaryKeyFollowsEveryChangeAndRefusesDuplicates) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    std::vector<RowId> ids;
    // Descending and ascending runs: entries land in the middle of full pages too.
    for (int i = 0; i < 700; ++i)
        ids.push_back(db->insertRow("Keyed", keyedRow(i % 2 ? 5000 - i : i)));
    expectClean(*db, "after inserts");

    auto refused = [&](const std::function<void()>& action, uint32_t code, const char* words) {
        const std::vector<uint8_t> before = disk.current("db");
        try {
            action();
            ADD_FAILURE() << "accepted: " << words;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), code) << e.what();
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
        EXPECT_TRUE(disk.current("db") == before) << words;
    };
    refused([&] { db->insertRow("Keyed", keyedRow(0)); }, index::kIntegrityViolation, "");
    refused([&] { db->updateRow("Keyed", ids[2], keyedRow(4999)); }, index::kIntegrityViolation,
            "");
    std::vector<Value> nullKey = keyedRow(1);
    nullKey[0] = Value();
    refused([&] { db->insertRow("Keyed", nullKey); }, index::kIntegrityViolation, "");

    // Key changes move entries between pages; deletes empty some pages.
    for (int i = 0; i < 700; i += 3)
        db->updateRow("Keyed", ids[i], keyedRow(10000 + i));
    for (int i = 1; i < 700; i += 2)
        db->deleteRow("Keyed", ids[i]);
    expectClean(*db, "after updates and deletes");
    EXPECT_EQ(db->readTable("Keyed").rows.size(), 350u);

    SimDisk restart;
    restart.put("db", disk.image(false).at("db"));
    auto re = openSim(restart);
    expectClean(*re, "after reopening");
}

TEST(IndexedWrite, ForeignReadersReadAnIndexedTableWeChanged) {
    TempFile file(buildPeopleImage(), "keyed.mdb");
    {
        OpenOptions rw;
        rw.readOnly = false;
        auto db = Database::open(file.path(), rw);
        std::vector<RowId> ids;
        for (int i = 0; i < 500; ++i)
            ids.push_back(db->insertRow("Keyed", keyedRow(i * 7 % 500)));
        for (int i = 0; i < 500; i += 5)
            db->deleteRow("Keyed", ids[i]);
        expectClean(*db, "written");
    }
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file.path(), "Keyed");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        EXPECT_EQ(t.rows.size(), 400u);
    }
}

// Key changes inside a change that is then refused, each followed by one that stands. A change
// keeps the index pages it parsed and wrote for the next one; what a dropped change wrote must
// not be taken for the pages as they are, or the next change would work on entries that were
// never stored.
TEST(IndexedWrite, ChangesAfterADroppedChangeKeepTheIndexWhole) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    std::vector<RowId> ids;
    std::vector<int> keyOf;
    std::set<int> taken;
    for (int i = 0; i < 600; ++i) {
        keyOf.push_back(i * 7 % 600);
        taken.insert(keyOf.back());
        ids.push_back(db->insertRow("Keyed", keyedRow(keyOf.back())));
    }
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 4;
    };
    auto freeKey = [&] {
        int key = int(next() % 100000);
        while (taken.count(key))
            ++key;
        return key;
    };
    for (int turn = 0; turn < 100; ++turn) {
        const size_t row = next() % ids.size();
        const size_t other = next() % ids.size();
        const int dropped = freeKey();
        EXPECT_THROW(db->transact([&] {
            db->updateRow("Keyed", ids[row], keyedRow(dropped));
            if (other != row) db->deleteRow("Keyed", ids[other]);
            db->insertRow("Keyed", keyedRow(dropped));  // refused: the key is taken now
        }),
                     Error);
        const int key = freeKey();
        db->updateRow("Keyed", ids[row], keyedRow(key));
        taken.erase(keyOf[row]);
        taken.insert(key);
        keyOf[row] = key;
    }
    expectClean(*db, "after the dropped changes");
    EXPECT_EQ(db->readTable("Keyed").rows.size(), ids.size());
    // every key in the rows is found through the index
    for (size_t row = 0; row < ids.size(); row += 7) {
        try {
            db->insertRow("Keyed", keyedRow(keyOf[row]));
            ADD_FAILURE() << "key " << keyOf[row] << " taken twice";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), index::kIntegrityViolation) << e.what();
        }
    }
}
