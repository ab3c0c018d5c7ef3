// A table growing past what its inline page maps reach (512 pages from their start): the maps
// become reference maps in place and the global free map lengthens, and other readers still
// find every record.
#include <gtest/gtest.h>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;

namespace {

uint8_t mapType(const std::vector<uint8_t>& file, MapPointer map) {
    const size_t page = size_t(map.page()) * Jet4ImageBuilder::kPageSize;
    const uint16_t entry =
        uint16_t(file[page + 14 + 2 * map.row()] | (file[page + 15 + 2 * map.row()] << 8)) & 0x1FFF;
    return file[page + entry];
}

}  // namespace

TEST(MapGrowth, TableGrowsPastItsInlineMaps) {
    using B = Jet4ImageBuilder;
    B b;
    b.addTable("Wide",
               {{"Id", ColumnType::Long, true, 0, 0x04},
                {"A", ColumnType::Text, false, 510},
                {"B", ColumnType::Text, false, 510},
                {"Blob", ColumnType::Ole, false}},
               {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary}});
    SimDisk disk;
    disk.put("db", b.build());
    auto db = openSim(disk);
    const StoredTableDef& def = implOf(*db).tableDef("Wide");
    ASSERT_EQ(mapType(disk.current("db"), def.ownedMap), 0);
    // Rows of ~0.5 KB (compressed text) and a page-sized long value each: ~570 pages in all.
    const int rows = 480;
    auto text = [](int i, char c) { return std::string(250, c) + std::to_string(i); };
    for (int done = 0; done < rows;) {
        db->transact([&] {
            for (int k = 0; k < 40; ++k, ++done)
                db->insertRow("Wide", {Value(), text(done, 'a'), text(done, 'b'),
                                       std::vector<uint8_t>(3000, uint8_t(done))});
        });
    }
    EXPECT_GT(db->pageCount(), 560u);
    const std::vector<uint8_t> file = disk.current("db");
    EXPECT_EQ(mapType(file, implOf(*db).tableDef("Wide").ownedMap), 1);
    EXPECT_EQ(mapType(file, implOf(*db).tableDef("Wide").columns[3].lvOwnedMap), 1);
    // Deleting and shrinking work through the new form too.
    TableData data = db->readTable("Wide");
    ASSERT_EQ(data.rows.size(), size_t(rows));
    for (size_t i = 0; i < data.rowIds.size(); i += 3)
        db->deleteRow("Wide", data.rowIds[i]);
    for (size_t i = 1; i < data.rowIds.size(); i += 3) {
        std::vector<Value> r = data.rows[i];
        r[3] = std::vector<uint8_t>(10, 7);
        db->updateRow("Wide", data.rowIds[i], r);
    }
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front() << " (" << problems.size() << ")";
    const size_t left = db->readTable("Wide").rows.size();
    EXPECT_EQ(left, size_t(rows) - (rows + 2) / 3);
    db.reset();

    TempFile copy(disk.current("db"), "wide.mdb");
    for (auto reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(copy.path(), "Wide");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output.substr(0, 500);
        EXPECT_EQ(t.rows.size(), left);
        int shrunk = 0;
        for (const auto& r : t.rows)
            shrunk += r[t.column("Blob")].size() <= 40;
        EXPECT_EQ(shrunk, rows / 3);
    }
}
