#include "row/TableScanner.h"

#include "base/VectorState.h"
#include "page/DataPage.h"
#include "page/UsageMap.h"
#include "row/RowDecoder.h"

namespace jet {

namespace {
// Access moves a row at most a few times; a longer chain is a loop or damage.
constexpr int kMaxOverflowHops = 16;
}  // namespace

ByteView TableScanner::resolveRow(Pager& pager, const PageRef& page, uint16_t slotIndex,
                                  PageRef& hold, std::unordered_set<uint32_t>* targets) {
    hold = page;
    DataPage dp(hold, pager.format());
    DataPage::Slot slot = dp.slot(slotIndex);
    for (int hop = 0; slot.overflow(); ++hop) {
        if (hop == kMaxOverflowHops)
            throwCorrupt("the moved row at page " + std::to_string(page->number()) + " row " +
                         std::to_string(slotIndex) + " points round in a loop");
        uint32_t ptr = dp.row(slot).u32(0);
        if (targets && !targets->insert(ptr).second)
            throwCorrupt("two rows point at the moved row at page " + std::to_string(ptr >> 8) +
                         " row " + std::to_string(ptr & 0xFF));
        uint32_t target = ptr >> 8;
        if (target == 0 || target >= pager.pageCount())
            throwCorrupt("a moved row points to page " + std::to_string(target) +
                         ", which does not exist");
        hold = pager.page(target);
        dp = DataPage(hold, pager.format());
        // The target slot is marked deleted so that scans skip it; read it all the same.
        slot = dp.slot(static_cast<uint16_t>(ptr & 0xFF));
        if (slot.deleted())
            slot.raw &= static_cast<uint16_t>(~DataPage::kDeleted & ~DataPage::kOverflow);
    }
    return dp.row(slot);
}

void TableScanner::scan(const Database::RowCallback& callback) {
    UsageMap owned = UsageMap::read(m_pager, m_def.ownedMap);
    RowDecoder decoder(m_pager, m_text, m_def);
    std::vector<Value> values;
    std::unordered_set<uint32_t> targets;
    for (uint32_t pageNo : owned.pages()) {
        if (pageNo >= m_pager.pageCount())
            throwCorrupt("the page map of table '" + m_def.name + "' lists page " +
                         std::to_string(pageNo) + ", past the end of the file");
        PageRef page = m_pager.page(pageNo);
        if (page->type() != 0x01) continue;
        DataPage dp(page, m_pager.format());
        if (dp.owner() != m_def.tdefPage) continue;
        // Per page, as the caller's code between rows may have left the state dirty again.
        clearUpperVectorState();
        for (uint16_t i = 0; i < dp.rowCount(); ++i) {
            DataPage::Slot slot = dp.slot(i);
            if (slot.deleted()) continue;
            if (!slot.overflow()) {
                // Most rows lie where their slot says; only moved ones need following.
                decoder.decode(dp.row(slot), values);
                if (!callback(RowId{pageNo, static_cast<uint8_t>(i)}, values)) return;
                continue;
            }
            PageRef hold;
            ByteView row = resolveRow(m_pager, page, i, hold, &targets);
            decoder.decode(row, values);
            if (!callback(RowId{pageNo, static_cast<uint8_t>(i)}, values)) return;
        }
    }
}

}  // namespace jet
