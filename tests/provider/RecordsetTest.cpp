#include <gtest/gtest.h>

#include "SnapshotFixture.h"
#include "provider/ProviderError.h"

using namespace tessor::provider;
using tessor::provider::testing::ids;
using tessor::provider::testing::people;

namespace {

uint32_t codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProviderError& e) {
        return e.code();
    }
    return 0;
}

int32_t currentId(Recordset& rs) {
    return rs.fields().item("id").value().toInt32();
}

}  // namespace

TEST(Recordset, WalksForwardAndBackward) {
    auto rs = people();
    EXPECT_EQ(rs->state(), ado::kStateOpen);
    EXPECT_EQ(rs->recordCount(), 7);
    EXPECT_FALSE(rs->isBOF());
    EXPECT_EQ(currentId(*rs), 1);
    int seen = 0;
    while (!rs->isEOF()) {
        ++seen;
        rs->moveNext();
    }
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(codeOf([&] { rs->moveNext(); }), hr::kNoCurrentRecord);
    EXPECT_EQ(codeOf([&] { rs->fields().item(0).value(); }), hr::kNoCurrentRecord);
    rs->movePrevious();
    EXPECT_EQ(currentId(*rs), 7);
    rs->moveFirst();
    rs->movePrevious();
    EXPECT_TRUE(rs->isBOF());
    EXPECT_EQ(codeOf([&] { rs->movePrevious(); }), hr::kNoCurrentRecord);
    rs->moveLast();
    EXPECT_EQ(currentId(*rs), 7);
}

TEST(Recordset, MoveCountsFromTheStartGiven) {
    auto rs = people();
    rs->move(4, ado::kBookmarkFirst);
    EXPECT_EQ(currentId(*rs), 5);
    rs->move(-2);
    EXPECT_EQ(currentId(*rs), 3);
    rs->move(0, ado::kBookmarkLast);
    EXPECT_EQ(currentId(*rs), 7);
    rs->move(7, ado::kBookmarkFirst);
    EXPECT_TRUE(rs->isEOF());
    rs->move(-100);
    EXPECT_TRUE(rs->isBOF());
    rs->move(6, ado::kBookmarkFirst);
    EXPECT_EQ(currentId(*rs), 7);
}

TEST(Recordset, EmptySnapshotIsAtBothEnds) {
    auto rs = Recordset::create();
    rs->openSnapshot(std::make_unique<RowStore>(std::vector<ColumnInfo>{{"A"}}));
    EXPECT_TRUE(rs->isBOF());
    EXPECT_TRUE(rs->isEOF());
    EXPECT_EQ(rs->recordCount(), 0);
    rs->moveFirst();
    rs->moveLast();
    EXPECT_TRUE(rs->isBOF() && rs->isEOF());
    EXPECT_EQ(codeOf([&] { rs->bookmark(); }), hr::kNoCurrentRecord);
    rs->setSort("A DESC");
    rs->find("A = 'x'", 1);
    EXPECT_TRUE(rs->isEOF());
}

TEST(Recordset, FieldsByIndexAndNameWithTypes) {
    auto rs = people();
    Fields& f = rs->fields();
    ASSERT_EQ(f.count(), 6u);
    EXPECT_EQ(f.item(1).name(), "Name");
    EXPECT_EQ(f.item("NAME").index(), 1u);
    EXPECT_EQ(f.item("born").typeCode(), 7);
    EXPECT_EQ(f.item("Active").typeCode(), 11);
    EXPECT_EQ(f.item("Name").typeCode(), 202);
    EXPECT_EQ(f.item("Name").value().toText(), "anna");
    rs->move(1, ado::kBookmarkFirst);
    EXPECT_EQ(f.item("Born").text(), "1899/12/29 00:00:00");
    EXPECT_TRUE(f.item("Score").value().isNull());
    EXPECT_EQ(f.item("Score").text(), "");
    EXPECT_EQ(codeOf([&] { f.item("Nope"); }), hr::kItemNotFound);
    EXPECT_EQ(codeOf([&] { f.item(6); }), hr::kItemNotFound);
}

TEST(Recordset, SortIgnoresCaseAndKeepsTiesInTableOrder) {
    auto rs = people();
    rs->setSort("Name ASC");
    // Null first, then the three spellings of anna in the table's order.
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{4, 1, 3, 6, 2, 5, 7}));
    EXPECT_EQ(currentId(*rs), 4);  // the first record is current after a sort
    rs->setSort("Name DESC");
    // Ties keep the table's order under DESC too; the null goes last.
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{7, 5, 2, 1, 3, 6, 4}));
    EXPECT_EQ(rs->sort(), "Name DESC");
}

