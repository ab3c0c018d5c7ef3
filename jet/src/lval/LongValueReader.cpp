#include "lval/LongValueReader.h"

#include <unordered_set>

#include "page/DataPage.h"

namespace jet {

ByteView LongValueReader::lvalRow(uint32_t pointer, PageRef& hold) {
    uint32_t page = pointer >> 8;
    uint8_t row = static_cast<uint8_t>(pointer & 0xFF);
    if (page == 0 || page >= m_pager.pageCount())
        throwCorrupt("a long value points to page " + std::to_string(page) +
                     ", which does not exist");
    hold = m_pager.page(page);
    if (m_visited) m_visited->emplace_back(m_column, page);
    DataPage dp(hold, m_pager.format());
    if (!dp.isLongValuePage())
        throwCorrupt("a long value points to page " + std::to_string(page) +
                     ", which holds no long values");
    auto slot = dp.slot(row);
    if (slot.deleted())
        throwCorrupt("a long value points to deleted row " + std::to_string(row) + " of page " +
                     std::to_string(page));
    return dp.row(slot);
}

void LongValueReader::read(const ByteView& field, std::vector<uint8_t>& out) {
    out.clear();
    if (field.size() < kDescriptorSize)
        throwCorrupt("a long value descriptor is only " + std::to_string(field.size()) +
                     " bytes long");
    uint32_t head = field.u32(0);
    uint32_t length = head & 0x3FFFFFFF;
    uint8_t kind = static_cast<uint8_t>((head >> 24) & 0xC0);
    uint32_t pointer = field.u32(4);
    // A value cannot be larger than the file that holds it.
    if (uint64_t(length) > uint64_t(m_pager.pageCount()) * m_pager.pageSize())
        throwCorrupt("a long value claims " + std::to_string(length) +
                     " bytes, more than the whole file");
    if (length > m_budget)
        throwCorrupt(
            "the long values read add up to more than the whole file holds; rows "
            "share one stored value");
    m_budget -= length;

    if (kind == kInline) {
        ByteView data = field.sub(kDescriptorSize, length);
        out.assign(data.data(), data.data() + data.size());
        return;
    }
    if (kind == kSinglePage) {
        PageRef hold;
        ByteView row = lvalRow(pointer, hold);
        ByteView data = row.sub(0, length);
        out.assign(data.data(), data.data() + data.size());
        return;
    }
    if (kind != kChained)
        throwCorrupt("a long value descriptor has unknown type " + std::to_string(kind));

    out.reserve(length);
    std::unordered_set<uint32_t> seen;
    while (true) {
        if (!seen.insert(pointer).second)
            throwCorrupt("the chain of a long value loops back to page " +
                         std::to_string(pointer >> 8) + " row " + std::to_string(pointer & 0xFF));
        PageRef hold;
        ByteView row = lvalRow(pointer, hold);
        uint32_t next = row.u32(0);
        size_t chunk = row.size() - 4;
        if (out.size() + chunk > length) chunk = length - out.size();
        out.insert(out.end(), row.data() + 4, row.data() + 4 + chunk);
        if (next == 0 || out.size() >= length) break;
        pointer = next;
    }
    if (out.size() != length)
        throwCorrupt("the chain of a long value holds " + std::to_string(out.size()) +
                     " bytes instead of " + std::to_string(length));
}

}  // namespace jet
