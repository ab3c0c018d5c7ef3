// Long-value pages as written here: a deleted row that a live one follows leaves a slot without
// flag bits, since a reader that takes a row's end from the previous slot unmasked would read
// the live row too long. Trailing deleted rows keep their flags, pages whose rows are all gone
// are given back, and an Access page with deleted rows before live ones is mended when written.
#include <gtest/gtest.h>

#include <map>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"

using namespace jet;
using namespace jettest;

namespace {

using B = Jet4ImageBuilder;

struct SlotCounts {
    int lvalPages = 0;
    int flaggedBeforeLive = 0;  // the layout some readers misread
    int flaggedTrailing = 0;
};

SlotCounts countSlots(const std::vector<uint8_t>& file) {
    SlotCounts c;
    for (size_t at = B::kPageSize; at + B::kPageSize <= file.size(); at += B::kPageSize) {
        if (file[at] != 0x01 || get32(file, at + 4) != 0x4C41564C) continue;
        ++c.lvalPages;
        const unsigned n = get16(file, at + 12);
        bool liveAfter = false;
        for (unsigned i = n; i-- > 0;) {
            const bool flagged = (get16(file, at + 14 + 2 * i) & 0xE000) != 0;
            if (!flagged)
                liveAfter = true;
            else if (liveAfter)
                ++c.flaggedBeforeLive;
            else
                ++c.flaggedTrailing;
        }
    }
    return c;
}

// The cells another reader finds in a column, by the text of the key column; binary ones as
// upper-case hex.
std::map<std::string, std::string> foreignCells(const ForeignTable& t, const std::string& key,
                                                const std::string& column, bool binary) {
    std::map<std::string, std::string> out;
    for (const auto& r : t.rows) {
        std::string v = r[size_t(t.column(column))];
        for (char& ch : v)
            if (binary) ch = char(std::toupper(uint8_t(ch)));
        out[r[size_t(t.column(key))]] = v;
    }
    return out;
}

// Both other readers (where installed) find these cells in the file.
void expectForeign(const std::vector<uint8_t>& file, const std::string& table,
                   const std::map<std::string, std::string>& notes,
                   const std::map<std::string, std::string>& blobs) {
    TempFile copy(file, "lv.mdb");
    for (auto reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(copy.path(), table);
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output.substr(0, 400);
        if (!notes.empty()) {
            EXPECT_EQ(foreignCells(t, "Id", "Notes", false), notes);
        }
        EXPECT_EQ(foreignCells(t, "Id", "Blob", true), blobs);
    }
}

}  // namespace

TEST(LongValuePages, DeletedRowsBeforeLiveOnesCarryNoFlagsAndEmptyPagesAreGivenBack) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    // Memos of 9000 bytes and OLE values of 5000: full-page chunks and tails of 856 and 928
    // bytes, four tails to a page.
    std::vector<RowId> ids;
    for (int i = 0; i < 8; ++i)
        ids.push_back(db->insertRow("People", peopleRow(i, 4500, 5000)));
    const int pagesBefore = countSlots(disk.current("db")).lvalPages;
    for (int i : {0, 2, 5})
        db->deleteRow("People", ids[size_t(i)]);
    db->deleteRow("People", ids[7]);  // the last tail of its page: stays flagged
    SlotCounts c = countSlots(disk.current("db"));
    EXPECT_EQ(c.flaggedBeforeLive, 0);
    EXPECT_GT(c.flaggedTrailing, 0);
    EXPECT_LT(c.lvalPages, pagesBefore);  // the full-page chunks' pages went back
    expectSound(*db);

    // A new value reads back on a page with deleted slots in front of it.
    db->insertRow("People", peopleRow(20, 700, 700));
    std::map<std::string, std::string> notes, blobs;
    for (const auto& r : db->readTable("People").rows) {
        notes[std::to_string(r[0].as<int32_t>())] = r[12].as<std::string>();
        blobs[std::to_string(r[0].as<int32_t>())] = upperHex(r[13].as<std::vector<uint8_t>>());
    }
    ASSERT_EQ(blobs.size(), 5u);
    EXPECT_EQ(countSlots(disk.current("db")).flaggedBeforeLive, 0);

    expectForeign(disk.current("db"), "People", notes, blobs);

    // Reopened, the unflagged slots are still taken for deleted ones: once every value is
    // gone, no long-value page is left.
    db.reset();
    db = openSim(disk);
    TableData rest = db->readTable("People");
    for (const RowId& id : rest.rowIds)
        db->deleteRow("People", id);
    EXPECT_EQ(countSlots(disk.current("db")).lvalPages, countSlots(buildPeopleImage()).lvalPages);
    expectSound(*db);
}

TEST(LongValuePages, AnAccessPageWithDeletedRowsBeforeLiveOnesIsMendedWhenWritten) {
    B b;
    const int t = b.addTable("Docs", {{"Id", ColumnType::Long}, {"Blob", ColumnType::Ole, false}});
    // Access leaves a deleted record's value behind as a deleted slot, here slot 0, in front
    // of a chained value.
    B::Cell gone = b.longValueSingle(t, "Blob", bytePattern(300, 1));
    B::Cell kept = b.longValueChain(t, "Blob", bytePattern(900, 2), 300);
    B::RowOptions deleted;
    deleted.deleted = true;
    b.addRow(t, {B::i32(1), gone}, deleted);
    b.addRow(t, {B::i32(2), kept});
    std::vector<uint8_t> image = b.build();
    const size_t lval = size_t(b.lvalPage(t, "Blob")) * B::kPageSize;
    put16(image, lval + 14, uint16_t(get16(image, lval + 14) | 0xC000));
    ASSERT_EQ(countSlots(image).flaggedBeforeLive, 1);

    SimDisk disk;
    disk.put("db", image);
    auto db = openSim(disk);
    db->insertRow("Docs", {int32_t(3), bytePattern(200, 3)});  // lands on the same page
    expectSound(*db);
    EXPECT_EQ(countSlots(disk.current("db")).flaggedBeforeLive, 0);
    const std::map<std::string, std::string> expected{{"2", upperHex(bytePattern(900, 2))},
                                                      {"3", upperHex(bytePattern(200, 3))}};
    expectForeign(disk.current("db"), "Docs", {}, expected);
}

TEST(LongValuePages, PageMapsAfterARemovedOneStayReadable) {
    // Both tables' maps share one page, the first table's in front; dropping it leaves deleted
    // map rows before the maps of the second, which readers reach by pointer as well.
    B b;
    b.addTable("First", {{"Id", ColumnType::Long}, {"Blob", ColumnType::Ole, false}});
    const int second =
        b.addTable("Second", {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, false, 50}});
    for (int i = 0; i < 30; ++i)
        b.addRow(second,
                 {B::i32(i), B::utf16(u"name " + std::u16string(1, char16_t('a' + i % 26)))});
    SimDisk disk;
    disk.put("db", b.build());
    auto db = openSim(disk);
    db->dropTable("First");
    expectSound(*db);
    EXPECT_FALSE(implOf(*db).tableDef("Second").ownedMap.raw == 0);
    const size_t rows = db->readTable("Second").rows.size();
    ASSERT_EQ(rows, 30u);
    db.reset();
    TempFile copy(disk.current("db"), "maps.mdb");
    for (auto reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(copy.path(), "Second");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output.substr(0, 400);
        EXPECT_EQ(t.rows.size(), rows);
    }
}
