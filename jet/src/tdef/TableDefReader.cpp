#include "tdef/TableDefReader.h"

#include <algorithm>
#include <unordered_set>

#include "base/ByteView.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

constexpr TableDefReader::Layout kJet4Layout{0x10, 0x14, 0x28, 0x29, 0x2B, 0x2D, 0x2F, 0x33,
                                             0x37, 0x3B, 0x3F, 12,   25,   52,   28};
constexpr TableDefReader::Layout kJet3Layout{0x0C, 0x10, 0x14, 0x15, 0x17, 0x19, 0x1B, 0x1F,
                                             0x23, 0x27, 0x2B, 8,    18,   39,   20};

// Jet allows 255 columns and a few dozen indexes; anything far beyond is a damaged count.
constexpr uint32_t kMaxColumns = 4096;
constexpr uint32_t kMaxIndexes = 4096;
// A full definition (255 columns, dozens of indexes) takes a handful of pages.
constexpr size_t kMaxChainPages = 256;

std::string readName(const ByteView& v, size_t& pos, Format format, const TextCodec& text) {
    size_t len;
    if (format == Format::Jet3) {
        len = v.u8(pos);
        pos += 1;
    } else {
        len = v.u16(pos);
        pos += 2;
    }
    ByteView bytes = v.sub(pos, len);
    pos += len;
    return text.decodeName(bytes.data(), bytes.size());
}

}  // namespace

const TableDefReader::Layout& TableDefReader::layout(Format format) {
    return format == Format::Jet3 ? kJet3Layout : kJet4Layout;
}

std::vector<uint8_t> TableDefReader::loadChain(Pager& pager, uint32_t tdefPage,
                                               std::vector<uint32_t>& pages) {
    std::vector<uint8_t> buf;
    std::unordered_set<uint32_t> seen;
    uint32_t p = tdefPage;
    pages.clear();
    while (true) {
        if (!seen.insert(p).second)
            throwCorrupt("the definition chain of the table at page " + std::to_string(tdefPage) +
                         " loops back to page " + std::to_string(p));
        PageRef page = pager.page(p);
        if (page->type() != 0x02)
            throwCorrupt("page " + std::to_string(p) +
                         " should hold a table definition but has type " +
                         std::to_string(page->type()));
        pages.push_back(p);
        if (pages.size() > kMaxChainPages)
            throwCorrupt("the definition of the table at page " + std::to_string(tdefPage) +
                         " spans more than " + std::to_string(kMaxChainPages) + " pages");
        const uint8_t* d = page->data();
        if (buf.empty())
            buf.assign(d, d + page->size());
        else
            buf.insert(buf.end(), d + 8, d + page->size());
        uint32_t next = page->view().u32(4);
        if (next == 0) break;
        p = next;
    }
    return buf;
}

