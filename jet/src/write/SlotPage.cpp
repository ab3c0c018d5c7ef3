#include "write/SlotPage.h"

#include <memory>

#include "ByteView.h"
#include "DataPage.h"
#include "jet/Error.h"

namespace jet {

SlotPage::SlotPage(const std::vector<uint8_t>& page, uint32_t pageNumber)
    : m_pageSize(page.size()) {
    auto ref = std::make_shared<const Page>(pageNumber, page);
    DataPage dp(ref, Format::Jet4);
    m_owner = dp.owner();
    for (uint16_t i = 0; i < dp.rowCount(); ++i) {
        DataPage::Slot s = dp.slot(i);
        Slot out;
        out.flags = static_cast<uint16_t>(s.raw & (kDeleted | kOverflow));
        ByteView b = dp.row(s);
        out.bytes.assign(b.data(), b.data() + b.size());
        m_slots.push_back(std::move(out));
    }
}

std::vector<uint8_t> SlotPage::empty(uint32_t pageSize, uint32_t owner) {
    std::vector<uint8_t> p(pageSize, 0);
    p[0] = 0x01;
    p[1] = 0x01;
    uint16_t free = static_cast<uint16_t>(pageSize - kHeader);
    p[2] = free & 0xFF;
    p[3] = free >> 8;
    for (int i = 0; i < 4; ++i)
        p[4 + i] = static_cast<uint8_t>(owner >> (8 * i));
    return p;
}

long SlotPage::freeSpace() const {
    long used = long(kHeader) + 2 * long(m_slots.size());
    for (const Slot& s : m_slots)
        used += long(s.bytes.size());
    return long(m_pageSize) - used;
}

bool SlotPage::allTombstones() const {
    for (const Slot& s : m_slots)
        if (!s.isTombstone()) return false;
    return true;
}

void SlotPage::store(std::vector<uint8_t>& page) const {
    long free = freeSpace();
    if (free < 0 || m_slots.size() > kMaxSlots)
        throw Error(hr::kFail, "Internal error: the rows given do not fit on one page.");
    size_t end = page.size();
    const size_t rowArea = kHeader + 2 * m_slots.size();
    // Bytes 8..11 may hold a long-value chain stamp; they are kept.
    std::fill(page.begin() + 12, page.end(), uint8_t(0));
    page[2] = static_cast<uint8_t>(free & 0xFF);
    page[3] = static_cast<uint8_t>(free >> 8);
    page[12] = static_cast<uint8_t>(m_slots.size() & 0xFF);
    page[13] = static_cast<uint8_t>(m_slots.size() >> 8);
    for (size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& s = m_slots[i];
        size_t start = end - s.bytes.size();
        // A tombstone keeps a valid offset so that every reader accepts it.
        if (start < rowArea) start = rowArea;
        std::copy(s.bytes.begin(), s.bytes.end(), page.begin() + static_cast<long>(start));
        uint16_t raw = static_cast<uint16_t>(start | s.flags);
        page[kHeader + 2 * i] = raw & 0xFF;
        page[kHeader + 2 * i + 1] = raw >> 8;
        end = start;
    }
}

}  // namespace jet
