#include "Jet4ImageBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "page/Rc4.h"

namespace jettest {

using jet::ColumnType;

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

Jet4ImageBuilder::Jet4ImageBuilder() {
    m_pages.assign(4, std::vector<uint8_t>(kPageSize, 0));
    Table sys;
    sys.name = "MSysObjects";
    sys.system = true;
    sys.tdefPage = 2;
    // The catalog's own columns, in column-id order, as Access creates them.
    sys.columns = {{"Id", ColumnType::Long},
                   {"ParentId", ColumnType::Long},
                   {"Name", ColumnType::Text, false, 510},
                   {"Type", ColumnType::Int},
                   {"DateCreate", ColumnType::DateTime},
                   {"DateUpdate", ColumnType::DateTime},
                   {"Owner", ColumnType::Binary, false, 510},
                   {"Flags", ColumnType::Long},
                   {"Database", ColumnType::Memo, false},
                   {"Connect", ColumnType::Memo, false},
                   {"ForeignName", ColumnType::Text, false, 510},
                   {"RmtInfoShort", ColumnType::Binary, false, 510},
                   {"RmtInfoLong", ColumnType::Ole, false},
                   {"Lv", ColumnType::Ole, false},
                   {"LvProp", ColumnType::Ole, false},
                   {"LvModule", ColumnType::Ole, false},
                   {"LvExtra", ColumnType::Ole, false}};
    m_tables.push_back(sys);
}

uint32_t Jet4ImageBuilder::allocPage() {
    m_pages.emplace_back(kPageSize, 0);
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

void Jet4ImageBuilder::initDataPage(std::vector<uint8_t>& p, uint32_t owner) {
    std::fill(p.begin(), p.end(), 0);
    p[0] = 0x01;
    p[1] = 0x01;
    put16(p, 2, kPageSize - 14);
    put32(p, 4, owner);
}

uint8_t Jet4ImageBuilder::addToPage(std::vector<uint8_t>& p, const std::vector<uint8_t>& row,
                                    uint16_t flags) {
    uint16_t count = get16(p, 0x0C);
    uint16_t low = count == 0 ? kPageSize : (get16(p, 0x0E + 2 * (count - 1)) & 0x1FFF);
    uint16_t free = get16(p, 2);
    if (row.size() + 2 > free) throw std::runtime_error("test row does not fit its page");
    uint16_t start = static_cast<uint16_t>(low - row.size());
    std::memcpy(p.data() + start, row.data(), row.size());
    put16(p, 0x0E + 2 * count, static_cast<uint16_t>(start | flags));
    put16(p, 0x0C, static_cast<uint16_t>(count + 1));
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
    uint8_t first = static_cast<uint8_t>(get16(page(p), 0x0C));
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
    std::vector<uint8_t> row;
    append16(row, static_cast<uint16_t>(nCols));
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
            append16(row, offsets[k]);
        append16(row, static_cast<uint16_t>(storedVar));
    }
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

uint32_t Jet4ImageBuilder::addMap(const std::vector<uint32_t>& pages, uint32_t reach) {
    // Access writes 64 bitmap bytes; longer rows are valid and cover bigger files.
    size_t bitmap = std::max<size_t>(64, (reach + 31) / 32 * 4);
    for (uint32_t p : pages)
        bitmap = std::max<size_t>(bitmap, (p / 32 + 1) * 4);
    std::vector<uint8_t> row(5 + bitmap, 0);
    for (uint32_t p : pages)
        row[5 + p / 8] |= static_cast<uint8_t>(1 << (p % 8));
    uint8_t slot = addToPage(page(m_mapPage), row);
    return m_mapPage << 8 | slot;
}

void Jet4ImageBuilder::writeTdef(const Table& t, uint32_t ownedMap, uint32_t freeMap,
                                 const std::vector<uint32_t>& indexMaps,
                                 const std::vector<uint32_t>& indexRoots,
                                 const std::map<uint16_t, uint32_t>& lvMaps, uint32_t rowCount) {
    std::vector<uint8_t> b(0x3F, 0);
    b[0] = 0x02;
    b[1] = 0x01;
    put32(b, 0x0C, 0x0659);
    put32(b, 0x10, rowCount);
    put32(b, 0x14, rowCount);  // last autonumber issued
    put32(b, 0x18, 1);
    b[0x28] = t.system ? 0x53 : 0x4E;
    uint16_t varCols = 0;
    for (const Column& c : t.columns)
        varCols += !c.fixed;
    put16(b, 0x29, static_cast<uint16_t>(t.columns.size()));
    put16(b, 0x2B, varCols);
    put16(b, 0x2D, static_cast<uint16_t>(t.columns.size()));
    put32(b, 0x2F, static_cast<uint32_t>(t.indexes.size()));
    put32(b, 0x33, static_cast<uint32_t>(t.indexes.size()));
    put32(b, 0x37, ownedMap);
    put32(b, 0x3B, freeMap);
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        append32(b, rowCount);
        append32(b, rowCount);
        append32(b, 0);
    }
    uint16_t fixedOffset = 0, varIndex = 0;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        std::vector<uint8_t> d(25, 0);
        d[0] = static_cast<uint8_t>(c.type);
        put32(d, 1, 0x0659);
        put16(d, 5, static_cast<uint16_t>(i));
        put16(d, 9, static_cast<uint16_t>(i));
        if (c.type == ColumnType::Numeric) {
            d[0x0B] = c.precision;
            d[0x0C] = c.scale;
        } else if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
            put16(d, 0x0B, 0x0409);
        }
        d[0x0F] = static_cast<uint8_t>((c.fixed ? 0x01 : 0) | 0x02 | c.extraFlags);
        d[0x10] = c.extFlags;
        uint16_t len = c.length ? c.length : naturalSize(c.type);
        if (c.fixed) {
            put16(d, 0x15, c.type == ColumnType::Bool ? 0 : fixedOffset);
            if (c.type != ColumnType::Bool) fixedOffset = static_cast<uint16_t>(fixedOffset + len);
        } else {
            put16(d, 7, varIndex++);
        }
        put16(d, 0x17, len);
        b.insert(b.end(), d.begin(), d.end());
    }
    for (const Column& c : t.columns) {
        std::u16string n(c.name.begin(), c.name.end());
        append16(b, static_cast<uint16_t>(2 * n.size()));
        auto bytes = utf16Bytes(n);
        b.insert(b.end(), bytes.begin(), bytes.end());
    }
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        const Index& x = t.indexes[i];
        std::vector<uint8_t> r(52, 0);
        put32(r, 0, 0x0783);
        for (int k = 0; k < 10; ++k) {
            if (k < int(x.columns.size())) {
                put16(r, 4 + 3 * k, x.columns[k].first);
                r[6 + 3 * k] = x.columns[k].second ? 0x01 : 0x02;
            } else {
                put16(r, 4 + 3 * k, 0xFFFF);
            }
        }
        put32(r, 0x22, indexMaps[i]);
        put32(r, 0x26, indexRoots[i]);
        r[0x2E] = x.flags;
        b.insert(b.end(), r.begin(), r.end());
    }
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        std::vector<uint8_t> l(28, 0);
        put32(l, 0, 0x0659);
        put32(l, 4, static_cast<uint32_t>(i));
        put32(l, 8, static_cast<uint32_t>(i));
        put32(l, 0x0D, 0xFFFFFFFF);
        l[0x15] = 0x04;
        l[0x16] = 0x04;
        l[0x17] = static_cast<uint8_t>(t.indexes[i].kind);
        const Index& x = t.indexes[i];
        if (x.relatedTable >= 0) {
            l[0x0C] = x.fkTableType;
            put32(l, 0x0D, static_cast<uint32_t>(x.relatedIndex));
            put32(l, 0x11, m_tables[x.relatedTable].tdefPage);
            l[0x15] = x.cascadeUpdates;
            l[0x16] = x.cascadeDeletes;
        }
        b.insert(b.end(), l.begin(), l.end());
    }
    for (const Index& x : t.indexes) {
        std::u16string n(x.name.begin(), x.name.end());
        append16(b, static_cast<uint16_t>(2 * n.size()));
        auto bytes = utf16Bytes(n);
        b.insert(b.end(), bytes.begin(), bytes.end());
    }
    for (const auto& [col, map] : lvMaps) {
        append16(b, col);
        append32(b, map);
        append32(b, 0);
    }
    append16(b, 0xFFFF);
    put32(b, 0x08, static_cast<uint32_t>(b.size()));
    if (b.size() + 8 > kPageSize) throw std::runtime_error("test definition too long");
    put16(b, 2, static_cast<uint16_t>(kPageSize - b.size() - 8));
    auto& p = page(t.tdefPage);
    std::fill(p.begin(), p.end(), 0);
    std::memcpy(p.data(), b.data(), b.size());
}

