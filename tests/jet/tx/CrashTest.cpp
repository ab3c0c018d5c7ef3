// Crashes, full disks and I/O errors at every write of a change: after a restart the file is
// sound and the change is wholly there or wholly absent; after a reported error the file is as
// it was and the open database takes no further changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "tx/Journal.h"

using namespace jet;
using namespace jettest;

namespace {

enum class Op { Insert, Update, Delete, KeyedInsert };
const char* opName(Op op) {
    return op == Op::Insert   ? "insert"
           : op == Op::Update ? "update"
           : op == Op::Delete ? "delete"
                              : "insert with an index";
}

// People with three committed rows; the second has a chained memo and an OLE value.
struct Base {
    std::vector<uint8_t> image;
    std::vector<RowId> ids;
};

const Base& base() {
    static const Base b = [] {
        Base out;
        SimDisk disk;
        disk.put("db", buildPeopleImage());
        auto db = openSim(disk);
        for (int i = 0; i < 60; ++i)
            out.ids.push_back(
                db->insertRow("People", peopleRow(i, i == 1 ? 9000 : 20, i == 1 ? 5000 : 0)));
        for (int i = 0; i < 400; ++i)
            db->insertRow("Keyed", {int32_t(i * 2), std::string(18, 'k'), DateTime{1.0 * i}});
        out.image = disk.image(false).at("db");
        return out;
    }();
    return b;
}

// Each change touches several pages: data page, TDEF, LVAL pages, maps, the free-page map.
void apply(Database& db, Op op) {
    const Base& b = base();
    switch (op) {
        case Op::Insert:
            db.insertRow("People", peopleRow(100, 9000, 3000));
            return;
        case Op::Update: {
            std::vector<Value> row = peopleRow(101, 2500, 9000);
            row[10] = std::string("\xce\xa9", 2) + std::string(99, 'u');  // grows: the row moves
            db.updateRow("People", b.ids[1], row);
            return;
        }
        case Op::Delete:
            db.deleteRow("People", b.ids[1]);
            return;
        case Op::KeyedInsert:
            db.insertRow("Keyed", {int32_t(401), std::string(18, 'n'), DateTime{2.0}});
            return;
    }
}

std::vector<std::vector<Value>> rowsOf(Database& db) {
    auto rows = db.readTable("People").rows;
    auto keyed = db.readTable("Keyed").rows;
    rows.insert(rows.end(), keyed.begin(), keyed.end());
    return rows;
}

}  // namespace

// A change of many existing pages, committed in the same open before the change under test:
// that change's journal is then written over a longer one.
void longerChangeFirst(Database& db) {
    db.transact([&] {
        const TableData keyed = db.readTable("Keyed");
        for (size_t i = 0; i < keyed.rows.size(); ++i) {
            std::vector<Value> row = keyed.rows[i];
            row[1] = std::string(18, 'w');
            db.updateRow("Keyed", keyed.rowIds[i], row);
        }
        const std::vector<RowId>& people = base().ids;
        for (size_t i = 20; i < people.size(); ++i)
            db.deleteRow("People", people[i]);
    });
}

TEST(WriteCrash, EveryCrashPointLeavesTheChangeWhollyThereOrWhollyAbsent) {
    const Base& b = base();
    for (bool overLongerJournal : {false, true}) {
        const std::function<void(Database&)> first =
            overLongerJournal ? std::function<void(Database&)>(longerChangeFirst) : nullptr;
        for (Op op : {Op::Insert, Op::Update, Op::Delete, Op::KeyedInsert}) {
            const std::string name =
                std::string(opName(op)) + (overLongerJournal ? ", after a longer change" : "");
            if (overLongerJournal) {
                // the journal is written over, never cut short
                SimDisk disk;
                disk.put("db", b.image);
                auto db = openSim(disk);
                longerChangeFirst(*db);
                const size_t longer = disk.current("db-journal").size();
                ASSERT_GT(longer, Journal::kHeaderSize + 8 * 4100u) << name;
                apply(*db, op);
                EXPECT_GE(disk.current("db-journal").size(), longer) << name;
            }
            const CrashRuns runs = crashAtEveryWrite(
                b.image, name, [op](Database& db) { apply(db, op); }, rowsOf, first);
            ASSERT_GT(runs.writes, 4) << name;
            // Until the database is synced the change is undone on restart. The last write
            // blanks the journal's header after that sync: stopped there, the restart finds the
            // change done although the journal still holds the old pages.
            EXPECT_EQ(runs.foundBefore, 2 * (runs.writes - 1)) << name;
        }
    }
}