StoredTableDef TableDefReader::read(Pager& pager, const TextCodec& text, uint32_t tdefPage) {
    const Format format = pager.format();
    const Layout& L = layout(format);
    StoredTableDef def;
    def.tdefPage = tdefPage;
    std::vector<uint8_t> buf = loadChain(pager, tdefPage, def.tdefPages);
    ByteView v(buf.data(), buf.size(), tdefPage);
    const std::string where = "the table definition at page " + std::to_string(tdefPage);

    def.definitionLength = v.u32(0x08);
    def.rowCount = v.u32(L.rowCount);
    def.autoNumber = v.u32(L.autoNumber);
    if (format == Format::Jet4) {
        def.autoIncrement = static_cast<int32_t>(v.u32(0x18));
        def.complexAutoNumber = v.u32(0x1C);
    }
    def.tableType = v.u8(L.tableType);
    def.maxColumnCount = v.u16(L.maxCols);
    def.varColumnCount = v.u16(L.varCols);
    def.columnCount = v.u16(L.colCount);
    uint32_t logicalCount = v.u32(L.logicalCount);
    uint32_t realCount = v.u32(L.realCount);
    def.ownedMap.raw = v.u32(L.ownedMap);
    def.freeMap.raw = v.u32(L.freeMap);
    if (def.columnCount > kMaxColumns || logicalCount > kMaxIndexes || realCount > kMaxIndexes)
        throwCorrupt(where + " has impossible counts (" + std::to_string(def.columnCount) +
                     " columns, " + std::to_string(logicalCount) + " indexes)");

    size_t pos = L.bodyStart;
    def.realIndexes.resize(realCount);
    for (uint32_t i = 0; i < realCount; ++i) {
        StoredRealIndex& r = def.realIndexes[i];
        r.number = i;
        r.statsWord0 = v.u32(pos);
        r.uniqueCount = v.u32(pos + 4);
        if (format == Format::Jet4) r.statsWord2 = v.u32(pos + 8);
        pos += L.statsSize;
    }

    def.columns.resize(def.columnCount);
    for (uint16_t i = 0; i < def.columnCount; ++i) {
        StoredColumn& c = def.columns[i];
        ByteView d = v.sub(pos, L.descriptorSize);
        c.descriptorIndex = i;
        c.type = static_cast<ColumnType>(d.u8(0));
        if (format == Format::Jet4) {
            c.id = d.u16(0x05);
            c.varIndex = d.u16(0x07);
            c.columnNumber = d.u16(0x09);
            c.sortOrder = d.u16(0x0B);
            c.precision = d.u8(0x0B);
            c.scale = d.u8(0x0C);
            c.sortId = d.u8(0x0D);
            c.sortVersion = d.u8(0x0E);
            c.flags = d.u8(0x0F);
            c.extFlags = d.u8(0x10);
            c.fixedOffset = d.u16(0x15);
            c.length = d.u16(0x17);
        } else {
            c.id = d.u16(0x01);
            c.varIndex = d.u16(0x03);
            c.columnNumber = d.u16(0x05);
            c.misc = d.u16(0x07);
            c.sortOrder = d.u16(0x09);
            c.codePage = d.u16(0x0B);
            c.precision = d.u8(0x0B);
            c.scale = d.u8(0x0C);
            c.flags = d.u8(0x0D);
            c.fixedOffset = d.u16(0x0E);
            c.length = d.u16(0x10);
        }
        if (c.type != ColumnType::Numeric) c.precision = c.scale = 0;
        pos += L.descriptorSize;
    }
    for (auto& c : def.columns)
        c.name = readName(v, pos, format, text);

    for (uint32_t i = 0; i < realCount; ++i) {
        StoredRealIndex& r = def.realIndexes[i];
        ByteView b = v.sub(pos, L.realBlockSize);
        size_t base = format == Format::Jet4 ? 4 : 0;
        for (int k = 0; k < 10; ++k) {
            uint16_t col = b.u16(base + 3 * k);
            uint8_t order = b.u8(base + 3 * k + 2);
            if (col == 0xFFFF) continue;
            r.columns.push_back(IndexColumn{col, order == 0x01});
        }
        size_t tail = base + 30;
        r.usageMap.raw = b.u32(tail);
        r.firstPage = b.u32(tail + 4);
        if (format == Format::Jet4) {
            r.unknown2A = b.u32(tail + 8);
            r.flags = b.u8(tail + 12);
        } else {
            r.flags = b.u8(tail + 8);
        }
        pos += L.realBlockSize;
    }

    def.indexes.resize(logicalCount);
    for (uint32_t i = 0; i < logicalCount; ++i) {
        IndexDef& x = def.indexes[i];
        ByteView b = v.sub(pos, L.logicalBlockSize);
        size_t base = format == Format::Jet4 ? 4 : 0;
        x.number = b.u32(base);
        x.realIndex = b.u32(base + 4);
        x.fkTableType = b.u8(base + 8);
        x.fkRelatedIndex = static_cast<int32_t>(b.u32(base + 9));
        x.fkRelatedTablePage = b.u32(base + 13);
        x.cascadeUpdates = b.u8(base + 17);
        x.cascadeDeletes = b.u8(base + 18);
        uint8_t kind = b.u8(base + 19);
        x.kind = kind == 1   ? IndexKind::Primary
                 : kind == 2 ? IndexKind::Foreign
                             : IndexKind::Normal;
        if (x.realIndex >= realCount)
            throwCorrupt(where + ": index " + std::to_string(i) + " refers to physical index " +
                         std::to_string(x.realIndex) + " of " + std::to_string(realCount));
        pos += L.logicalBlockSize;
    }
    for (auto& x : def.indexes)
        x.name = readName(v, pos, format, text);

    // Long-value column maps, ended by FF FF. Older files may end the definition without it.
    while (v.fits(pos, 2)) {
        uint16_t col = v.u16(pos);
        if (col == 0xFFFF) break;
        if (!v.fits(pos, 10)) break;
        MapPointer owned{v.u32(pos + 2)}, freeMap{v.u32(pos + 6)};
        for (auto& c : def.columns) {
            if (c.id == col) {
                c.lvOwnedMap = owned;
                c.lvFreeMap = freeMap;
            }
        }
        pos += 10;
    }

    std::stable_sort(def.columns.begin(), def.columns.end(),
                     [](const StoredColumn& a, const StoredColumn& b) { return a.id < b.id; });
    for (size_t i = 1; i < def.columns.size(); ++i)
        if (def.columns[i].id == def.columns[i - 1].id)
            throwCorrupt(where + " has two columns with id " + std::to_string(def.columns[i].id));
    return def;
}

}  // namespace jet
