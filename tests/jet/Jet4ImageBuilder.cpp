#include "Jet4ImageBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "page/Rc4.h"

namespace jettest {

using jet::ColumnType;
using jet::IndexKind;

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

namespace {

void append16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void append32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint16_t naturalSize(ColumnType t) {
    switch (t) {
        case ColumnType::Bool:
            return 1;
        case ColumnType::Byte:
            return 1;
        case ColumnType::Int:
            return 2;
        case ColumnType::Long:
        case ColumnType::Float:
            return 4;
        case ColumnType::Money:
        case ColumnType::Double:
        case ColumnType::DateTime:
            return 8;
        case ColumnType::Guid:
            return 16;
        case ColumnType::Numeric:
            return 17;
        default:
            return 0;
    }
}

std::vector<uint8_t> utf16Bytes(const std::u16string& s) {
    std::vector<uint8_t> b;
    for (char16_t c : s)
        append16(b, c);
    return b;
}

}  // namespace

Jet4ImageBuilder::Cell Jet4ImageBuilder::i16(int16_t v) {
    std::vector<uint8_t> b;
    append16(b, static_cast<uint16_t>(v));
    return raw(b);
}
Jet4ImageBuilder::Cell Jet4ImageBuilder::i32(int32_t v) {
    std::vector<uint8_t> b;
    append32(b, static_cast<uint32_t>(v));
    return raw(b);
}
Jet4ImageBuilder::Cell Jet4ImageBuilder::i64(int64_t v) {
    std::vector<uint8_t> b;
    append32(b, static_cast<uint32_t>(v));
    append32(b, static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
    return raw(b);
}
Jet4ImageBuilder::Cell Jet4ImageBuilder::f64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    return i64(static_cast<int64_t>(u));
}
Jet4ImageBuilder::Cell Jet4ImageBuilder::f32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return i32(static_cast<int32_t>(u));
}
Jet4ImageBuilder::Cell Jet4ImageBuilder::utf16(const std::u16string& s) {
    return raw(utf16Bytes(s));
}
Jet4ImageBuilder::Cell Jet4ImageBuilder::compressed(const std::string& latin1) {
    std::vector<uint8_t> b{0xFF, 0xFE};
    b.insert(b.end(), latin1.begin(), latin1.end());
    return raw(b);
}

Jet4ImageBuilder::Jet4ImageBuilder(jet::Format format)
    : m_format(format),
      m_pageSize(format == jet::Format::Jet3 ? 2048 : kPageSize),
      m_countAt(format == jet::Format::Jet3 ? 0x08 : 0x0C) {
    // Page 0 the header, 1 the free-page map, then the system tables' definitions and the page
    // of their maps.
    m_mapPage = jet3() ? 6 : 3;
    m_pages.assign(m_mapPage + 1, std::vector<uint8_t>(m_pageSize, 0));
    const uint16_t textBytes = jet3() ? 255 : 510;  // 255 characters
    auto system = [&](const std::string& name, uint32_t tdef, std::vector<Column> columns,
                      std::vector<Index> indexes) {
        Table t;
        t.name = name;
        t.system = true;
        t.tdefPage = tdef;
        t.columns = std::move(columns);
        t.indexes = std::move(indexes);
        m_tables.push_back(std::move(t));
    };
    // The catalog's own columns, in column-id order, as Access creates them.
    std::vector<Column> catalog = {{"Id", ColumnType::Long},
                                   {"ParentId", ColumnType::Long},
                                   {"Name", ColumnType::Text, false, textBytes},
                                   {"Type", ColumnType::Int},
                                   {"DateCreate", ColumnType::DateTime},
                                   {"DateUpdate", ColumnType::DateTime},
                                   {"Owner", ColumnType::Binary, false, textBytes},
                                   {"Flags", ColumnType::Long},
                                   {"Database", ColumnType::Memo, false},
                                   {"Connect", ColumnType::Memo, false},
                                   {"ForeignName", ColumnType::Text, false, textBytes},
                                   {"RmtInfoShort", ColumnType::Binary, false, textBytes},
                                   {"RmtInfoLong", ColumnType::Ole, false},
                                   {"Lv", ColumnType::Ole, false},
                                   {"LvProp", ColumnType::Ole, false},
                                   {"LvModule", ColumnType::Ole, false},
                                   {"LvExtra", ColumnType::Ole, false}};
    if (!jet3()) {
        system("MSysObjects", 2, std::move(catalog), {});
        return;
    }
    // An Access 97 file: the catalog with its two indexes, and the tables of permissions,
    // queries and relationships on the pages page 0 names.
    system("MSysObjects", 2, std::move(catalog),
           {{"Id", {{0, true}}, 0x01, IndexKind::Primary},
            {"ParentIdName", {{1, true}, {2, true}}, 0x01}});
    system("MSysACEs", 3,
           {{"ObjectId", ColumnType::Long},
            {"SID", ColumnType::Binary, false, 255},
            {"ACM", ColumnType::Long},
            {"FInheritable", ColumnType::Bool}},
           {{"ObjectId", {{0, true}}, 0x08}});
    system("MSysQueries", 4,
           {{"ObjectId", ColumnType::Long},
            {"Attribute", ColumnType::Byte},
            {"Order", ColumnType::Binary, false, 255},
            {"Name1", ColumnType::Text, false, 255},
            {"Name2", ColumnType::Text, false, 255},
            {"Expression", ColumnType::Memo, false},
            {"Flag", ColumnType::Int}},
           {{"ObjectIdAttribute", {{0, true}, {1, true}, {2, true}}, 0x01}});
    system("MSysRelationships", 5,
           {{"szRelationship", ColumnType::Text, false, 255},
            {"grbit", ColumnType::Long},
            {"ccolumn", ColumnType::Long},
            {"icolumn", ColumnType::Long},
            {"szObject", ColumnType::Text, false, 255},
            {"szColumn", ColumnType::Text, false, 255},
            {"szReferencedObject", ColumnType::Text, false, 255},
            {"szReferencedColumn", ColumnType::Text, false, 255}},
           {{"szObject", {{4, true}}, 0x02},
            {"szReferencedObject", {{6, true}}, 0x02},
            {"szRelationship", {{0, true}}, 0x02}});
    for (const char* container : {"Forms", "Reports", "Scripts", "Modules"})
        addCatalogRow(container, 3);
}

