#include "page/UsageMapRows.h"

#include "jet/Error.h"
#include "page/MapPointer.h"
#include "page/SlotPage.h"

namespace jet {

namespace {

// Type byte and 17 bitmap-page slots (33 on 2 KB pages): as long as Access's inline rows.
constexpr size_t kReferenceSlots = 17;
constexpr size_t kJet3ReferenceSlots = 33;

std::vector<uint8_t> emptyReferenceMap(uint32_t pageSize) {
    const size_t slots = pageSize == 2048 ? kJet3ReferenceSlots : kReferenceSlots;
    std::vector<uint8_t> row(1 + 4 * slots, 0);
    row[0] = 0x01;
    return row;
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

}  // namespace

std::vector<MapPointer> UsageMapRows::create(size_t count, uint32_t holder) {
    const std::vector<uint8_t> row = emptyReferenceMap(m_pages.pageSize());
    bool fits = false;
    if (holder != 0 && holder < m_pages.pageCount() && m_pages.read(holder)[0] == 0x01) {
        SlotPage sp(m_pages.read(holder), holder);
        // Only pages that hold maps alone (no owner) take more of them.
        fits = sp.owner() == 0 && sp.slots().size() + count <= SlotPage::kMaxSlots &&
               sp.freeSpace() >= long((row.size() + 2) * count);
    }
    if (!fits) holder = m_space.allocate(SlotPage::empty(m_pages.pageSize(), 0));
    std::vector<uint8_t>& bytes = m_pages.modify(holder);
    SlotPage sp(bytes, holder);
    std::vector<MapPointer> out;
    for (size_t i = 0; i < count; ++i) {
        // A tombstone left by a removed map is reused before the slot table grows.
        size_t slot = sp.slots().size();
        for (size_t s = 0; s < sp.slots().size(); ++s)
            if (sp.slots()[s].isTombstone()) {
                slot = s;
                break;
            }
        if (slot == sp.slots().size())
            sp.slots().push_back(SlotPage::Slot{0, row});
        else
            sp.slots()[slot] = SlotPage::Slot{0, row};
        out.push_back(MapPointer{holder << 8 | uint32_t(slot)});
    }
    sp.store(bytes);
    return out;
}

void UsageMapRows::releaseWithPages(MapPointer map) {
    if (map.raw == 0) return;
    for (uint32_t p : m_space.pagesOf(map))
        if (p > 2 && p < m_pages.pageCount()) m_space.release(p);
    remove(map);
}

void UsageMapRows::remove(MapPointer map) {
    if (map.raw == 0) return;
    const uint32_t holder = map.page();
    if (holder < 3 || holder >= m_pages.pageCount())
        throwCorrupt("a page map names page " + std::to_string(holder) + ", which cannot hold one");
    {
        const std::vector<uint8_t> page = m_pages.read(holder);
        SlotPage sp(page, holder);
        if (map.row() >= sp.slots().size())
            throwCorrupt("a page map names row " + std::to_string(map.row()) + " of page " +
                         std::to_string(holder) + ", which does not exist");
        if (sp.slots()[map.row()].isTombstone()) return;  // removed already
        const std::vector<uint8_t>& row = sp.slots()[map.row()].bytes;
        if (!row.empty() && row[0] == 0x01) {
            for (size_t at = 1; at + 4 <= row.size(); at += 4) {
                uint32_t bp = get32(row, at);
                if (bp > 2 && bp < m_pages.pageCount() && m_pages.read(bp)[0] == 0x05)
                    m_space.release(bp);
            }
        }
    }
    std::vector<uint8_t>& bytes = m_pages.modify(holder);
    SlotPage sp(bytes, holder);
    sp.slots()[map.row()] = SlotPage::Slot{SlotPage::kTombstone, {}};
    if (sp.allTombstones()) {
        m_space.release(holder);
        return;
    }
    sp.store(bytes);
}

}  // namespace jet
