// Files whose page maps are at the end of their reach: the global free-page map (inline on a
// full page, or a list of bitmap pages whose last one is full) and long-value maps with a short
// list of bitmap pages. Rows and long values written across the boundary read back everywhere,
// every crash point of the growing change leaves it wholly there or absent, and only a map
// whose page has no room left refuses, changing nothing.
#include <gtest/gtest.h>

#include <functional>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "page/MapPointer.h"
#include "page/UsageMap.h"

using namespace jet;
using namespace jettest;

namespace {

using B = Jet4ImageBuilder;
constexpr uint32_t kPerBitmap = (B::kPageSize - 4) * 8;  // pages one bitmap page covers

uint8_t* pageAt(std::vector<uint8_t>& img, uint32_t n) {
    return img.data() + size_t(n) * B::kPageSize;
}

// The rows of a data page, as stored.
std::vector<std::vector<uint8_t>> pageRows(std::vector<uint8_t>& img, uint32_t n) {
    const uint8_t* p = pageAt(img, n);
    std::vector<std::vector<uint8_t>> rows;
    size_t end = B::kPageSize;
    for (unsigned i = 0; i < unsigned(p[12] | (p[13] << 8)); ++i) {
        const size_t start = (p[14 + 2 * i] | (p[15 + 2 * i] << 8)) & 0x1FFF;
        rows.emplace_back(p + start, p + end);
        end = start;
    }
    return rows;
}

// Lays the rows out again from the page end (header bytes up to the row count kept).
void setPageRows(std::vector<uint8_t>& img, uint32_t n,
                 const std::vector<std::vector<uint8_t>>& rows) {
    uint8_t* p = pageAt(img, n);
    std::fill(p + 12, p + B::kPageSize, uint8_t(0));
    size_t end = B::kPageSize, used = 14 + 2 * rows.size();
    for (size_t i = 0; i < rows.size(); ++i) {
        end -= rows[i].size();
        used += rows[i].size();
        std::copy(rows[i].begin(), rows[i].end(), p + end);
        p[14 + 2 * i] = uint8_t(end);
        p[15 + 2 * i] = uint8_t(end >> 8);
    }
    ASSERT_LE(used, B::kPageSize) << "rows do not fit page " << n;
    p[2] = uint8_t((B::kPageSize - used) & 0xFF);
    p[3] = uint8_t((B::kPageSize - used) >> 8);
    p[12] = uint8_t(rows.size());
}

void setBit(uint8_t* bits, uint32_t i) {
    bits[i / 8] = uint8_t(bits[i / 8] | (1u << (i % 8)));
}

std::vector<uint8_t> referenceRow(size_t slots, std::vector<uint32_t> bitmaps) {
    std::vector<uint8_t> row(1 + 4 * slots, 0);
    row[0] = 1;
    for (size_t i = 0; i < bitmaps.size(); ++i)
        put32(row, 1 + 4 * i, bitmaps[i]);
    return row;
}

enum class FreeMapForm { InlineOnFullPage, ReferenceAtLastBitmap };

struct GrowthImage {
    std::vector<uint8_t> bytes;
    uint32_t fileEnd = 0;
};

// Tables "Filler" (owning empty data pages up to fileEnd through a reference map) and "Grow"
// (key, text, memo, OLE). The global free map reaches exactly its limit: an inline row of 64
// bytes on a page with no room to lengthen it, or a reference row whose only bitmap page covers
// up to page kPerBitmap - 1. (An inline row of other lengths: `inlineBytes`.) Grow's OLE pages are
// listed by a reference row with room for one bitmap page only. `tightMapPage` leaves the page of
// Grow's maps without a free byte.
GrowthImage growthImage(FreeMapForm form, uint32_t fileEnd, bool tightMapPage = false,
                        size_t inlineBytes = 64) {
    B b;
    const int filler = b.addTable("Filler", {{"N", ColumnType::Long}});
    b.addTable("Grow",
               {{"Id", ColumnType::Long, true, 0, 0x04},
                {"Name", ColumnType::Text, false, 100},
                {"Notes", ColumnType::Memo, false},
                {"Blob", ColumnType::Ole, false}},
               {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary}});
    GrowthImage out;
    out.bytes = b.build();
    out.fileEnd = fileEnd;
    std::vector<uint8_t>& img = out.bytes;
    MapPointer fillerMap, blobMap;
    {
        auto db = openImage(img);
        fillerMap = implOf(*db).tableDef("Filler").ownedMap;
        blobMap = implOf(*db).tableDef("Grow").columns[3].lvOwnedMap;
    }
    const uint32_t built = uint32_t(img.size() / B::kPageSize);
    const uint32_t fillerBitmap = built, globalBitmap = built + 1;
    img.resize(size_t(fileEnd) * B::kPageSize, 0);