uint32_t Jet4ImageBuilder::allocPage() {
    m_pages.emplace_back(m_pageSize, 0);
    return static_cast<uint32_t>(m_pages.size() - 1);
}

int Jet4ImageBuilder::addTable(const std::string& name, std::vector<Column> columns,
                               std::vector<Index> indexes) {
    Table t;
    t.name = name;
    t.columns = std::move(columns);
    t.indexes = std::move(indexes);
    t.tdefPage = allocPage();
    m_tables.push_back(std::move(t));
    return static_cast<int>(m_tables.size() - 1);
}

void Jet4ImageBuilder::addRow(int table, std::vector<Cell> cells, RowOptions options) {
    m_tables[table].rows.emplace_back(std::move(cells), options);
}

void Jet4ImageBuilder::addCatalogRow(const std::string& name, int16_t type, uint32_t flags) {
    int32_t id = static_cast<int32_t>(0x80000000u + m_extraCatalog.size());
    m_extraCatalog.push_back({name, id, type, flags});
}

void Jet4ImageBuilder::initDataPage(std::vector<uint8_t>& p, uint32_t owner) const {
    std::fill(p.begin(), p.end(), 0);
    p[0] = 0x01;
    p[1] = 0x01;
    put16(p, 2, static_cast<uint16_t>(m_pageSize - m_countAt - 2));
    put32(p, 4, owner);
}

uint8_t Jet4ImageBuilder::addToPage(std::vector<uint8_t>& p, const std::vector<uint8_t>& row,
                                    uint16_t flags) const {
    const size_t slots = m_countAt + 2;
    uint16_t count = get16(p, m_countAt);
    uint16_t low = count == 0 ? static_cast<uint16_t>(m_pageSize)
                              : (get16(p, slots + 2 * (count - 1)) & 0x1FFF);
    uint16_t free = get16(p, 2);
    if (row.size() + 2 > free) throw std::runtime_error("test row does not fit its page");
    uint16_t start = static_cast<uint16_t>(low - row.size());
    std::memcpy(p.data() + start, row.data(), row.size());
    put16(p, slots + 2 * count, static_cast<uint16_t>(start | flags));
    put16(p, m_countAt, static_cast<uint16_t>(count + 1));
    put16(p, 2, static_cast<uint16_t>(free - row.size() - 2));
    return static_cast<uint8_t>(count);
}

uint32_t Jet4ImageBuilder::lvalPageFor(int table, const std::string& column) {
    auto& pages = m_tables[table].lvalPages;
    auto it = pages.find(column);
    if (it != pages.end()) return it->second;
    uint32_t p = allocPage();
    initDataPage(page(p), 0x4C41564C);  // "LVAL"
    pages[column] = p;
    return p;
}

uint32_t Jet4ImageBuilder::lvalPage(int table, const std::string& column) const {
    return m_tables[table].lvalPages.at(column);
}

Jet4ImageBuilder::Cell Jet4ImageBuilder::longValueInline(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> d;
    append32(d, static_cast<uint32_t>(data.size()) | 0x80000000u);
    append32(d, 0);
    append32(d, 0);
    d.insert(d.end(), data.begin(), data.end());
    return raw(d);
}

Jet4ImageBuilder::Cell Jet4ImageBuilder::longValueSingle(int table, const std::string& column,
                                                         const std::vector<uint8_t>& data) {
    uint32_t p = lvalPageFor(table, column);
    uint8_t row = addToPage(page(p), data);
    std::vector<uint8_t> d;
    append32(d, static_cast<uint32_t>(data.size()) | 0x40000000u);
    append32(d, p << 8 | row);
    append32(d, 0);
    return raw(d);
}

