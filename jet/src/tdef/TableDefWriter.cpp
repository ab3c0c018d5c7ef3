#include "tdef/TableDefWriter.h"

#include <algorithm>
#include <cctype>

#include "base/TextCodec.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

// Markers Access writes at the start of the definition, of each column descriptor and of each
// index block; readers skip them, Access checks them.
constexpr uint32_t kDefinitionMarker = 0x0659;
constexpr uint32_t kRealIndexMarker = 0x0783;
constexpr uint8_t kAscending = 0x01;
constexpr uint8_t kDescending = 0x00;

constexpr size_t kPageHeader = 8;
constexpr size_t kTrailingReserve = 8;
constexpr size_t kMaxIndexColumns = 10;

class Out {
public:
    explicit Out(std::vector<uint8_t>& b) : m_b(b) {}
    void u8(uint8_t v) { m_b.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void zeros(size_t n) { m_b.insert(m_b.end(), n, 0); }
    // Jet 3: a one-byte length, then the bytes of the database code page.
    void codePageName(const std::string& utf8, const TextCodec& text) {
        std::vector<uint8_t> bytes;
        uint32_t bad = 0;
        std::vector<uint16_t> units;
        if (!TextCodec::toUtf16(utf8, units))
            throw Error(hr::kInvalidArg, "The name '" + utf8 + "' is not valid text.");
        if (!text.encodeCodePage(utf8, bytes, bad))
            throw Error(hr::kInvalidArg, "The name '" + utf8 + "' holds the character " +
                                             TextCodec::characterName(bad) +
                                             ", which the database's code page cannot store.");
        if (bytes.size() > 0xFF)
            throw Error(hr::kInvalidArg, "The name '" + utf8.substr(0, 64) + "…' is too long.");
        u8(static_cast<uint8_t>(bytes.size()));
        m_b.insert(m_b.end(), bytes.begin(), bytes.end());
    }
    void name(const std::string& utf8) {
        std::vector<uint16_t> units;
        if (!TextCodec::toUtf16(utf8, units))
            throw Error(hr::kInvalidArg, "The name '" + utf8 + "' is not valid text.");
        if (units.size() * 2 > 0xFFFF)
            throw Error(hr::kInvalidArg, "The name '" + utf8.substr(0, 64) + "…' is too long.");
        u16(static_cast<uint16_t>(units.size() * 2));
        for (uint16_t u : units)
            u16(u);
    }

private:
    std::vector<uint8_t>& m_b;
};

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<const StoredColumn*> inStoredOrder(const StoredTableDef& def) {
    std::vector<const StoredColumn*> stored;
    stored.reserve(def.columns.size());
    for (const StoredColumn& c : def.columns)
        stored.push_back(&c);
    std::stable_sort(stored.begin(), stored.end(),
                     [](const StoredColumn* a, const StoredColumn* b) {
                         return a->descriptorIndex < b->descriptorIndex;
                     });
    return stored;
}

void checkIndexWidth(const StoredTableDef& def) {
    for (const StoredRealIndex& r : def.realIndexes)
        if (r.columns.size() > kMaxIndexColumns)
            throw Error(hr::kInvalidArg, "An index cannot have more than 10 fields.");
}

// The Access 97 layout: no definition marker, 18-byte column descriptors with the code page,
// 39-byte real-index and 20-byte logical-index blocks, names as code-page bytes.
std::vector<uint8_t> jet3Definition(const StoredTableDef& def, const TextCodec& text) {
    checkIndexWidth(def);
    const std::vector<const StoredColumn*> stored = inStoredOrder(def);
    std::vector<uint8_t> b;
    b.reserve(1024);
    Out o(b);
    o.zeros(8);  // page header, filled per page
    o.u32(0);    // definition length, filled below
    o.u32(def.rowCount);
    o.u32(def.autoNumber);
    o.u8(def.tableType);
    o.u16(def.maxColumnCount);
    o.u16(def.varColumnCount);
    o.u16(static_cast<uint16_t>(def.columns.size()));
    o.u32(static_cast<uint32_t>(def.indexes.size()));
    o.u32(static_cast<uint32_t>(def.realIndexes.size()));
    o.u32(def.ownedMap.raw);
    o.u32(def.freeMap.raw);

    for (const StoredRealIndex& r : def.realIndexes) {
        o.u32(r.statsWord0);
        o.u32(r.uniqueCount);
    }
    for (const StoredColumn* c : stored) {
        o.u8(static_cast<uint8_t>(c->type));
        o.u16(c->id);
        o.u16(c->varIndex);
        o.u16(c->columnNumber);
        o.u16(c->misc);
        o.u16(c->sortOrder);
        o.u16(c->codePage);
        o.u8(c->flags);
        o.u16(c->fixedOffset);
        o.u16(c->length);
    }
    for (const StoredColumn* c : stored)
        o.codePageName(c->name, text);

    for (const StoredRealIndex& r : def.realIndexes) {
        for (size_t k = 0; k < kMaxIndexColumns; ++k) {
            if (k < r.columns.size()) {
                o.u16(r.columns[k].columnId);
                o.u8(r.columns[k].ascending ? kAscending : kDescending);
            } else {
                o.u16(0xFFFF);
                o.u8(0);
            }
        }
        o.u32(r.usageMap.raw);
        o.u32(r.firstPage);
        o.u8(r.flags);
    }
    for (const IndexDef& x : def.indexes) {
        o.u32(x.number);
        o.u32(x.realIndex);
        o.u8(x.fkTableType);
        o.u32(static_cast<uint32_t>(x.fkRelatedIndex));
        o.u32(x.fkRelatedTablePage);
        o.u8(x.cascadeUpdates);
        o.u8(x.cascadeDeletes);
        o.u8(static_cast<uint8_t>(x.kind));
    }
    for (const IndexDef& x : def.indexes)
        o.codePageName(x.name, text);

    // Access 97 lists the long-value columns' maps in the order of the columns' names.
    std::vector<const StoredColumn*> byName = stored;
    std::stable_sort(byName.begin(), byName.end(),
                     [](const StoredColumn* a, const StoredColumn* b) {
                         return std::lexicographical_compare(
                             a->name.begin(), a->name.end(), b->name.begin(), b->name.end(),
                             [](char x, char y) {
                                 return std::tolower(static_cast<unsigned char>(x)) <
                                        std::tolower(static_cast<unsigned char>(y));
                             });
                     });
    for (const StoredColumn* c : byName) {
        if (!c->isLongValue()) continue;
        o.u16(c->id);
        o.u32(c->lvOwnedMap.raw);
        o.u32(c->lvFreeMap.raw);
    }
    o.u16(0xFFFF);

    put32(b, 0x08, static_cast<uint32_t>(b.size()));
    return b;
}

}  // namespace

