// Many inserts in one change: their index entries are held back and written into the trees
// together, yet every refusal still comes from the insert that causes it, reads inside the
// change see the rows so far, and the file is what the same rows inserted one by one give.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "ForeignReaders.h"
#include "Jet4ImageBuilder.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "index/IndexTree.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;

namespace {

// Id: primary key; Name: unique text; Qty: an index with repeated keys; Note: no index.
std::vector<uint8_t> buildItemsImage() {
    Jet4ImageBuilder b;
    const int t = b.addTable("Items",
                             {{"Id", ColumnType::Long},
                              {"Name", ColumnType::Text, false, 100},
                              {"Qty", ColumnType::Int},
                              {"Note", ColumnType::Text, false, 200}},
                             {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary},
                              {"Name", {{1, true}}, 0x81},
                              {"Qty", {{2, false}}, 0x80}});
    b.setMapReach(t, 2000);
    return b.build();
}

std::string nameOf(int id) {
    // shared prefixes and lengths that vary, so that leaves share prefixes of changing length
    return "item " + std::to_string(id % 97) + "-" + std::to_string(id) + std::string(id % 13, 'x');
}

std::vector<Value> itemRow(int id) {
    return {Value(int32_t(id)), Value(nameOf(id)), Value(int16_t(id % 50)),
            Value("note for " + std::to_string(id))};
}

// Ids 0..n-1 in a random order: entries land all over the trees.
std::vector<int> shuffledIds(int from, int n, unsigned seed) {
    std::vector<int> ids(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        ids[size_t(i)] = from + i;
    std::shuffle(ids.begin(), ids.end(), std::mt19937(seed));
    return ids;
}

using Model = std::map<int32_t, std::vector<Value>>;

void expectMatches(Database& db, const Model& model, const std::string& where) {
    TableData data = db.readTable("Items");
    ASSERT_EQ(data.rows.size(), model.size()) << where;
    for (const auto& row : data.rows) {
        auto it = model.find(row[0].as<int32_t>());
        ASSERT_NE(it, model.end()) << where;
        EXPECT_EQ(row, it->second) << where;
    }
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << where << ": " << problems.front() << " (" << problems.size()
                                  << " findings)";
}

void expectForeignReadersAgree(const std::vector<uint8_t>& image, const Model& model) {
    TempFile copy(image, "items.mdb");
    for (const ForeignTable& t :
         {readWithMdbExport(copy.path(), "Items"), readWithMdbReader(copy.path(), "Items")}) {
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output.substr(0, 400);
        ASSERT_EQ(t.rows.size(), model.size());
        const int id = t.column("Id"), name = t.column("Name");
        ASSERT_TRUE(id >= 0 && name >= 0);
        for (const auto& r : t.rows) {
            auto it = model.find(int32_t(std::stol(r[size_t(id)])));
            ASSERT_NE(it, model.end()) << r[size_t(id)];
            EXPECT_EQ(r[size_t(name)], it->second[1].as<std::string>());
        }
    }
}

// Inserts the rows of these ids and notes them in the model.
std::map<int, RowId> insertAll(Database& db, const std::vector<int>& ids, Model& model) {
    std::map<int, RowId> at;
    for (int id : ids) {
        at[id] = db.insertRow("Items", itemRow(id));
        model[id] = itemRow(id);
    }
    return at;
}

std::string refusalOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), index::kIntegrityViolation) << e.what();
        return e.what();
    }
    ADD_FAILURE() << "not refused";
    return {};
}

}  // namespace

// An empty table filled in one change (the trees are written anew), then a few rows added
// to the full table in another (the entries go in one by one): both read back as the model,
// the checks find nothing, and other readers read every row.
TEST(BulkInsert, LargeAndSmallChangesMatchTheModel) {
    SimDisk disk;
    disk.put("db", buildItemsImage());
    auto db = openSim(disk);
    Model model;
    db->transact([&] { insertAll(*db, shuffledIds(0, 3000, 1), model); });
    expectMatches(*db, model, "after the large change");
    db->transact([&] { insertAll(*db, shuffledIds(5000, 40, 2), model); });
    expectMatches(*db, model, "after the small change");
    db.reset();
    auto re = openSim(disk);
    expectMatches(*re, model, "reopened");
    expectForeignReadersAgree(disk.current("db"), model);
}