    // Filler: its first data page and every page from built + 2 on.
    uint8_t* fb = pageAt(img, fillerBitmap);
    fb[0] = 0x05;
    fb[1] = 0x01;
    setBit(fb + 4, b.dataPage(filler));
    auto fillerPage = [&](uint32_t n) {
        const size_t at = size_t(n) * B::kPageSize;
        img[at] = 0x01;
        img[at + 1] = 0x01;
        put16(img, at + 2, B::kPageSize - 14);
        put32(img, at + 4, b.tdefPage(filler));
        setBit(fb + 4, n);
    };
    for (uint32_t n = built + 2; n < fileEnd; ++n)
        fillerPage(n);
    auto rows = pageRows(img, fillerMap.page());
    rows[fillerMap.row()] = referenceRow(17, {fillerBitmap});
    EXPECT_EQ(blobMap.page(), fillerMap.page());
    rows[blobMap.row()] = referenceRow(1, {});  // empty, one bitmap slot
    if (tightMapPage) {
        size_t used = 14 + 2 * (rows.size() + 1);
        for (const auto& r : rows)
            used += r.size();
        rows.push_back(std::vector<uint8_t>(B::kPageSize - used, 0));
    }
    setPageRows(img, fillerMap.page(), rows);

    // The global free map: free (set) only beyond the end of the file.
    auto global = pageRows(img, 1);
    if (form == FreeMapForm::InlineOnFullPage) {
        EXPECT_LE(fileEnd, inlineBytes * 8);
        std::vector<uint8_t> row(5 + inlineBytes, 0);
        for (uint32_t n = fileEnd; n < inlineBytes * 8; ++n)
            setBit(row.data() + 5, n);
        global[0] = row;
        // Row 1 is an empty map of the same shape; long enough here to fill page 1 but for 10
        // bytes, too few for a longer row 0.
        std::vector<uint8_t> filled(B::kPageSize - 14 - 4 - row.size() - 10, 0);
        global[1] = filled;
        // The second bitmap page is not needed: one more empty page of Filler.
        fillerPage(globalBitmap);
    } else {
        EXPECT_LE(fileEnd, kPerBitmap);
        global[0] = referenceRow(17, {globalBitmap});
        uint8_t* gb = pageAt(img, globalBitmap);
        gb[0] = 0x05;
        gb[1] = 0x01;
        for (uint32_t n = fileEnd; n < kPerBitmap; ++n)
            setBit(gb + 4, n);
    }
    setPageRows(img, 1, global);
    return out;
}

// Row i of Grow: a one-page memo and an OLE value chained over three pages.
std::vector<Value> growRow(int i) {
    return {Value(), "row " + std::to_string(i), pattern(3000, i), bytePattern(9000, i)};
}

UsageMap freeMap(Database& db) {
    return UsageMap::read(implOf(db).pager(), MapPointer{1u << 8});
}