std::vector<uint8_t> TableDefWriter::definition(const StoredTableDef& def, const TextCodec* text) {
    if (def.columns.size() > 0xFFFF)
        throw Error(hr::kInvalidArg,
                    "A table cannot have " + std::to_string(def.columns.size()) + " fields.");
    if (text && text->format() == Format::Jet3) return jet3Definition(def, *text);
    const std::vector<const StoredColumn*> stored = inStoredOrder(def);

    std::vector<uint8_t> b;
    b.reserve(1024);
    Out o(b);
    o.zeros(8);  // page header, filled per page
    o.u32(0);    // definition length, filled below
    o.u32(kDefinitionMarker);
    o.u32(def.rowCount);
    o.u32(def.autoNumber);
    o.u32(static_cast<uint32_t>(def.autoIncrement));
    o.u32(def.complexAutoNumber);
    o.zeros(8);
    o.u8(def.tableType);
    o.u16(def.maxColumnCount);
    o.u16(def.varColumnCount);
    o.u16(static_cast<uint16_t>(def.columns.size()));
    o.u32(static_cast<uint32_t>(def.indexes.size()));
    o.u32(static_cast<uint32_t>(def.realIndexes.size()));
    o.u32(def.ownedMap.raw);
    o.u32(def.freeMap.raw);

    for (const StoredRealIndex& r : def.realIndexes) {
        o.u32(r.statsWord0);
        o.u32(r.uniqueCount);
        o.u32(r.statsWord2);
    }

    for (const StoredColumn* c : stored) {
        o.u8(static_cast<uint8_t>(c->type));
        o.u32(kDefinitionMarker);
        o.u16(c->id);
        o.u16(c->varIndex);
        o.u16(c->columnNumber);
        if (c->type == ColumnType::Numeric) {
            o.u8(c->precision);
            o.u8(c->scale);
        } else {
            o.u16(c->sortOrder);
        }
        o.u8(c->sortId);
        o.u8(c->sortVersion);
        o.u8(c->flags);
        o.u8(c->extFlags);
        o.zeros(4);
        o.u16(c->fixedOffset);
        o.u16(c->length);
    }
    for (const StoredColumn* c : stored)
        o.name(c->name);

    checkIndexWidth(def);
    for (const StoredRealIndex& r : def.realIndexes) {
        o.u32(kRealIndexMarker);
        for (size_t k = 0; k < kMaxIndexColumns; ++k) {
            if (k < r.columns.size()) {
                o.u16(r.columns[k].columnId);
                o.u8(r.columns[k].ascending ? kAscending : kDescending);
            } else {
                o.u16(0xFFFF);
                o.u8(0);
            }
        }
        o.u32(r.usageMap.raw);
        o.u32(r.firstPage);
        o.u32(r.unknown2A);
        o.u8(r.flags);
        o.zeros(5);
    }

    for (const IndexDef& x : def.indexes) {
        o.u32(kDefinitionMarker);
        o.u32(x.number);
        o.u32(x.realIndex);
        o.u8(x.fkTableType);
        o.u32(static_cast<uint32_t>(x.fkRelatedIndex));
        o.u32(x.fkRelatedTablePage);
        o.u8(x.cascadeUpdates);
        o.u8(x.cascadeDeletes);
        o.u8(static_cast<uint8_t>(x.kind));
        o.zeros(4);
    }
    for (const IndexDef& x : def.indexes)
        o.name(x.name);

    for (const StoredColumn* c : stored) {
        if (!c->isLongValue()) continue;
        o.u16(c->id);
        o.u32(c->lvOwnedMap.raw);
        o.u32(c->lvFreeMap.raw);
    }
    o.u16(0xFFFF);

    put32(b, 0x08, static_cast<uint32_t>(b.size()));
    return b;
}