Jet4ImageBuilder::Cell Jet4ImageBuilder::longValueChain(int table, const std::string& column,
                                                        const std::vector<uint8_t>& data,
                                                        size_t chunk, bool loop) {
    uint32_t p = lvalPageFor(table, column);
    size_t n = (data.size() + chunk - 1) / chunk;
    uint8_t first = static_cast<uint8_t>(get16(page(p), m_countAt));
    for (size_t i = 0; i < n; ++i) {
        std::vector<uint8_t> row;
        uint32_t next = i + 1 < n ? (p << 8 | static_cast<uint32_t>(first + i + 1))
                                  : (loop ? (p << 8 | first) : 0);
        append32(row, next);
        size_t len = std::min(chunk, data.size() - i * chunk);
        row.insert(row.end(), data.begin() + i * chunk, data.begin() + i * chunk + len);
        addToPage(page(p), row);
    }
    std::vector<uint8_t> d;
    // A looping chain claims twice its data, so a reader has to go round to fill it.
    append32(d, static_cast<uint32_t>(loop ? 2 * data.size() : data.size()));
    append32(d, p << 8 | first);
    append32(d, 0);
    return raw(d);
}

std::vector<uint8_t> Jet4ImageBuilder::encodeRow(const Table& t, const std::vector<Cell>& cells,
                                                 const RowOptions& options) const {
    const int columnCount = options.columnCount;
    const size_t nCols = columnCount < 0 ? t.columns.size() : size_t(columnCount);
    // Jet 3 counts columns and variable offsets in single bytes.
    auto appendCount = [&](std::vector<uint8_t>& b, size_t v) {
        if (jet3())
            b.push_back(static_cast<uint8_t>(v));
        else
            append16(b, static_cast<uint16_t>(v));
    };
    std::vector<uint8_t> row;
    appendCount(row, nCols);
    // Fixed area first, in column order; yes/no values take no bytes.
    size_t fixedStart = row.size();
    std::vector<uint8_t> mask((nCols + 7) / 8, 0);
    for (size_t i = 0; i < nCols; ++i) {
        const Column& c = t.columns[i];
        const Cell& cell = cells[i];
        if (c.type == ColumnType::Bool) {
            if (cell.flag) mask[i / 8] |= 1 << (i % 8);
            continue;
        }
        if (!cell.null) mask[i / 8] |= 1 << (i % 8);
        if (!c.fixed) continue;
        uint16_t len = c.length ? c.length : naturalSize(c.type);
        std::vector<uint8_t> bytes(len, 0);
        if (!cell.null)
            std::memcpy(bytes.data(), cell.bytes.data(), std::min<size_t>(len, cell.bytes.size()));
        row.insert(row.end(), bytes.begin(), bytes.end());
    }
    (void)fixedStart;
    std::vector<uint16_t> offsets;
    size_t varCols = 0;
    for (const Column& c : t.columns)
        varCols += !c.fixed;
    size_t storedVar = 0;
    for (size_t i = 0; i < nCols; ++i) {
        const Column& c = t.columns[i];
        if (c.fixed) continue;
        ++storedVar;
        offsets.push_back(static_cast<uint16_t>(row.size()));
        if (!cells[i].null) row.insert(row.end(), cells[i].bytes.begin(), cells[i].bytes.end());
    }
    if (varCols > 0 && !options.noVarTable) {
        offsets.push_back(static_cast<uint16_t>(row.size()));  // end of variable data
        for (size_t k = offsets.size(); k-- > 0;)
            appendCount(row, offsets[k]);
        appendCount(row, storedVar);
    }
    row.insert(row.end(), mask.begin(), mask.end());
    // Longer Jet 3 rows need a jump table, which this builder does not write.
    if (jet3() && row.size() > 256) throw std::runtime_error("test row longer than 256 bytes");
    return row;
}

uint32_t Jet4ImageBuilder::addMap(const std::vector<uint32_t>& pages, uint32_t reach) {
    // Access writes 64 bitmap bytes (Jet 3: 128); longer rows are valid and cover bigger files.
    size_t bitmap = std::max<size_t>(jet3() ? 128 : 64, (reach + 31) / 32 * 4);
    for (uint32_t p : pages)
        bitmap = std::max<size_t>(bitmap, (p / 32 + 1) * 4);
    std::vector<uint8_t> row(5 + bitmap, 0);
    for (uint32_t p : pages)
        row[5 + p / 8] |= static_cast<uint8_t>(1 << (p % 8));
    // A full page of maps is followed by another, as in files with many tables.
    if (size_t(get16(page(m_mapPage), 2)) < row.size() + 2) {
        m_mapPage = allocPage();
        initDataPage(page(m_mapPage), 0);
    }
    uint8_t slot = addToPage(page(m_mapPage), row);
    return m_mapPage << 8 | slot;
}