TEST(Recordset, SortByTypesOtherThanText) {
    auto rs = people();
    rs->setSort("Born");
    // Dates before the epoch sort by the calendar: 1899-12-29 < 1899-12-30 12:00 < 1970.
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{3, 7, 2, 5, 4, 1, 6}));
    rs->setSort("Active, ID DESC");
    // Yes (-1) before no (0).
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{6, 3, 1, 7, 5, 4, 2}));
    rs->setSort("Score DESC");
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{4, 7, 1, 6, 5, 3, 2}));
}

TEST(Recordset, SortWithSeveralKeysBracketsAndRemoval) {
    auto rs = people();
    rs->setSort("[City] ASC, [Name] DESC");
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{5, 1, 3, 2, 6, 7, 4}));
    rs->setSort("  ");
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
    rs->setSort("city desc,id");
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{4, 7, 2, 6, 1, 3, 5}));
}

TEST(Recordset, BadSortChangesNothing) {
    auto rs = people();
    rs->setSort("ID DESC");
    rs->move(2, ado::kBookmarkFirst);
    EXPECT_EQ(codeOf([&] { rs->setSort("Nope ASC"); }), hr::kItemNotFound);
    // A bare name may hold blanks, so "ID UP" asks for a field of that name.
    EXPECT_EQ(codeOf([&] { rs->setSort("ID UP"); }), hr::kItemNotFound);
    EXPECT_EQ(codeOf([&] { rs->setSort("[ID] UP"); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->setSort("ID,,Name"); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->setSort("[ID DESC"); }), hr::kInvalidArgument);
    EXPECT_EQ(rs->sort(), "ID DESC");
    EXPECT_EQ(currentId(*rs), 5);
    EXPECT_EQ(ids(*rs), (std::vector<int32_t>{7, 6, 5, 4, 3, 2, 1}));
}

TEST(Recordset, BookmarksArePositionsInTheCurrentOrder) {
    auto rs = people();
    rs->move(2, ado::kBookmarkFirst);
    EXPECT_EQ(rs->bookmark(), 3);
    EXPECT_EQ(currentId(*rs), 3);
    rs->setSort("ID DESC");
    rs->move(2, ado::kBookmarkFirst);
    EXPECT_EQ(rs->bookmark(), 3);
    EXPECT_EQ(currentId(*rs), 5);
    rs->setBookmark(7);
    EXPECT_EQ(currentId(*rs), 1);
    EXPECT_EQ(rs->valueAt(rs->bookmark() - 1, 1).toText(), "anna");
    EXPECT_EQ(codeOf([&] { rs->setBookmark(0); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->setBookmark(8); }), hr::kInvalidArgument);
}

TEST(Recordset, FindForwardSkipsTheCurrentRecord) {
    auto rs = people();
    // The find dialog's "Down": skip 1 from the current record.
    rs->find("Name like '*ann*'", 1, ado::kSearchForward);
    EXPECT_EQ(currentId(*rs), 3);
    rs->find("Name like '*ann*'", 1, ado::kSearchForward);
    EXPECT_EQ(currentId(*rs), 6);
    rs->find("Name like '*ann*'", 1, ado::kSearchForward);
    EXPECT_TRUE(rs->isEOF());
    // Without skipping, the current record itself counts.
    rs->moveFirst();
    rs->find("Name like '*ann*'", 0);
    EXPECT_EQ(currentId(*rs), 1);
}

TEST(Recordset, FindBackwardAndFromABookmark) {
    auto rs = people();
    rs->moveLast();
    rs->find("City = 'PARIS'", 1, ado::kSearchBackward);
    EXPECT_EQ(currentId(*rs), 6);
    rs->find("City = 'PARIS'", 1, ado::kSearchBackward);
    EXPECT_EQ(currentId(*rs), 2);
    rs->find("City = 'PARIS'", 1, ado::kSearchBackward);
    EXPECT_TRUE(rs->isBOF());
    rs->find("ID = 4", 0, ado::kSearchForward, 2);
    EXPECT_EQ(currentId(*rs), 4);
    rs->find("ID >= 6", 2, ado::kSearchForward, 1);
    EXPECT_EQ(currentId(*rs), 6);
}

TEST(Recordset, FindFollowsTheSortOrder) {
    auto rs = people();
    rs->setSort("ID DESC");
    rs->find("Name = 'anna'", 0);
    EXPECT_EQ(currentId(*rs), 6);  // ANNA comes first in this order
    EXPECT_EQ(rs->bookmark(), 2);
    rs->find("Name = 'anna'", 1);
    EXPECT_EQ(currentId(*rs), 3);
}