// The same rows inserted one change each and all in one change give trees with the same
// entries: the held-back path writes nothing the row-by-row path would not.
TEST(BulkInsert, OneChangeGivesTheSameIndexesAsChangesOneByOne) {
    SimDisk single, batch;
    single.put("db", buildItemsImage());
    batch.put("db", buildItemsImage());
    auto one = openSim(single);
    auto all = openSim(batch);
    const std::vector<int> ids = shuffledIds(0, 600, 3);
    for (int id : ids)
        one->insertRow("Items", itemRow(id));
    all->transact([&] {
        for (int id : ids)
            all->insertRow("Items", itemRow(id));
    });
    // The rows sit on other pages (index pages are not taken among them), so each index is
    // compared by the Ids of its entries in order.
    auto idsInIndexOrder = [](Database& db, size_t r) {
        TableData data = db.readTable("Items");
        std::map<std::pair<uint32_t, uint8_t>, int32_t> idAt;
        for (size_t i = 0; i < data.rows.size(); ++i)
            idAt[{data.rowIds[i].page, data.rowIds[i].row}] = data.rows[i][0].as<int32_t>();
        const StoredTableDef& def = implOf(db).tableDef("Items");
        index::IndexTree tree(implOf(db).pager(), def.realIndexes[r].firstPage, def.tdefPage);
        std::vector<int32_t> ids;
        for (const index::IndexEntry& e : tree.readEntries())
            ids.push_back(idAt.at({e.row.page, e.row.row}));
        return ids;
    };
    for (size_t r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(implOf(*one).tableDef("Items").realIndexes[r].uniqueCount,
                  implOf(*all).tableDef("Items").realIndexes[r].uniqueCount);
        const std::vector<int32_t> a = idsInIndexOrder(*one, r), b = idsInIndexOrder(*all, r);
        EXPECT_EQ(a.size(), ids.size());
        EXPECT_TRUE(a == b);
    }
    // A few rows more into the full trees, where the entries go in one by one: keys new to
    // the tree, keys it has and keys repeated within the change are counted alike.
    auto extra = [](int id) {
        std::vector<Value> r = itemRow(id);
        r[2] = Value(int16_t(46 + id % 7));  // 46..49 stored, 50..52 new, each twice
        return r;
    };
    for (int id = 700; id < 714; ++id)
        one->insertRow("Items", extra(id));
    all->transact([&] {
        for (int id = 700; id < 714; ++id)
            all->insertRow("Items", extra(id));
    });
    for (size_t r = 0; r < 3; ++r)
        EXPECT_EQ(implOf(*one).tableDef("Items").realIndexes[r].uniqueCount,
                  implOf(*all).tableDef("Items").realIndexes[r].uniqueCount)
            << r;
    EXPECT_EQ(implOf(*all).tableDef("Items").realIndexes[2].uniqueCount, 53u);
    EXPECT_TRUE(checkIntegrity(*one).empty());
    EXPECT_TRUE(checkIntegrity(*all).empty());
}

// A duplicate in the middle of a large change is refused by its own insert, with the words a
// single insert gets, whether it clashes with a row of the same change or a stored one; the
// file stays byte for byte as it was.
TEST(BulkInsert, ADuplicateInTheMiddleIsRefusedAtItsInsertAndNothingIsWritten) {
    SimDisk disk;
    disk.put("db", buildItemsImage());
    auto db = openSim(disk);
    db->insertRow("Items", itemRow(77));
    const std::string single = refusalOf([&] {
        std::vector<Value> r = itemRow(78);
        r[1] = Value(nameOf(77));
        db->insertRow("Items", r);
    });
    ASSERT_NE(single.find(nameOf(77)), std::string::npos) << single;
    const std::vector<uint8_t> before = disk.current("db");
    const int writes = disk.writes();

    const std::vector<int> ids = shuffledIds(1000, 1500, 4);
    for (int clash : {77, ids[100]}) {  // stored before; inserted earlier in the same change
        SCOPED_TRACE(clash);
        int refusedAt = -1;
        std::string words;
        try {
            db->transact([&] {
                for (size_t i = 0; i < ids.size(); ++i) {
                    std::vector<Value> r = itemRow(ids[i]);
                    if (i == 900) {
                        r[1] = Value(nameOf(clash));
                        refusedAt = int(i);
                    }
                    db->insertRow("Items", r);
                    refusedAt = -1;
                }
            });
            ADD_FAILURE() << "the change was written";
        } catch (const Error& e) {
            words = e.what();
        }
        EXPECT_EQ(refusedAt, 900);
        EXPECT_NE(words.find(nameOf(clash)), std::string::npos) << words;
        if (clash == 77) {
            EXPECT_EQ(words, single);
        }
        EXPECT_EQ(disk.writes(), writes);
        EXPECT_TRUE(disk.current("db") == before);
        expectMatches(*db, Model{{77, itemRow(77)}}, "after the refusal");
    }
    // The same for the primary key, and a null where the key requires a value.
    const std::string pk = refusalOf([&] {
        db->transact([&] {
            db->insertRow("Items", itemRow(500));
            std::vector<Value> r = itemRow(501);
            r[0] = Value(int32_t(500));
            db->insertRow("Items", r);
        });
    });
    EXPECT_NE(pk.find("PrimaryKey"), std::string::npos) << pk;
    refusalOf([&] {
        db->transact([&] {
            db->insertRow("Items", itemRow(600));
            std::vector<Value> r = itemRow(601);
            r[0] = Value();
            db->insertRow("Items", r);
        });
    });
    EXPECT_TRUE(disk.current("db") == before);
}

