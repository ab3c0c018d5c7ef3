// Several row changes as one: all land or none do, and reads inside see the change so far.
#include <gtest/gtest.h>

#include "SimDisk.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;

namespace {

std::vector<Value> keyedRow(int32_t code, const std::string& label) {
    return {Value(code), Value(label), Value(DateTime{45000.5 + code})};
}

size_t rowCount(Database& db, const char* table) {
    size_t n = 0;
    db.forEachRow(table, [&](RowId, const std::vector<Value>&) {
        ++n;
        return true;
    });
    return n;
}

void expectClean(Database& db) {
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << problems.front() << " (" << problems.size() << " findings)";
}

}  // namespace

TEST(Transact, ChangesInsideLandTogetherAndReadsSeeThemOnTheWay) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    RowId second;
    db->transact([&] {
        db->insertRow("Keyed", keyedRow(1, "one"));
        second = db->insertRow("Keyed", keyedRow(2, "two"));
        // Visible before the change is written: rows, counters and long values.
        EXPECT_EQ(rowCount(*db, "Keyed"), 2u);
        EXPECT_EQ(db->tableDef("Keyed").rowCount, 2u);
        db->insertRow("People", peopleRow(1, 3000, 100));
        auto people = db->readTable("People");
        ASSERT_EQ(people.rows.size(), 1u);
        EXPECT_EQ(people.rows[0][12], Value(pattern(3000, 1)));
        EXPECT_EQ(people.rows[0][0], Value(int32_t(1)));
        db->updateRow("Keyed", second, keyedRow(3, "three"));
        EXPECT_FALSE(disk.hotJournal("db-journal"));
    });
    EXPECT_FALSE(disk.hotJournal("db-journal"));
    db.reset();
    auto re = openSim(disk);
    auto keyed = re->readTable("Keyed");
    ASSERT_EQ(keyed.rows.size(), 2u);
    EXPECT_EQ(keyed.rows[1][1], Value(std::string("three")));
    EXPECT_EQ(rowCount(*re, "People"), 1u);
    expectClean(*re);
}

TEST(Transact, AnythingThrownInsideDropsTheWholeChange) {
    for (int variant = 0; variant < 3; ++variant) {
        SimDisk disk;
        disk.put("db", buildPeopleImage());
        auto db = openSim(disk);
        db->insertRow("Keyed", keyedRow(7, "kept"));
        const std::vector<uint8_t> before = disk.current("db");
        const int writes = disk.writes();
        try {
            db->transact([&] {
                db->insertRow("Keyed", keyedRow(8, "gone"));
                db->insertRow("People", peopleRow(2, 9000, 5000));
                if (variant == 0) throw std::runtime_error("caller gives up");
                if (variant == 1) db->insertRow("Keyed", keyedRow(7, "duplicate key"));
                // The caller swallows the refusal; the change is still spoiled.
                try {
                    db->insertRow("Keyed", keyedRow(8, "duplicate key"));
                } catch (const Error&) {
                }
            });
            ADD_FAILURE() << "variant " << variant << " was written";
        } catch (const Error& e) {
            EXPECT_NE(variant, 0);
            if (variant == 2) {
                EXPECT_EQ(e.code(), hr::kFail) << e.what();
            }
        } catch (const std::runtime_error&) {
            EXPECT_EQ(variant, 0);
        }
        EXPECT_EQ(disk.writes(), writes) << variant;
        EXPECT_TRUE(disk.current("db") == before) << variant;
        // The open database forgot the dropped change and goes on working.
        EXPECT_EQ(rowCount(*db, "Keyed"), 1u);
        EXPECT_EQ(db->tableDef("Keyed").rowCount, 1u);
        EXPECT_EQ(rowCount(*db, "People"), 0u);
        db->insertRow("Keyed", keyedRow(9, "after"));
        EXPECT_EQ(rowCount(*db, "Keyed"), 2u);
        expectClean(*db);
    }
}

TEST(Transact, ACrashWhileWritingTheChangeLeavesAllOrNothing) {
    SimDisk clean;
    clean.put("db", buildPeopleImage());
    auto work = [](Database& db) {
        db.transact([&] {
            for (int i = 0; i < 30; ++i)
                db.insertRow("Keyed", keyedRow(100 + i, "row " + std::to_string(i)));
            db.insertRow("People", peopleRow(3, 5000, 10));
        });
    };
    int writes = 0;
    {
        auto db = openSim(clean);
        work(*db);
        writes = clean.writes();  // the blank journal's removal at close is not the change's
    }
    ASSERT_GT(writes, 4);
    for (int n = 1; n <= writes; ++n) {
        SimDisk disk;
        disk.put("db", buildPeopleImage());
        disk.crashAt(n);
        {
            auto db = openSim(disk);
            EXPECT_THROW(work(*db), Error) << n;
        }
        SimDisk restart;
        for (auto& [name, bytes] : disk.image(n % 2 == 0))
            restart.put(name, bytes);
        auto re = openSim(restart);
        const size_t keyed = rowCount(*re, "Keyed");
        const size_t people = rowCount(*re, "People");
        EXPECT_TRUE((keyed == 0 && people == 0) || (keyed == 30 && people == 1))
            << "crash at write " << n << ": " << keyed << " keyed, " << people << " people";
        expectClean(*re);
    }
}