void Jet4ImageBuilder::writeHeader() {
    auto& p = page(0);
    p[0] = 0x00;
    p[1] = 0x01;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[0x14] = 0x01;
    put32(p, 0x18, 0x100);
    put32(p, 0x1C, 0x101);
    for (int i = 0; i < 4; ++i)
        put32(p, 0x20 + 4 * i, 2 + i);
    put16(p, 0x3C, 1252);
    put32(p, 0x3E, m_key);
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
        cells[2] = utf16(std::u16string(name.begin(), name.end()));
        cells[3] = i16(type);
        cells[4] = f64(m_created);
        cells[5] = f64(m_created);
        cells[7] = i32(static_cast<int32_t>(flags));
        sys.rows.push_back({cells, {}});
    };
    for (const Table& t : m_tables) {
        catalogRow(static_cast<int32_t>(t.tdefPage), 0x0F000001, t.name, 1,
                   t.system ? 0x80000000u : 0);
        if (!t.properties.empty())
            sys.rows.back().first[14] = longValueSingle(0, "LvProp", t.properties);
    }
    for (const CatalogRow& r : m_extraCatalog)
        catalogRow(r.id, 0x0F000000, r.name, r.type, r.flags);

    initDataPage(page(m_mapPage), 0);
    for (size_t ti = 0; ti < m_tables.size(); ++ti) {
        Table& t = m_tables[ti];
        t.dataPage = allocPage();
        initDataPage(page(t.dataPage), t.tdefPage);
        std::vector<uint32_t> owned{t.dataPage};
        // Rows go to the last data page while they fit, as a sequential load fills a table.
        auto place = [&](const std::vector<uint8_t>& row, uint16_t flags) -> uint32_t {
            auto& last = page(owned.back());
            if (get16(last, 0x0C) >= 255 || size_t(get16(last, 2)) < row.size() + 2) {
                owned.push_back(allocPage());
                initDataPage(page(owned.back()), t.tdefPage);
            }
            uint8_t slot = addToPage(page(owned.back()), row, flags);
            return owned.back() << 8 | slot;
        };
        uint32_t live = 0;
        for (const auto& [cells, opt] : t.rows) {
            std::vector<uint8_t> row = encodeRow(t, cells, opt);
            if (opt.deleted) {
                place(row, 0xC000);
                continue;
            }
            ++live;
            if (opt.moved) {
                if (t.overflowPage == 0) {
                    t.overflowPage = allocPage();
                    initDataPage(page(t.overflowPage), t.tdefPage);
                }
                uint8_t target = addToPage(page(t.overflowPage), row, 0x8000);
                std::vector<uint8_t> ptr(4, 0);
                put32(ptr, 0, t.overflowPage << 8 | target);
                place(ptr, 0x4000);
            } else {
                place(row, 0);
            }
        }
        if (t.overflowPage) owned.push_back(t.overflowPage);
        std::sort(owned.begin(), owned.end());
        uint32_t ownedMap = addMap(owned, t.mapReach);
        uint32_t freeMap = addMap({}, t.mapReach);
        // Each index gets an empty root leaf, listed in its own page map.
        std::vector<uint32_t> indexMaps, indexRoots;
        for (size_t i = 0; i < t.indexes.size(); ++i) {
            uint32_t leaf = allocPage();
            auto& p = page(leaf);
            p[0] = 0x04;
            p[1] = 0x01;
            put16(p, 2, kPageSize - 0x1E0);
            put32(p, 4, t.tdefPage);
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
        writeTdef(t, ownedMap, freeMap, indexMaps, indexRoots, lvMaps,
                  t.storedCount >= 0 ? static_cast<uint32_t>(t.storedCount) : live);
    }

    // Global map: row 0 marks free pages (set = free), row 1 is unused.
    auto& g = page(1);
    initDataPage(g, 1);
    uint32_t covered =
        std::max<uint32_t>(512, (static_cast<uint32_t>(m_pages.size()) / 32 + 1) * 32);
    for (const Table& t : m_tables)
        covered = std::max(covered, (t.mapReach + 31) / 32 * 32);
    std::vector<uint8_t> freeRow(5 + covered / 8, 0);
    for (uint32_t p = static_cast<uint32_t>(m_pages.size()); p < covered; ++p)
        freeRow[5 + p / 8] |= static_cast<uint8_t>(1 << (p % 8));
    addToPage(g, freeRow);
    addToPage(g, std::vector<uint8_t>(69, 0));
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