TEST(WriteCrash, ACrashWhileRollingBackIsRolledBackAgain) {
    const Base& b = base();
    SimDisk disk;
    disk.put("db", b.image);
    disk.crashAt(6);  // journal synced, some pages written
    {
        auto db = openSim(disk);
        EXPECT_THROW(apply(*db, Op::Update), Error);
    }
    SimDisk first = restartFrom(disk, false);
    ASSERT_TRUE(first.exists("db-journal"));
    for (int n = 1;; ++n) {
        SimDisk again = restartFrom(first, false);
        again.crashAt(n);
        try {
            openSim(again);
            break;  // rollback finished before write n
        } catch (const Error&) {
        }
        SimDisk last = restartFrom(again, false);
        auto db = openSim(last);
        expectSound(*db, "rollback crashed at write " + std::to_string(n));
        EXPECT_EQ(db->readTable("People").rows.size(), 60u);
        ASSERT_LT(n, 100);
    }
}

TEST(WriteCrash, AFailedWriteIsReportedLeavesTheFileAsItWasAndBlocksFurtherChanges) {
    const Base& b = base();
    for (Op op : {Op::Insert, Op::Update, Op::Delete, Op::KeyedInsert}) {
        for (int n = 1;; ++n) {
            const std::string where =
                std::string(opName(op)) + ", disk full at write " + std::to_string(n);
            SimDisk disk;
            disk.put("db", b.image);
            disk.failAt(n);
            auto db = openSim(disk);
            const auto before = rowsOf(*db);
            try {
                apply(*db, op);
                break;  // the change needed fewer writes
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), hr::kIoError) << where;
            }
            // Put back from memory at once: this open and the file agree.
            EXPECT_EQ(disk.current("db"), b.image) << where;
            EXPECT_EQ(rowsOf(*db), before) << where;
            try {
                db->insertRow("People", peopleRow(7, 0, 0));
                ADD_FAILURE() << where << ": a change was accepted after a failed write";
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()).find("reopen"), std::string::npos) << e.what();
            }
            db.reset();
            SimDisk restart = restartFrom(disk, true);
            auto re = openSim(restart);
            EXPECT_EQ(rowsOf(*re), before) << where;
            expectSound(*re, where);
            re->insertRow("People", peopleRow(8, 0, 0));  // a new open writes again
            ASSERT_LT(n, 100);
        }
    }
}

TEST(WriteCrash, HotJournalIsRefusedReadOnlyAndRolledBackOnADiskFile) {
    const Base& b = base();
    SimDisk disk;
    disk.put("db", b.image);
    disk.crashAt(7);
    {
        auto db = openSim(disk);
        EXPECT_THROW(apply(*db, Op::Insert), Error);
    }
    SimDisk restart = restartFrom(disk, true);
    ASSERT_TRUE(restart.exists("db-journal"));
    ASSERT_NE(restart.current("db"), b.image);
    try {
        openSim(restart, true);
        ADD_FAILURE() << "a read-only open read a half-changed file";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), hr::kLocked);
        EXPECT_NE(std::string(e.what()).find("open it for writing"), std::string::npos);
    }

    // The same files on disk, as the real journal store finds them.
    TempFile file(restart.current("db"), "crashed.mdb");
    const std::filesystem::path journal = file.path().string() + "-journal";
    {
        std::ofstream out(journal, std::ios::binary);
        const auto& j = restart.current("db-journal");
        out.write(reinterpret_cast<const char*>(j.data()), static_cast<std::streamsize>(j.size()));
    }
    OpenOptions ro;
    EXPECT_THROW(Database::open(file.path(), ro), Error);
    EXPECT_TRUE(std::filesystem::exists(journal));
    OpenOptions rw;
    rw.readOnly = false;
    {
        auto db = Database::open(file.path(), rw);
        EXPECT_FALSE(std::filesystem::exists(journal));
        expectSound(*db, "after rollback on disk");
        EXPECT_EQ(db->readTable("People").rows.size(), 60u);
    }
    EXPECT_EQ(readFileBytes(file.path()), b.image);
    // A torn journal (never completed) is discarded, and the file is left as it is.
    {
        std::ofstream out(journal, std::ios::binary);
        out << "TSJRNL01 torn";
    }
    auto db = Database::open(file.path(), rw);
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(db->readTable("People").rows.size(), 60u);
}
