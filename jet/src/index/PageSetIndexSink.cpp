#include "index/PageSetIndexSink.h"

#include "jet/Error.h"
#include "page/PageSpace.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"

namespace jet::index {
namespace {

constexpr size_t kChainHeader = 8;   // continuation pages add their bytes from here
// Real-index block: usage-map pointer and root page follow the ten key columns, which Jet 4
// puts after four more bytes.
size_t mapInBlock(Format format) {
    return format == Format::Jet3 ? 30 : 34;
}
size_t rootInBlock(Format format) {
    return mapInBlock(format) + 4;
}
constexpr size_t kUniqueInStats = 4;

}  // namespace

PageSetIndexSink::PageSetIndexSink(PageSet& pages, const StoredTableDef& table, size_t realIndex,
                                   ParsedIndexPages* parsed)
    : m_pages(pages), m_table(table), m_realIndex(realIndex), m_parsed(parsed) {
    if (realIndex >= table.realIndexes.size())
        throw Error(hr::kInvalidArg, "Table \"" + table.name + "\" has no index number " +
                                         std::to_string(realIndex) + ".");
    m_what = "the map of index " + std::to_string(realIndex) + " of table \"" + table.name + "\"";
}

std::vector<uint8_t> PageSetIndexSink::readPage(uint32_t page) {
    return m_pages.read(page);
}

const std::vector<uint8_t>& PageSetIndexSink::pageBytes(uint32_t page) {
    return m_pages.read(page);
}

void PageSetIndexSink::writePage(uint32_t page, std::span<const uint8_t> bytes) {
    if (bytes.size() != m_pages.pageSize())
        throw Error(hr::kInvalidArg, "An index page of the wrong size was to be written.");
    std::vector<uint8_t>& p = m_pages.modify(page);
    p.assign(bytes.begin(), bytes.end());
}

uint32_t PageSetIndexSink::allocatePage() {
    PageSpace space(m_pages);
    const uint32_t page = space.allocate(std::vector<uint8_t>(m_pages.pageSize(), 0));
    space.setInMap(m_table.realIndexes[m_realIndex].usageMap, page, true, m_what);
    return page;
}

void PageSetIndexSink::freePage(uint32_t page) {
    PageSpace space(m_pages);
    space.setInMap(m_table.realIndexes[m_realIndex].usageMap, page, false, m_what);
    space.release(page);
}

void PageSetIndexSink::rootMoved(uint32_t page) {
    findFields();
    putDefinition32(m_blockOffset + rootInBlock(m_pages.format()), page);
}

uint32_t PageSetIndexSink::storedRoot() {
    findFields();
    return getDefinition32(m_blockOffset + rootInBlock(m_pages.format()));
}

void PageSetIndexSink::addToUniqueCount(int delta) {
    if (delta == 0) return;
    findFields();
    const uint32_t now = getDefinition32(m_statsOffset + kUniqueInStats);
    const int64_t next = int64_t(now) + delta;
    putDefinition32(m_statsOffset + kUniqueInStats, next < 0 ? 0u : static_cast<uint32_t>(next));
}

// The definition is one byte run over the TDEF chain: the first page whole,
// each later page from byte 8.
std::pair<uint32_t, size_t> PageSetIndexSink::definitionPlace(size_t offset) const {
    const uint32_t size = m_pages.pageSize();
    size_t k = 0;
    size_t at = offset;
    if (offset >= size) {
        k = 1 + (offset - size) / (size - kChainHeader);
        at = kChainHeader + (offset - size) % (size - kChainHeader);
    }
    if (k >= m_table.tdefPages.size())
        throwCorrupt("the definition of table \"" + m_table.name + "\" is shorter than it says");
    return {m_table.tdefPages[k], at};
}

uint8_t& PageSetIndexSink::definitionByte(size_t offset) {
    const auto [page, at] = definitionPlace(offset);
    return m_pages.modify(page)[at];
}

uint8_t PageSetIndexSink::definitionAt(size_t offset) {
    const auto [page, at] = definitionPlace(offset);
    return m_pages.read(page)[at];
}

uint32_t PageSetIndexSink::getDefinition32(size_t offset) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= uint32_t(definitionAt(offset + i)) << (8 * i);
    return v;
}

void PageSetIndexSink::putDefinition32(size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        definitionByte(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

void PageSetIndexSink::findFields() {
    if (m_found) return;
    const Format format = m_pages.format();
    const TableDefReader::Layout& L = TableDefReader::layout(format);
    const size_t realCount = m_table.realIndexes.size();
    m_statsOffset = L.bodyStart + L.statsSize * m_realIndex;
    size_t pos = L.bodyStart + L.statsSize * realCount + L.descriptorSize * m_table.columns.size();
    for (size_t i = 0; i < m_table.columns.size(); ++i) {
        // names: a one-byte length in Jet 3, two bytes in Jet 4
        if (format == Format::Jet3) {
            pos += 1 + definitionAt(pos);
        } else {
            const size_t len = definitionAt(pos) | (size_t(definitionAt(pos + 1)) << 8);
            pos += 2 + len;
        }
    }
    m_blockOffset = pos + L.realBlockSize * m_realIndex;
    // never write into a definition that does not read as the table we hold
    // (root and count may already have changed earlier in this change)
    const StoredRealIndex& index = m_table.realIndexes[m_realIndex];
    if (getDefinition32(m_blockOffset + mapInBlock(format)) != index.usageMap.raw)
        throwCorrupt("the definition of table \"" + m_table.name + "\" does not hold index " +
                     std::to_string(m_realIndex) +
                     " where it should; the index was left unchanged");
    m_found = true;
}

}  // namespace jet::index
