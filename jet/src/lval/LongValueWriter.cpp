#include "lval/LongValueWriter.h"

#include <algorithm>
#include <unordered_set>

#include "jet/Error.h"
#include "page/DataPage.h"
#include "page/SlotPage.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

}  // namespace

std::string LongValueWriter::what(const StoredColumn& c) const {
    return "the long values of field '" + c.name + "' of table '" + m_table.name + "'";
}

uint32_t LongValueWriter::put(const StoredColumn& c, const std::vector<uint8_t>& row) {
    if (c.lvOwnedMap.raw == 0)
        throw Error(hr::kNotSupported, "Field '" + c.name + "' of table '" + m_table.name +
                                           "' has no page map for long values, so values over " +
                                           std::to_string(kInlineMax) +
                                           " bytes cannot be stored in it.");
    return m_space.placeRow(DataPage::kLvalMarker, c.lvOwnedMap, c.lvFreeMap, row, 0, what(c));
}

std::vector<uint8_t> LongValueWriter::store(const StoredColumn& c,
                                            const std::vector<uint8_t>& data) {
    std::vector<uint8_t> field(12, 0);
    const uint32_t len = static_cast<uint32_t>(data.size());
    // Access reads a table's property blob only from an LVAL page, never from the row.
    const bool properties = m_table.isSystemTable() && namesEqual(c.name, "LvProp");
    if (data.size() <= kInlineMax && !properties) {
        put32(field, 0, len | 0x80000000u);
        field.resize(12 + data.size());
        std::copy(data.begin(), data.end(), field.begin() + 12);
        return field;
    }
    const bool small = m_pages.pageSize() <= 2048;
    const size_t singleMax = small ? 2032 : kSingleMax;
    const size_t chunkMax = small ? 2028 : kChunkMax;
    if (data.size() <= singleMax) {
        put32(field, 0, len | 0x40000000u);
        put32(field, 4, put(c, data));
        return field;
    }
    // Last chunk first, so that each chunk knows where the next one lies.
    uint32_t next = 0;
    size_t chunks = (data.size() + chunkMax - 1) / chunkMax;
    for (size_t k = chunks; k-- > 0;) {
        size_t from = k * chunkMax;
        size_t n = std::min(chunkMax, data.size() - from);
        std::vector<uint8_t> row(4 + n);
        put32(row, 0, next);
        std::copy(data.begin() + static_cast<long>(from),
                  data.begin() + static_cast<long>(from + n), row.begin() + 4);
        next = put(c, row);
    }
    put32(field, 0, len);  // type 0: chained; chain stamp 0 (matches the zero in the page)
    put32(field, 4, next);
    return field;
}

void LongValueWriter::free(const StoredColumn& c, const std::vector<uint8_t>& field) {
    if (field.size() < 12) return;
    uint8_t kind = field[3] & 0xC0;
    if (kind == 0x80) return;
    uint32_t pointer = get32(field, 4);
    std::unordered_set<uint32_t> seen;
    std::vector<uint32_t> touched;
    while (pointer != 0 && seen.insert(pointer).second) {
        uint32_t page = pointer >> 8;
        uint8_t slot = pointer & 0xFF;
        if (page < 3 || page >= m_pages.pageCount())
            throwCorrupt("a long value of field '" + c.name + "' points to page " +
                         std::to_string(page) + ", which does not exist");
        std::vector<uint8_t>& bytes = m_pages.modify(page);
        SlotPage sp(bytes, page);
        if (sp.owner() != DataPage::kLvalMarker || slot >= sp.slots().size())
            throwCorrupt("a long value of field '" + c.name + "' points to page " +
                         std::to_string(page) + " row " + std::to_string(slot) +
                         ", which holds none");
        SlotPage::Slot& s = sp.slots()[slot];
        uint32_t next = kind == 0x00 && s.bytes.size() >= 4 ? get32(s.bytes, 0) : 0;
        s.flags = SlotPage::kTombstone;
        s.bytes.clear();
        sp.store(bytes);
        touched.push_back(page);
        pointer = next;
    }
    // Only once the whole chain is gone: a page given back is zeroed.
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    if (c.lvOwnedMap.raw != 0)
        for (uint32_t page : touched)
            m_space.settle(page, c.lvOwnedMap, c.lvFreeMap, what(c));
}

}  // namespace jet