namespace {

// Where the fields of a table definition sit in each format.
struct TdefLayout {
    size_t rowCount, autoNumber, tableType, maxCols, varCols, colCount, logicalCount, realCount,
        ownedMap, freeMap, bodyStart;
    size_t statsSize, descriptorSize, realBlockSize, logicalBlockSize;
    size_t realColumns, realMap, realRoot, realFlags;  // within a real-index block
    size_t logicalStart;                               // where a logical-index block's fields begin
};
constexpr TdefLayout kJet4Tdef{0x10, 0x14, 0x28, 0x29, 0x2B, 0x2D, 0x2F, 0x33, 0x37, 0x3B,
                               0x3F, 12,   25,   52,   28,   0x04, 0x22, 0x26, 0x2E, 4};
constexpr TdefLayout kJet3Tdef{0x0C, 0x10, 0x14, 0x15, 0x17, 0x19, 0x1B, 0x1F, 0x23, 0x27,
                               0x2B, 8,    18,   39,   20,   0x00, 0x1E, 0x22, 0x26, 0};

// General 97 sort weights of the characters the builder writes into text keys: digits, letters
// (either case) and the space, from the measured code table.
uint8_t general97Weight(uint8_t c) {
    static const uint8_t letters[26] = {0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A,
                                        0x6B, 0x6C, 0x6D, 0x6F, 0x70, 0x72, 0x73, 0x74, 0x75,
                                        0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E};
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(0x56 + (c - '0'));
    if (c >= 'A' && c <= 'Z') return letters[c - 'A'];
    if (c >= 'a' && c <= 'z') return letters[c - 'a'];
    if (c == ' ') return 0x11;
    throw std::runtime_error(std::string("no test key for the character '") + char(c) + "'");
}

}  // namespace

bool Jet4ImageBuilder::indexKey(const Table& t, const Index& x, const std::vector<Cell>& cells,
                                std::vector<uint8_t>& key) const {
    key.clear();
    bool allNull = true;
    for (const auto& [colId, ascending] : x.columns) {
        const Column& c = t.columns.at(colId);
        const Cell* cell = colId < cells.size() ? &cells[colId] : nullptr;
        if (c.type == ColumnType::Bool) throw std::runtime_error("no test key for Yes/No");
        if (!cell || cell->null) {
            key.push_back(ascending ? 0x00 : 0xFF);
            continue;
        }
        allNull = false;
        const std::vector<uint8_t>& b = cell->bytes;
        std::vector<uint8_t> v;
        switch (c.type) {
            case ColumnType::Byte:
                v.push_back(b.at(0));
                break;
            case ColumnType::Int:
            case ColumnType::Long:
            case ColumnType::Money:
            case ColumnType::Float:
            case ColumnType::Double:
            case ColumnType::DateTime: {
                // big-endian; the sign bit flipped, or every bit of a negative real number
                for (size_t i = naturalSize(c.type); i-- > 0;)
                    v.push_back(b.at(i));
                const bool real = c.type == ColumnType::Float || c.type == ColumnType::Double ||
                                  c.type == ColumnType::DateTime;
                if (real && (v[0] & 0x80)) {
                    for (uint8_t& byte : v)
                        byte = static_cast<uint8_t>(~byte);
                } else {
                    v[0] ^= 0x80;
                }
                break;
            }
            case ColumnType::Text: {
                if (!jet3() || !ascending)
                    throw std::runtime_error("text keys are built for ascending Jet 3 only");
                size_t n = b.size();
                while (n > 0 && b[n - 1] == ' ')
                    --n;
                for (size_t i = 0; i < n; ++i)
                    v.push_back(general97Weight(b[i]));
                v.push_back(0x00);
                break;
            }
            default:
                throw std::runtime_error("no test key for the column " + c.name);
        }
        key.push_back(ascending ? 0x7F : 0x80);
        for (uint8_t byte : v)
            key.push_back(ascending ? byte : static_cast<uint8_t>(~byte));
    }
    return !(allNull && (x.flags & 0x02));
}

void Jet4ImageBuilder::writeLeaf(uint32_t leaf, uint32_t owner,
                                 std::vector<std::vector<uint8_t>> entries) {
    const size_t maskAt = jet3() ? 0x16 : 0x1B, maskSize = jet3() ? 226 : 453;
    const size_t start = jet3() ? 0xF8 : 0x1E0;
    std::sort(entries.begin(), entries.end());
    auto& p = page(leaf);
    std::fill(p.begin(), p.end(), 0);
    p[0] = 0x04;
    p[1] = 0x01;
    put32(p, 4, owner);
    size_t at = 0;
    for (const auto& e : entries) {
        if (start + at + e.size() > m_pageSize || at + e.size() >= maskSize * 8)
            throw std::runtime_error("test index entries do not fit one leaf");
        std::memcpy(p.data() + start + at, e.data(), e.size());
        at += e.size();
        p[maskAt + at / 8] |= static_cast<uint8_t>(1 << (at % 8));
    }
    put16(p, 2, static_cast<uint16_t>(m_pageSize - start - at));
}

