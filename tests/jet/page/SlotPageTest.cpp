#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "page/SlotPage.h"

namespace jet {
namespace {

std::vector<uint8_t> rowOf(size_t length, uint8_t fill) {
    return std::vector<uint8_t>(length, fill);
}

// The bytes store() gives the page with `rows` appended, the slow way.
std::vector<uint8_t> repacked(std::vector<uint8_t> page,
                              const std::vector<std::vector<uint8_t>>& rows) {
    SlotPage sp(page, 7);
    for (const auto& r : rows)
        sp.slots().push_back(SlotPage::Slot{0, r});
    sp.store(page);
    return page;
}

// Appending in place must give exactly the page that taking the page apart and storing it
// again gives, or readers would find other rows than the repacking writer would have left.
TEST(SlotPage, appendingInPlaceGivesTheStoredLayout) {
    const std::vector<uint8_t> empty = SlotPage::empty(4096, 42);
    std::vector<uint8_t> fast = empty;
    std::vector<std::vector<uint8_t>> rows;
    for (size_t i = 0; i < 40; ++i) {
        rows.push_back(rowOf(17 + i * 3, static_cast<uint8_t>(i + 1)));
        uint32_t slot = 99;
        ASSERT_TRUE(SlotPage::appendPacked(fast, rows.back(), 0, slot));
        EXPECT_EQ(slot, i);
        ASSERT_EQ(fast, repacked(empty, rows)) << "after row " << i;
    }
    // A row that does not fit leaves the page as it was.
    const std::vector<uint8_t> before = fast;
    uint32_t slot = 0;
    EXPECT_FALSE(SlotPage::appendPacked(fast, rowOf(4000, 9), 0, slot));
    EXPECT_EQ(fast, before);
}

TEST(SlotPage, appendingInPlaceRefusesRowsOutOfSlotOrder) {
    std::vector<uint8_t> page = SlotPage::empty(4096, 42);
    uint32_t slot = 0;
    ASSERT_TRUE(SlotPage::appendPacked(page, rowOf(100, 1), 0, slot));
    ASSERT_TRUE(SlotPage::appendPacked(page, rowOf(100, 2), 0, slot));
    // Swap the two slot entries: the last slot's row is no longer the lowest, so a row put below
    // it would end where another row starts.
    std::swap(page[14], page[16]);
    std::swap(page[15], page[17]);
    const std::vector<uint8_t> before = page;
    EXPECT_FALSE(SlotPage::appendPacked(page, rowOf(10, 3), 0, slot));
    EXPECT_EQ(page, before);
    // An offset beyond the page end is no layout to append to either.
    page[16] = 0xFF;
    page[17] = 0x1F;
    EXPECT_FALSE(SlotPage::appendPacked(page, rowOf(10, 3), 0, slot));
}

}  // namespace
}  // namespace jet