size_t TableDefWriter::pageCount(size_t length, uint32_t pageSize) {
    if (length + kTrailingReserve <= pageSize) return 1;
    // A chained definition fills its first page whole and every continuation page but the last,
    // which keeps the reserve (the reader joins pages without gaps).
    const size_t perPage = pageSize - kPageHeader;
    size_t rest = length > pageSize ? length - pageSize : 0;
    return 1 + (rest + kTrailingReserve + perPage - 1) / perPage;
}

size_t TableDefWriter::pageCount(const StoredTableDef& def, uint32_t pageSize,
                                 const TextCodec* text) {
    return pageCount(definition(def, text).size(), pageSize);
}

std::vector<std::vector<uint8_t>> TableDefWriter::pages(const StoredTableDef& def,
                                                        uint32_t pageSize,
                                                        const std::vector<uint32_t>& pageNumbers,
                                                        const TextCodec* text) {
    const bool jet3 = text && text->format() == Format::Jet3;
    const std::vector<uint8_t> body = definition(def, text);
    const size_t count = pageCount(body.size(), pageSize);
    if (pageNumbers.size() != count)
        throw Error(hr::kInvalidArg, "The definition of table '" + def.name + "' needs " +
                                         std::to_string(count) + " pages, not " +
                                         std::to_string(pageNumbers.size()) + ".");
    std::vector<std::vector<uint8_t>> out(count, std::vector<uint8_t>(pageSize, 0));
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        std::vector<uint8_t>& p = out[i];
        size_t start = i == 0 ? 0 : kPageHeader;
        size_t n = std::min(body.size() - pos, size_t(pageSize) - start);
        std::copy(body.begin() + pos, body.begin() + pos + n, p.begin() + start);
        pos += n;
        p[0] = 0x02;
        p[1] = 0x01;
        bool last = i + 1 == count;
        size_t used = start + n;
        if (jet3) {
            p[2] = 'V';  // Access 97 marks every definition page so
            p[3] = 'C';
        } else {
            put16(p, 2, last ? static_cast<uint16_t>(pageSize - used - kTrailingReserve) : 0);
        }
        put32(p, 4, last ? 0 : pageNumbers[i + 1]);
    }
    return out;
}

}  // namespace jet