void Jet4ImageBuilder::writeTdef(const Table& t, uint32_t ownedMap, uint32_t freeMap,
                                 const std::vector<uint32_t>& indexMaps,
                                 const std::vector<uint32_t>& indexRoots,
                                 const std::vector<uint32_t>& distinctKeys,
                                 const std::map<uint16_t, uint32_t>& lvMaps, uint32_t rowCount) {
    const TdefLayout& L = jet3() ? kJet3Tdef : kJet4Tdef;
    // Names: a one-byte length and code-page bytes (Jet 3), or a two-byte length and UTF-16.
    auto appendName = [&](std::vector<uint8_t>& b, const std::string& name) {
        if (jet3()) {
            b.push_back(static_cast<uint8_t>(name.size()));
            b.insert(b.end(), name.begin(), name.end());
            return;
        }
        std::u16string n(name.begin(), name.end());
        append16(b, static_cast<uint16_t>(2 * n.size()));
        auto bytes = utf16Bytes(n);
        b.insert(b.end(), bytes.begin(), bytes.end());
    };
    std::vector<uint8_t> b(L.bodyStart, 0);
    b[0] = 0x02;
    b[1] = 0x01;
    if (!jet3()) {
        put32(b, 0x0C, 0x0659);
        put32(b, 0x18, 1);
    }
    put32(b, L.rowCount, rowCount);
    put32(b, L.autoNumber,
          t.lastAutoNumber >= 0 ? static_cast<uint32_t>(t.lastAutoNumber) : rowCount);
    b[L.tableType] = t.system ? 0x53 : 0x4E;
    uint16_t varCols = 0;
    for (const Column& c : t.columns)
        varCols += !c.fixed;
    put16(b, L.maxCols, static_cast<uint16_t>(t.columns.size()));
    put16(b, L.varCols, varCols);
    put16(b, L.colCount, static_cast<uint16_t>(t.columns.size()));
    put32(b, L.logicalCount, static_cast<uint32_t>(t.indexes.size()));
    put32(b, L.realCount, static_cast<uint32_t>(t.indexes.size()));
    put32(b, L.ownedMap, ownedMap);
    put32(b, L.freeMap, freeMap);
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        if (jet3()) {
            append32(b, 0);
            append32(b, distinctKeys[i]);
        } else {
            append32(b, rowCount);
            append32(b, rowCount);
            append32(b, 0);
        }
    }
    uint16_t fixedOffset = 0, varIndex = 0;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        std::vector<uint8_t> d(L.descriptorSize, 0);
        uint16_t len = c.length ? c.length : naturalSize(c.type);
        const uint8_t flags = static_cast<uint8_t>((c.fixed ? 0x01 : 0) | 0x02 | c.extraFlags |
                                                   (jet3() && t.system ? 0x10 : 0));
        const uint16_t fixedAt = c.type == ColumnType::Bool ? 0 : fixedOffset;
        d[0] = static_cast<uint8_t>(c.type);
        if (jet3()) {
            put16(d, 1, static_cast<uint16_t>(i));
            put16(d, 3, varIndex);
            put16(d, 5, t.system ? 0 : static_cast<uint16_t>(i));
            put16(d, 9, 0x0409);
            put16(d, 0x0B, 1252);
            d[0x0D] = flags;
            if (c.fixed) put16(d, 0x0E, fixedAt);
            put16(d, 0x10, len);
        } else {
            put32(d, 1, 0x0659);
            put16(d, 5, static_cast<uint16_t>(i));
            put16(d, 9, static_cast<uint16_t>(i));
            if (c.type == ColumnType::Numeric) {
                d[0x0B] = c.precision;
                d[0x0C] = c.scale;
            } else if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
                put16(d, 0x0B, 0x0409);
            }
            d[0x0F] = flags;
            d[0x10] = c.extFlags;
            if (c.fixed) put16(d, 0x15, fixedAt);
            if (!c.fixed) put16(d, 7, varIndex);
            put16(d, 0x17, len);
        }
        if (c.fixed && c.type != ColumnType::Bool)
            fixedOffset = static_cast<uint16_t>(fixedOffset + len);
        if (!c.fixed) ++varIndex;
        b.insert(b.end(), d.begin(), d.end());
    }
    for (const Column& c : t.columns)
        appendName(b, c.name);
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        const Index& x = t.indexes[i];
        std::vector<uint8_t> r(L.realBlockSize, 0);
        if (!jet3()) put32(r, 0, 0x0783);
        for (int k = 0; k < 10; ++k) {
            const size_t at = L.realColumns + 3 * k;
            if (k < int(x.columns.size())) {
                put16(r, at, x.columns[k].first);
                r[at + 2] = x.columns[k].second ? 0x01 : 0x02;
            } else {
                put16(r, at, 0xFFFF);
            }
        }
        put32(r, L.realMap, indexMaps[i]);
        put32(r, L.realRoot, indexRoots[i]);
        r[L.realFlags] = x.flags;
        b.insert(b.end(), r.begin(), r.end());
    }
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        const Index& x = t.indexes[i];
        std::vector<uint8_t> l(L.logicalBlockSize, 0);
        const size_t o = L.logicalStart;
        if (!jet3()) put32(l, 0, 0x0659);
        put32(l, o, static_cast<uint32_t>(i));
        put32(l, o + 4, static_cast<uint32_t>(i));
        put32(l, o + 9, 0xFFFFFFFF);
        l[o + 0x11] = 0x04;
        l[o + 0x12] = 0x04;
        l[o + 0x13] = static_cast<uint8_t>(x.kind);
        if (x.relatedTable >= 0) {
            l[o + 8] = x.fkTableType;
            put32(l, o + 9, static_cast<uint32_t>(x.relatedIndex));
            put32(l, o + 0x0D, m_tables[x.relatedTable].tdefPage);
            l[o + 0x11] = x.cascadeUpdates;
            l[o + 0x12] = x.cascadeDeletes;
        }
        b.insert(b.end(), l.begin(), l.end());
    }
    for (const Index& x : t.indexes)
        appendName(b, x.name);
    for (const auto& [col, map] : lvMaps) {
        append16(b, col);
        append32(b, map);
        append32(b, 0);
    }
    append16(b, 0xFFFF);
    put32(b, 0x08, static_cast<uint32_t>(b.size()));
    if (b.size() + 8 > m_pageSize) throw std::runtime_error("test definition too long");
    if (jet3()) {
        b[2] = 'V';
        b[3] = 'C';
    } else {
        put16(b, 2, static_cast<uint16_t>(m_pageSize - b.size() - 8));
    }
    auto& p = page(t.tdefPage);
    std::fill(p.begin(), p.end(), 0);
    std::memcpy(p.data(), b.data(), b.size());
}

