#include "page/SlotPage.h"

#include <memory>

#include "base/ByteView.h"
#include "jet/Error.h"
#include "page/DataPage.h"

namespace jet {

SlotPage::SlotPage(const std::vector<uint8_t>& page, uint32_t pageNumber)
    : m_pageSize(page.size()) {
    auto ref = std::make_shared<const Page>(pageNumber, page);
    DataPage dp(ref, page.size() <= 2048 ? Format::Jet3 : Format::Jet4);
    m_owner = dp.owner();
    for (uint16_t i = 0; i < dp.rowCount(); ++i) {
        DataPage::Slot s = dp.slot(i);
        Slot out;
        out.flags = static_cast<uint16_t>(s.raw & (kDeleted | kOverflow));
        ByteView b = dp.row(s);
        out.bytes.assign(b.data(), b.data() + b.size());
        // Rows reached only through pointers have nothing to keep once deleted, and an empty
        // one is a deleted one whether or not its offset carries the flags (see store).
        if (reachedByPointer() && ((out.flags & kDeleted) != 0 || out.bytes.empty()))
            out = Slot{kTombstone, {}};
        m_slots.push_back(std::move(out));
    }
}

bool SlotPage::reachedByPointer() const {
    return m_owner == DataPage::kLvalMarker || m_owner == 0;
}

std::vector<uint8_t> SlotPage::empty(uint32_t pageSize, uint32_t owner) {
    std::vector<uint8_t> p(pageSize, 0);
    p[0] = 0x01;
    p[1] = 0x01;
    uint16_t free = static_cast<uint16_t>(pageSize - headerSize(pageSize));
    p[2] = free & 0xFF;
    p[3] = free >> 8;
    for (int i = 0; i < 4; ++i)
        p[4 + i] = static_cast<uint8_t>(owner >> (8 * i));
    return p;
}

long SlotPage::freeSpace() const {
    long used = long(headerSize(m_pageSize)) + 2 * long(m_slots.size());
    for (const Slot& s : m_slots)
        used += long(s.bytes.size());
    return long(m_pageSize) - used;
}

bool SlotPage::allTombstones() const {
    for (const Slot& s : m_slots)
        if (!s.isTombstone()) return false;
    return true;
}

bool SlotPage::appendPacked(std::vector<uint8_t>& page, const std::vector<uint8_t>& row,
                            uint16_t flags, uint32_t& slot) {
    const size_t kHeader = headerSize(page.size());
    if (page.size() <= kHeader || page[0] != 0x01) return false;
    const size_t count = statedSlots(page);
    if (count >= kMaxSlots || kHeader + 2 * (count + 1) > page.size()) return false;
    auto offset = [&](size_t i) {
        return size_t(page[kHeader + 2 * i] | page[kHeader + 2 * i + 1] << 8) &
               DataPage::kOffsetMask;
    };
    // Every row must lie between the last slot's offset and the page end, so that the space
    // below the last row is unused and the new row's end (the last slot's offset) is right.
    const size_t last = count == 0 ? page.size() : offset(count - 1);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = offset(i);
        if (at < last || at > page.size()) return false;
    }
    const size_t rowArea = kHeader + 2 * (count + 1);
    if (last < rowArea || last - rowArea < row.size()) return false;
    const long free = statedFree(page) - long(row.size()) - 2;
    if (free < 0) return false;
    const size_t start = last - row.size();
    std::copy(row.begin(), row.end(), page.begin() + static_cast<long>(start));
    const uint16_t raw = static_cast<uint16_t>(start | flags);
    page[kHeader + 2 * count] = raw & 0xFF;
    page[kHeader + 2 * count + 1] = raw >> 8;
    page[kHeader - 2] = static_cast<uint8_t>((count + 1) & 0xFF);
    page[kHeader - 1] = static_cast<uint8_t>((count + 1) >> 8);
    page[2] = static_cast<uint8_t>(free & 0xFF);
    page[3] = static_cast<uint8_t>(free >> 8);
    slot = static_cast<uint32_t>(count);
    return true;
}

void SlotPage::store(std::vector<uint8_t>& page) const {
    long free = freeSpace();
    if (free < 0 || m_slots.size() > kMaxSlots)
        throw Error(hr::kFail, "Internal error: the rows given do not fit on one page.");
    size_t end = page.size();
    const size_t kHeader = headerSize(page.size());
    const size_t rowArea = kHeader + 2 * m_slots.size();
    // On 4 KB pages bytes 8..11 may hold a long-value chain stamp; they are kept.
    std::fill(page.begin() + long(kHeader) - 2, page.end(), uint8_t(0));
    page[2] = static_cast<uint8_t>(free & 0xFF);
    page[3] = static_cast<uint8_t>(free >> 8);
    page[kHeader - 2] = static_cast<uint8_t>(m_slots.size() & 0xFF);
    page[kHeader - 1] = static_cast<uint8_t>(m_slots.size() >> 8);
    // Some readers take a row's end from the previous slot's offset without masking its flag
    // bits. Rows reached by pointer are read that way, so on their pages a deleted slot that a
    // live row follows is stored as an empty row without flags; readers scanning table pages
    // mask the offsets, and there an unflagged row would be a live one.
    size_t lastLive = 0;
    for (size_t i = 0; i < m_slots.size(); ++i)
        if (!m_slots[i].isTombstone()) lastLive = i + 1;
    const bool plainTombstones = reachedByPointer();
    for (size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& s = m_slots[i];
        size_t start = end - s.bytes.size();
        // A tombstone keeps a valid offset so that every reader accepts it.
        if (start < rowArea) start = rowArea;
        std::copy(s.bytes.begin(), s.bytes.end(), page.begin() + static_cast<long>(start));
        const bool plain = plainTombstones && i < lastLive && s.isTombstone();
        uint16_t raw = static_cast<uint16_t>(start | (plain ? 0 : s.flags));
        page[kHeader + 2 * i] = raw & 0xFF;
        page[kHeader + 2 * i + 1] = raw >> 8;
        end = start;
    }
}

}  // namespace jet