TEST(Recordset, FindCriteriaOfAllKinds) {
    auto rs = people();
    rs->find("Name = 'O''Brien'", 0);
    EXPECT_EQ(currentId(*rs), 7);
    rs->moveFirst();
    rs->find("Score = 1.5", 1);
    EXPECT_EQ(currentId(*rs), 6);
    rs->moveFirst();
    rs->find("Born < #1899/12/30#", 0);
    EXPECT_EQ(currentId(*rs), 2);
    rs->moveFirst();
    rs->find("Active = True", 1);
    EXPECT_EQ(currentId(*rs), 3);
    rs->moveFirst();
    rs->find("[City] <> 'berlin'", 0);  // a null city matches nothing, not even <>
    EXPECT_EQ(currentId(*rs), 2);
    rs->moveFirst();
    rs->find("Name like 'o[!x]*'", 0);
    EXPECT_EQ(currentId(*rs), 7);
}

TEST(Recordset, BadCriteriaChangeNothing) {
    auto rs = people();
    rs->move(3, ado::kBookmarkFirst);
    EXPECT_EQ(codeOf([&] { rs->find("Nope = 1", 1); }), hr::kItemNotFound);
    EXPECT_EQ(codeOf([&] { rs->find("ID = 'abc'", 1); }), hr::kTypeMismatch);
    EXPECT_EQ(codeOf([&] { rs->find("Name = 'O'Brien'", 1); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->find("Name = 'open", 1); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->find("Name like '*[x*'", 1); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->find("Name", 1); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->find("ID = 1", -1); }), hr::kInvalidArgument);
    EXPECT_EQ(codeOf([&] { rs->find("ID = 1", 1, 0); }), hr::kInvalidArgument);
    EXPECT_EQ(currentId(*rs), 4);
}

// The engine reads the criterion; the field may still be named bare where its name holds
// blanks, and a literal that does not suit the field is named in the message.
TEST(Recordset, FindNamesFieldsWithBlanksAndExplainsMismatches) {
    std::vector<ColumnInfo> cols = {{"Order Date", DataType::Date, 8}, {"Qty", DataType::Integer}};
    auto store = std::make_unique<RowStore>(cols);
    for (double day : {43000.0, 43860.0, 43861.0}) {
        const Variant r[] = {Variant(Date{day}), Variant(int32_t(day) % 7)};
        store->appendRow(r);
    }
    auto rs = Recordset::create();
    rs->openSnapshot(std::move(store));
    rs->find("Order Date >= #2020/01/31#", 0);  // day 43861
    EXPECT_EQ(rs->position(), 2);
    rs->moveFirst();
    rs->find("[Order Date] < #2020/01/31# AND Qty = 5", 1);  // 43860 % 7 == 5
    EXPECT_EQ(rs->position(), 1);
    try {
        rs->find("Qty = abc", 0);
        FAIL() << "a word for a number";
    } catch (const ProviderError& e) {
        EXPECT_EQ(e.code(), hr::kTypeMismatch);
        EXPECT_STREQ(e.what(), "The value abc does not suit the type of field \"Qty\".");
    }
    EXPECT_EQ(codeOf([&] { rs->find("Order Dates = 1", 0); }), hr::kItemNotFound);
    EXPECT_EQ(rs->position(), 1);
}

TEST(Recordset, RequeryKeepsTheSortAndCloseEmptiesIt) {
    auto rs = people();
    rs->setSort("Name DESC");
    rs->moveLast();
    rs->requery();
    EXPECT_EQ(rs->sort(), "Name DESC");
    EXPECT_EQ(currentId(*rs), 7);
    const Field kept = rs->fields().item("Name");
    rs->close();
    EXPECT_EQ(codeOf([&] { kept.name(); }), hr::kItemNotFound);
    EXPECT_EQ(codeOf([&] { kept.value(); }), hr::kItemNotFound);
    EXPECT_EQ(rs->state(), ado::kStateClosed);
    EXPECT_EQ(rs->fields().count(), 0u);
    EXPECT_EQ(codeOf([&] { rs->isEOF(); }), hr::kObjectClosed);
    EXPECT_EQ(codeOf([&] { rs->moveFirst(); }), hr::kObjectClosed);
    rs->close();  // closing twice is harmless
    rs->openSnapshot(tessor::provider::testing::peopleStore());
    EXPECT_EQ(rs->sort(), "");
    EXPECT_EQ(currentId(*rs), 1);
}

TEST(Recordset, OpeningTwiceOrWithoutConnectionIsRefused) {
    auto rs = people();
    EXPECT_EQ(codeOf([&] { rs->openSnapshot(tessor::provider::testing::peopleStore()); }),
              hr::kObjectOpen);
    auto closed = Recordset::create();
    EXPECT_EQ(codeOf([&] { closed->open("Select * From T", nullptr); }), hr::kConnectionInvalid);
    EXPECT_EQ(codeOf([&] { rs->setCursorLocation(ado::kUseServer); }), hr::kObjectOpen);
}