// Every crash point of `change` before its database sync leaves the file sound with the change
// absent; one at its last write, after that sync, leaves it done.
void crashEveryWrite(const std::vector<uint8_t>& image,
                     const std::function<void(Database&)>& change) {
    auto rows = [](Database& db) { return db.readTable("Grow").rows; };
    const CrashRuns runs = crashAtEveryWrite(image, "growing the free map", change, rows);
    ASSERT_GT(runs.writes, 4);
    EXPECT_EQ(runs.foundBefore, 2 * (runs.writes - 1));
}

// Inserts rows that take the file past `boundary`, then deletes every third row, shrinks the
// long values of others and inserts more (reusing freed pages on both sides), each step one
// change. Returns the rows kept by Id.
std::map<int32_t, std::vector<Value>> growAcross(Database& db, uint32_t boundary) {
    std::map<int32_t, std::vector<Value>> model;
    int i = 0;
    auto insert = [&] {
        std::vector<Value> r = growRow(i++);
        db.insertRow("Grow", r);
        r[0] = int32_t(implOf(db).tableDef("Grow").autoNumber);
        model[r[0].as<int32_t>()] = r;
    };
    db.transact([&] {
        for (int k = 0; k < 6; ++k)
            insert();
    });
    EXPECT_GT(db.pageCount(), boundary + 8);
    TableData data = db.readTable("Grow");
    db.transact([&] {
        for (size_t k = 0; k < data.rows.size(); ++k) {
            const int32_t id = data.rows[k][0].as<int32_t>();
            if (k % 3 == 0) {
                db.deleteRow("Grow", data.rowIds[k]);
                model.erase(id);
            } else if (k % 3 == 1) {
                std::vector<Value> r = data.rows[k];
                r[3] = bytePattern(30, int(k));
                db.updateRow("Grow", data.rowIds[k], r);
                model[id] = r;
            }
        }
    });
    db.transact([&] {
        for (int k = 0; k < 4; ++k)
            insert();
    });
    return model;
}

void expectEverywhere(SimDisk& disk, const std::map<int32_t, std::vector<Value>>& model) {
    {
        auto db = openSim(disk, true);
        expectSound(*db, "after growing");
        TableData data = db->readTable("Grow");
        ASSERT_EQ(data.rows.size(), model.size());
        for (const auto& r : data.rows)
            EXPECT_EQ(r, model.at(r[0].as<int32_t>()));
    }
    TempFile copy(disk.current("db"), "grown.mdb");
    for (auto [reader, who] : {std::pair{&readWithMdbExport, "mdb-export"},
                               std::pair{&readWithMdbReader, "mdb-reader"}}) {
        ForeignTable t = reader(copy.path(), "Grow");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << who << ": " << t.output.substr(0, 500);
        ASSERT_EQ(t.rows.size(), model.size()) << who;
        for (const auto& r : t.rows) {
            const auto& m = model.at(std::stoi(r[size_t(t.column("Id"))]));
            EXPECT_EQ(r[size_t(t.column("Name"))], m[1].as<std::string>()) << who;
            EXPECT_EQ(r[size_t(t.column("Notes"))].size(), m[2].as<std::string>().size()) << who;
            EXPECT_EQ(r[size_t(t.column("Notes"))], m[2].as<std::string>()) << who;
            EXPECT_EQ(r[size_t(t.column("Blob"))].size(),
                      m[3].as<std::vector<uint8_t>>().size() * 2)
                << who;
        }
    }
}

}  // namespace

