// Row changes on a table with two indexes, a journaled change each, on an in-memory disk: all
// land. The time per change is printed for a look; the benchmarks in bench/ measure it.
#include <gtest/gtest.h>

#include <chrono>

#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Database.h"

using namespace jet;
using namespace jettest;

TEST(WriteSpeed, RowChangesOnAnIndexedTable) {
    using B = Jet4ImageBuilder;
    B b;
    b.addTable(
        "Timed",
        {{"Id", ColumnType::Long, true, 0, 0x04},
         {"Name", ColumnType::Text, false, 100},
         {"Amount", ColumnType::Double}},
        {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary}, {"Name", {{1, true}}, 0x80}});
    SimDisk disk;
    disk.put("db", b.build());
    auto db = openSim(disk);
    using Clock = std::chrono::steady_clock;
    const int n = 400;
    std::vector<RowId> ids;
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i)
        ids.push_back(
            db->insertRow("Timed", {Value(), "name " + std::to_string(i * 7919 % n), double(i)}));
    auto t1 = Clock::now();
    for (int i = 0; i < n; ++i)
        db->updateRow("Timed", ids[size_t(i)],
                      {int32_t(i + 1), "renamed " + std::to_string(i), double(-i)});
    auto t2 = Clock::now();
    auto perOp = [&](Clock::time_point a, Clock::time_point z) {
        return std::chrono::duration<double, std::micro>(z - a).count() / n;
    };
    std::cout << "insert " << perOp(t0, t1) << " us, update " << perOp(t1, t2)
              << " us per change (2 indexes)\n";
    EXPECT_EQ(db->readTable("Timed").rows.size(), size_t(n));
}
