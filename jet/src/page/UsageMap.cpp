#include "page/UsageMap.h"

#include <algorithm>

#include "page/DataPage.h"
#include "page/MapPointer.h"

namespace jet {

namespace {

void addBits(ByteView bits, uint64_t base, std::vector<uint32_t>& out) {
    for (size_t i = 0; i < bits.size(); ++i) {
        uint8_t b = bits.data()[i];
        for (int k = 0; b != 0 && k < 8; ++k, b >>= 1) {
            uint64_t p = base + i * 8 + k;
            if ((b & 1) && p <= 0xFFFFFFFFull) out.push_back(static_cast<uint32_t>(p));
        }
    }
}

}  // namespace

UsageMap UsageMap::read(Pager& pager, MapPointer pointer) {
    UsageMap m;
    m.m_pointer = pointer;
    if (pointer.page() == 0 || pointer.page() >= pager.pageCount())
        throwCorrupt("a usage map pointer names page " + std::to_string(pointer.page()) +
                     ", which does not exist");
    DataPage dp(pager.page(pointer.page()), pager.format());
    if (pointer.row() >= dp.rowCount())
        throwCorrupt("a usage map pointer names row " + std::to_string(pointer.row()) +
                     " of page " + std::to_string(pointer.page()) + ", which has " +
                     std::to_string(dp.rowCount()) + " rows");
    auto slot = dp.slot(pointer.row());
    ByteView row = dp.row(slot);
    uint8_t type = row.u8(0);
    if (type == 0) {
        m.m_kind = Kind::Inline;
        m.m_start = row.u32(1);
        addBits(row.sub(5, row.size() - 5), m.m_start, m.m_pages);
    } else if (type == 1) {
        m.m_kind = Kind::Reference;
        const uint64_t perPage = uint64_t(pager.pageSize() - 4) * 8;
        size_t n = (row.size() - 1) / 4;
        for (size_t i = 0; i < n; ++i) {
            uint32_t bp = row.u32(1 + 4 * i);
            m.m_bitmapPages.push_back(bp);
            if (bp == 0) continue;
            PageRef page = pager.page(bp);
            if (page->type() != 0x05)
                throwCorrupt("usage map bitmap page " + std::to_string(bp) + " has type " +
                             std::to_string(page->type()));
            ByteView v = page->view();
            addBits(v.sub(4, v.size() - 4), i * perPage, m.m_pages);
        }
    } else {
        throwCorrupt("the usage map at page " + std::to_string(pointer.page()) + " row " +
                     std::to_string(pointer.row()) + " has unknown type " + std::to_string(type));
    }
    return m;
}

bool UsageMap::contains(uint32_t page) const {
    return std::binary_search(m_pages.begin(), m_pages.end(), page);
}

}  // namespace jet