TEST(FreeMapGrowth, InlineFreeMapOnAFullPageBecomesAListOfBitmapPages) {
    const GrowthImage g = growthImage(FreeMapForm::InlineOnFullPage, 509);
    {
        auto db = openImage(g.bytes);
        expectSound(*db, "as built");
        ASSERT_EQ(freeMap(*db).kind(), UsageMap::Kind::Inline);
    }
    SimDisk disk;
    disk.put("db", g.bytes);
    auto db = openSim(disk);
    const auto model = growAcross(*db, 512);
    const UsageMap m = freeMap(*db);
    EXPECT_EQ(m.kind(), UsageMap::Kind::Reference);
    ASSERT_FALSE(m.bitmapPages().empty());
    EXPECT_GE(m.bitmapPages()[0], 509u);  // placed at the end of the file
    // Free exactly beyond the end of the file, and where released pages were given back.
    EXPECT_TRUE(m.contains(db->pageCount()));
    EXPECT_FALSE(m.contains(m.bitmapPages()[0]));
    db.reset();
    expectEverywhere(disk, model);

    crashEveryWrite(g.bytes, [](Database& d) {
        d.transact([&] {
            for (int i = 0; i < 3; ++i)
                d.insertRow("Grow", growRow(i));
        });
    });
}

TEST(FreeMapGrowth, AShortInlineFreeMapKeepsItsLengthWhenPageOneHasNoRoomForMore) {
    // 8 bitmap bytes (64 pages); the reference row that replaces it names up to 3 bitmap pages.
    const GrowthImage g = growthImage(FreeMapForm::InlineOnFullPage, 61, false, 8);
    SimDisk disk;
    disk.put("db", g.bytes);
    auto db = openSim(disk);
    expectSound(*db, "as built");
    const auto model = growAcross(*db, 64);
    const UsageMap m = freeMap(*db);
    EXPECT_EQ(m.kind(), UsageMap::Kind::Reference);
    EXPECT_EQ(m.bitmapPages().size(), 3u);
    db.reset();
    expectEverywhere(disk, model);
}

TEST(FreeMapGrowth, FreeMapGetsABitmapPageBeyondItsLastOne) {
    // A file of 128 MB: the free map's first bitmap page covers all but its last two pages.
    const GrowthImage g = growthImage(FreeMapForm::ReferenceAtLastBitmap, kPerBitmap - 2);
    SimDisk disk;
    disk.put("db", g.bytes);
    auto db = openSim(disk);
    expectSound(*db, "as built");
    const auto model = growAcross(*db, kPerBitmap);
    const UsageMap m = freeMap(*db);
    ASSERT_EQ(m.kind(), UsageMap::Kind::Reference);
    ASSERT_GE(m.bitmapPages().size(), 2u);
    EXPECT_EQ(m.bitmapPages()[1], kPerBitmap);  // the first page it covers is itself
    EXPECT_TRUE(m.contains(db->pageCount()));
    // The OLE map's one-slot row was lengthened to name its second bitmap page.
    const UsageMap blob =
        UsageMap::read(implOf(*db).pager(), implOf(*db).tableDef("Grow").columns[3].lvOwnedMap);
    ASSERT_GE(blob.bitmapPages().size(), 2u);
    EXPECT_NE(blob.bitmapPages()[1], 0u);
    db.reset();
    expectEverywhere(disk, model);

    crashEveryWrite(g.bytes, [](Database& d) { d.insertRow("Grow", growRow(0)); });
}

TEST(FreeMapGrowth, AMapWithNoRoomLeftRefusesAndChangesNothing) {
    const GrowthImage g = growthImage(FreeMapForm::ReferenceAtLastBitmap, kPerBitmap - 2, true);
    SimDisk disk;
    disk.put("db", g.bytes);
    auto db = openSim(disk);
    try {
        db->insertRow("Grow", growRow(0));
        FAIL() << "an OLE value was stored beyond what its page map can name";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), hr::kNotSupported);
        EXPECT_NE(std::string(e.what()).find("no room left"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("'Blob'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(disk.current("db"), g.bytes);
    // Values that stay within reach are still taken.
    db->insertRow("Grow", {Value(), "small", "memo", bytePattern(40, 1)});
    EXPECT_EQ(db->readTable("Grow").rows.size(), 1u);
    expectSound(*db, "after the refusal");
}