void Jet4ImageBuilder::writeHeader() {
    auto& p = page(0);
    p[0] = 0x00;
    p[1] = 0x01;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[0x14] = jet3() ? 0x00 : 0x01;
    put32(p, 0x18, 0x100);
    put32(p, 0x1C, 0x101);
    for (int i = 0; i < 4; ++i)
        put32(p, 0x20 + 4 * i, 2 + i);
    put16(p, 0x3C, 1252);
    put32(p, 0x3E, m_key);
    if (jet3()) {
        // Sort order General 97; the password in the code page, 20 bytes, only obfuscated.
        put16(p, 0x3A, 0x0409);
        for (size_t i = 0; i < m_password.size() && i < 20; ++i) {
            if (m_password[i] > 0xFF) throw std::runtime_error("test password outside Latin-1");
            p[0x42 + i] = static_cast<uint8_t>(m_password[i]);
        }
        jet::Rc4::applyWithKey32(0x6B39DAC7, p.data() + 0x18, 126);
        for (size_t i = 0x600; i < 0x800; i += 2)
            p[i + 1] = 0x01;
        return;
    }
    uint64_t dateBits;
    std::memcpy(&dateBits, &m_created, 8);
    put32(p, 0x72, static_cast<uint32_t>(dateBits));
    put32(p, 0x76, static_cast<uint32_t>(dateBits >> 32));
    put32(p, 0x6E, 0x0409);
    uint32_t mask = static_cast<uint32_t>(static_cast<int32_t>(m_created));
    std::vector<uint8_t> pw(40, 0);
    for (size_t i = 0; i < m_password.size() && i < 20; ++i)
        put16(pw, 2 * i, m_password[i]);
    for (size_t i = 0; i < 40; ++i)
        p[0x42 + i] = pw[i] ^ static_cast<uint8_t>(mask >> (8 * (i % 4)));
    jet::Rc4::applyWithKey32(0x6B39DAC7, p.data() + 0x18, 128);
    put32(p, 0x98, 0x654);
    std::memcpy(p.data() + 0x9C, "4.0", 4);
    for (size_t i = 0xE00; i < 0x1000; i += 2)
        p[i + 1] = 0x01;
}