// Keys held in ascending order are searched where they lie, and once one comes out of order
// all go into a table: a duplicate of a key from either stretch is refused by its insert.
TEST(BulkInsert, ADuplicateIsFoundWhetherTheKeysCameInOrderOrNot) {
    SimDisk disk;
    disk.put("db", buildItemsImage());
    auto db = openSim(disk);
    const std::vector<uint8_t> before = disk.current("db");
    auto withId = [](int name, int id) {
        std::vector<Value> r = itemRow(name);
        r[0] = Value(int32_t(id));
        return r;
    };
    // clash with a key of the ascending stretch, before and after the switch; and with one
    // that came after it
    for (const auto& [switched, clash] :
         std::vector<std::pair<bool, int>>{{false, 0}, {false, 298}, {true, 150}, {true, 350}}) {
        SCOPED_TRACE(clash);
        const std::string words = refusalOf([&] {
            db->transact([&] {
                for (int id = 0; id < 300; ++id)
                    db->insertRow("Items", itemRow(id));
                if (switched) {
                    db->insertRow("Items", itemRow(400));
                    db->insertRow("Items", itemRow(350));  // out of order
                    db->insertRow("Items", itemRow(360));
                }
                db->insertRow("Items", withId(900, clash));
            });
        });
        EXPECT_NE(words.find("PrimaryKey"), std::string::npos) << words;
        EXPECT_TRUE(disk.current("db") == before);
    }
    // Without a clash the same change is written whole.
    db->transact([&] {
        for (int id = 0; id < 300; ++id)
            db->insertRow("Items", itemRow(id));
        db->insertRow("Items", itemRow(400));
        db->insertRow("Items", itemRow(350));
        db->insertRow("Items", withId(900, 901));
    });
    Model model;
    for (int id = 0; id < 300; ++id)
        model[id] = itemRow(id);
    model[400] = itemRow(400);
    model[350] = itemRow(350);
    model[901] = withId(900, 901);
    expectMatches(*db, model, "after the change");
}

// Inside the change, anything that reads or edits an index sees the held-back entries: the
// integrity check, updates and deletes of rows just inserted, inserts after them.
TEST(BulkInsert, ReadsAndOtherChangesInsideSeeTheRowsSoFar) {
    SimDisk disk;
    disk.put("db", buildItemsImage());
    auto db = openSim(disk);
    Model model;
    db->transact([&] {
        std::map<int, RowId> at = insertAll(*db, shuffledIds(0, 800, 5), model);
        auto problems = checkIntegrity(*db);
        EXPECT_TRUE(problems.empty()) << problems.front();
        // a key change and a delete, each needing the entries inserted above
        std::vector<Value> moved = itemRow(9000);
        db->updateRow("Items", at[10], moved);
        model.erase(10);
        model[9000] = moved;
        db->deleteRow("Items", at[11]);
        model.erase(11);
        insertAll(*db, shuffledIds(2000, 300, 6), model);
    });
    expectMatches(*db, model, "after the change");
    db.reset();
    auto re = openSim(disk);
    expectMatches(*re, model, "reopened");
}

// A crash at any sampled write of a large change's commit leaves the file with all of the
// change or none of it, sound either way.
TEST(BulkInsert, ACrashWhileWritingALargeChangeLeavesAllOrNothing) {
    const std::vector<int> ids = shuffledIds(0, 1500, 7);
    auto work = [&](Database& db) {
        db.transact([&] {
            for (int id : ids)
                db.insertRow("Items", itemRow(id));
        });
    };
    SimDisk clean;
    clean.put("db", buildItemsImage());
    {
        auto db = openSim(clean);
        work(*db);
    }
    const int writes = clean.writes();
    ASSERT_GT(writes, 20);
    for (int n = 1; n <= writes; n += std::max(1, writes / 12)) {
        SimDisk disk;
        disk.put("db", buildItemsImage());
        disk.crashAt(n);
        {
            auto db = openSim(disk);
            EXPECT_THROW(work(*db), Error) << n;
        }
        SimDisk restart = restartFrom(disk, n % 2 == 0);
        auto re = openSim(restart);
        const size_t rows = re->readTable("Items").rows.size();
        EXPECT_TRUE(rows == 0 || rows == ids.size()) << "crash at write " << n << ": " << rows;
        expectSound(*re, "crash at write " + std::to_string(n));
    }
}