std::vector<uint8_t> Jet4ImageBuilder::build() {
    Table& sys = m_tables[0];
    sys.rows.clear();
    auto catalogRow = [&](int32_t id, int32_t parent, const std::string& name, int16_t type,
                          uint32_t flags) {
        std::vector<Cell> cells(sys.columns.size());
        cells[0] = i32(id);
        cells[1] = i32(parent);
        cells[2] = jet3() ? codePage(name) : utf16(std::u16string(name.begin(), name.end()));
        cells[3] = i16(type);
        cells[4] = f64(m_created);
        cells[5] = f64(m_created);
        cells[7] = i32(static_cast<int32_t>(flags));
        sys.rows.push_back({cells, {}});
    };
    if (jet3()) {
        // The containers of tables, databases and relationships, and the database object.
        catalogRow(0x0F000001, 0x0F000000, "Tables", 3, 0x80000000u);
        catalogRow(0x0F000002, 0x0F000000, "Databases", 3, 0x80000000u);
        catalogRow(0x0F000003, 0x0F000000, "Relationships", 3, 0x80000000u);
        catalogRow(0x10000000, 0x0F000002, "MSysDb", 2, 0x80000000u);
    }
    for (const Table& t : m_tables) {
        catalogRow(static_cast<int32_t>(t.tdefPage), 0x0F000001, t.name, 1,
                   t.system ? 0x80000000u : 0);
        if (!t.properties.empty())
            sys.rows.back().first[14] = longValueSingle(0, "LvProp", t.properties);
    }
    for (const CatalogRow& r : m_extraCatalog)
        catalogRow(r.id, 0x0F000000, r.name, r.type, r.flags);

    m_mapPage = jet3() ? 6 : 3;
    initDataPage(page(m_mapPage), 0);
    for (size_t ti = 0; ti < m_tables.size(); ++ti) {
        Table& t = m_tables[ti];
        t.dataPage = allocPage();
        initDataPage(page(t.dataPage), t.tdefPage);
        std::vector<uint32_t> owned{t.dataPage};
        // Rows go to the last data page while they fit, as a sequential load fills a table.
        auto place = [&](const std::vector<uint8_t>& row, uint16_t flags) -> uint32_t {
            auto& last = page(owned.back());
            if (get16(last, m_countAt) >= 255 || size_t(get16(last, 2)) < row.size() + 2) {
                owned.push_back(allocPage());
                initDataPage(page(owned.back()), t.tdefPage);
            }
            uint8_t slot = addToPage(page(owned.back()), row, flags);
            return owned.back() << 8 | slot;
        };
        // Live rows by the row id their index entries point at.
        std::vector<std::pair<uint32_t, const std::vector<Cell>*>> live;
        for (const auto& [cells, opt] : t.rows) {
            std::vector<uint8_t> row = encodeRow(t, cells, opt);
            if (opt.deleted) {
                place(row, 0xC000);
                continue;
            }
            if (opt.moved) {
                if (t.overflowPage == 0) {
                    t.overflowPage = allocPage();
                    initDataPage(page(t.overflowPage), t.tdefPage);
                }
                uint8_t target = addToPage(page(t.overflowPage), row, 0x8000);
                std::vector<uint8_t> ptr(4, 0);
                put32(ptr, 0, t.overflowPage << 8 | target);
                live.push_back({place(ptr, 0x4000), &cells});
            } else {
                live.push_back({place(row, 0), &cells});
            }
        }
        // Access 97 keeps the page a sequential load ended on in the map of pages with room.
        std::vector<uint32_t> withRoom;
        if (jet3()) withRoom.push_back(owned.back());
        if (t.overflowPage) owned.push_back(t.overflowPage);
        std::sort(owned.begin(), owned.end());
        uint32_t ownedMap = addMap(owned, t.mapReach);
        uint32_t freeMap = addMap(withRoom, t.mapReach);
        // Each index is one leaf, listed in its own page map. A Jet 4 image leaves it empty,
        // which stays consistent only while the table has no rows; a Jet 3 image holds the
        // keys of the rows.
        std::vector<uint32_t> indexMaps, indexRoots, distinct;
        for (size_t i = 0; i < t.indexes.size(); ++i) {
            uint32_t leaf = allocPage();
            std::vector<std::vector<uint8_t>> entries;
            std::vector<std::vector<uint8_t>> keys;
            if (jet3()) {
                std::vector<uint8_t> key;
                for (const auto& [rowId, cells] : live) {
                    if (!indexKey(t, t.indexes[i], *cells, key)) continue;
                    keys.push_back(key);
                    for (int shift : {24, 16, 8, 0})
                        key.push_back(static_cast<uint8_t>(rowId >> shift));
                    entries.push_back(key);
                }
            }
            writeLeaf(leaf, t.tdefPage, std::move(entries));
            std::sort(keys.begin(), keys.end());
            distinct.push_back(
                static_cast<uint32_t>(std::unique(keys.begin(), keys.end()) - keys.begin()));
            indexRoots.push_back(leaf);
            indexMaps.push_back(addMap({leaf}, t.mapReach));
        }
        std::map<uint16_t, uint32_t> lvMaps;
        for (size_t i = 0; i < t.columns.size(); ++i) {
            const Column& c = t.columns[i];
            if (c.type != ColumnType::Memo && c.type != ColumnType::Ole) continue;
            auto it = t.lvalPages.find(c.name);
            std::vector<uint32_t> pages;
            if (it != t.lvalPages.end()) pages.push_back(it->second);
            lvMaps[static_cast<uint16_t>(i)] = addMap(pages);
        }
        const uint32_t count = static_cast<uint32_t>(live.size());
        writeTdef(t, ownedMap, freeMap, indexMaps, indexRoots, distinct, lvMaps,
                  t.storedCount >= 0 ? static_cast<uint32_t>(t.storedCount) : count);
    }

    // Global map: row 0 marks free pages (set = free), row 1 is unused.
    const uint32_t minBitmap = jet3() ? 128 : 64;
    auto& g = page(1);
    initDataPage(g, 1);
    uint32_t covered =
        std::max<uint32_t>(minBitmap * 8, (static_cast<uint32_t>(m_pages.size()) / 32 + 1) * 32);
    for (const Table& t : m_tables)
        covered = std::max(covered, (t.mapReach + 31) / 32 * 32);
    std::vector<uint8_t> freeRow(5 + covered / 8, 0);
    for (uint32_t p = static_cast<uint32_t>(m_pages.size()); p < covered; ++p)
        freeRow[5 + p / 8] |= static_cast<uint8_t>(1 << (p % 8));
    addToPage(g, freeRow);
    addToPage(g, std::vector<uint8_t>(5 + minBitmap, 0));
    writeHeader();

    std::vector<uint8_t> out;
    for (uint32_t n = 0; n < m_pages.size(); ++n) {
        std::vector<uint8_t> p = m_pages[n];
        if (m_key != 0 && n != 0) jet::Rc4::applyWithKey32(m_key ^ n, p.data(), p.size());
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

std::unique_ptr<jet::Database> Jet4ImageBuilder::buildFile(const std::string& path) {
    const std::vector<uint8_t> image = build();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    jet::OpenOptions rw;
    rw.readOnly = false;
    return jet::Database::open(path, rw);
}

}  // namespace jettest

namespace jettest {

std::vector<uint8_t> builtAccess97Image(const std::u16string& password) {
    using B = Jet4ImageBuilder;
    B b(jet::Format::Jet3);
    b.setPassword(password);
    // Letters from `first` on, round the alphabet of its case.
    auto pattern = [](size_t n, char first) {
        const char base = first >= 'a' ? 'a' : 'A';
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += static_cast<char>(base + (first - base + i) % 26);
        return std::vector<uint8_t>(s.begin(), s.end());
    };
    const int kunden = b.addTable("Kunden",
                                  {{"ID", ColumnType::Long, true, 0, 0x04},
                                   {"Name", ColumnType::Text, false, 40},
                                   {"Stadt", ColumnType::Text, false, 30},
                                   {"Menge", ColumnType::Int},
                                   {"Betrag", ColumnType::Money},
                                   {"Aktiv", ColumnType::Bool},
                                   {"Datum", ColumnType::DateTime},
                                   {"Anteil", ColumnType::Double},
                                   {"Stufe", ColumnType::Byte},
                                   {"Wert", ColumnType::Float},
                                   {"Kennung", ColumnType::Guid},
                                   {"Daten", ColumnType::Binary, false, 20},
                                   {"Notiz", ColumnType::Memo, false},
                                   {"Bild", ColumnType::Ole, false}},
                                  {{"PrimaryKey", {{0, true}}, 0x09, IndexKind::Primary},
                                   {"Name", {{1, true}}, 0x00},
                                   {"MengeDatum", {{3, false}, {6, true}}, 0x00}});
    const char* names[] = {"Meyer",  "Schulz", "Abel 2", "Zander", "meyer", "Otto", "Berg",
                           "Keller", "Lang",   "Vogt",   "Roth",   "Hahn",  "Witt", "Kuhn"};
    const char* cities[] = {"K\xF6ln", "M\xFCnchen",
                            "Gie\xDF"
                            "en",
                            "Caf\xE9 \x80", "Bonn"};
    // Small records fill three pages, so that records grown later move away.
    const int records = 60;
    for (int i = 0; i < records; ++i) {
        const std::string name = names[i % 14] + (i >= 14 ? " " + std::to_string(i) : "");
        std::vector<uint8_t> guid(16);
        for (int k = 0; k < 16; ++k)
            guid[k] = static_cast<uint8_t>(17 * i + k);
        B::Cell notiz = i % 10 == 0 ? B::longValueInline(pattern(20 + i, 'a'))
                        : i % 10 == 1 && i < 30
                            ? b.longValueSingle(kunden, "Notiz", pattern(200 + i, 'A'))
                            : B::null();
        if (i == 5) notiz = b.longValueChain(kunden, "Notiz", pattern(800, 'k'), 500);
        B::RowOptions options;
        options.deleted = i == 4;
        options.moved = i == 7;
        b.addRow(kunden,
                 {B::i32(i + 1), i == 8 ? B::null() : B::codePage(name), B::codePage(cities[i % 5]),
                  B::i16(static_cast<int16_t>(i % 4 * 100 - 150)), B::i64(125000 * i - 40000),
                  B::yes(i % 2 == 0), B::f64(36000.5 + i * 31.25),
                  i == 3 ? B::null() : B::f64(i * 0.375 - 1),
                  B::raw({static_cast<uint8_t>(i * 25)}), B::f32(2.5f * i), B::raw(guid),
                  i % 4 ? B::null() : B::raw({1, static_cast<uint8_t>(i), 0, 7}), notiz,
                  i == 2 ? b.longValueSingle(kunden, "Bild", std::vector<uint8_t>(300, 0x5A))
                         : B::null()},
                 options);
    }
    b.setLastAutoNumber(kunden, records);

    const int notizen = b.addTable("Notizen",
                                   {{"ID", ColumnType::Long, true, 0, 0x04},
                                    {"Titel", ColumnType::Text, false, 50},
                                    {"Inhalt", ColumnType::Memo, false}},
                                   {{"PrimaryKey", {{0, true}}, 0x09, IndexKind::Primary}});
    for (int i = 0; i < 5; ++i)
        b.addRow(notizen, {B::i32(i + 1), B::codePage("Eintrag \xE4 " + std::to_string(i)),
                           i % 2 ? b.longValueSingle(notizen, "Inhalt", pattern(300 * i, 'c'))
                                 : B::longValueInline(pattern(i * 10, 'x'))});

    const int posten = b.addTable(
        "Posten",
        {{"ID", ColumnType::Long, true, 0, 0x04},
         {"KundeID", ColumnType::Long},
         {"Anzahl", ColumnType::Int},
         {"Preis", ColumnType::Double}},
        {{"PrimaryKey", {{0, true}}, 0x09, IndexKind::Primary}, {"KundeID", {{1, true}}, 0x00}});
    for (int i = 0; i < 40; ++i)
        b.addRow(posten, {B::i32(i + 1), i % 9 == 0 ? B::null() : B::i32(i % 10 + 1),
                          B::i16(static_cast<int16_t>(i * 3)), B::f64(i * 1.25)});
    return b.build();
}

}  // namespace jettest
