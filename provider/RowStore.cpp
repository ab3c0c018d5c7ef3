#include "provider/RowStore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "provider/ProviderError.h"
#include "jet/Text.h"
#include "jet/Value.h"

namespace tessor::provider {

namespace {

constexpr size_t kDecimalWidth = 20;

template <typename T>
T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
int order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN is placed after every number so that the order stays strict.
int orderFloating(double a, double b) {
    const bool na = std::isnan(a);
    const bool nb = std::isnan(b);
    if (na || nb) return na == nb ? 0 : (na ? 1 : -1);
    return order(a, b);
}

bool isTextType(DataType t) {
    return t == DataType::VarWChar || t == DataType::LongVarWChar;
}

int compareMagnitude(const std::array<uint32_t, 4>& a, const std::array<uint32_t, 4>& b) {
    for (int i = 3; i >= 0; --i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

Decimal loadDecimal(const uint8_t* p) {
    Decimal d;
    d.precision = p[0];
    d.scale = p[1];
    d.negative = p[2] != 0;
    std::memcpy(d.magnitude.data(), p + 4, 16);
    return d;
}

bool isZero(const Decimal& d) {
    return (d.magnitude[0] | d.magnitude[1] | d.magnitude[2] | d.magnitude[3]) == 0;
}

int compareDecimal(const Decimal& a, const Decimal& b) {
    const bool na = a.negative && !isZero(a);
    const bool nb = b.negative && !isZero(b);
    if (na != nb) return na ? -1 : 1;
    int c;
    if (a.scale == b.scale) {
        c = compareMagnitude(a.magnitude, b.magnitude);
    } else {
        double x = 0;
        double y = 0;
        Variant(a).numeric(x);
        Variant(b).numeric(y);
        c = order(std::fabs(x), std::fabs(y));
    }
    return na ? -c : c;
}

// The kind of engine value a column of the type holds (besides null).
jet::ValueType engineKind(DataType t) {
    switch (t) {
        case DataType::Boolean:
            return jet::ValueType::Bool;
        case DataType::UnsignedTinyInt:
            return jet::ValueType::Byte;
        case DataType::SmallInt:
            return jet::ValueType::Int16;
        case DataType::Integer:
            return jet::ValueType::Int32;
        case DataType::Single:
            return jet::ValueType::Float;
        case DataType::Double:
            return jet::ValueType::Double;
        case DataType::Date:
            return jet::ValueType::DateTime;
        case DataType::Currency:
            return jet::ValueType::Currency;
        case DataType::Guid:
            return jet::ValueType::Guid;
        case DataType::Numeric:
            return jet::ValueType::Decimal;
        case DataType::VarWChar:
        case DataType::LongVarWChar:
            return jet::ValueType::Text;
        default:
            return jet::ValueType::Bytes;
    }
}

// An entry of a text or binary column's arena: the value's length plus one in base 128, low
// digits first, the high bit of a byte telling that more follow (a single 0 for null), then the
// value's bytes.
size_t putEntryHead(uint8_t* out, size_t len, bool null) {
    uint64_t l = null ? 0 : uint64_t{len} + 1;
    size_t n = 0;
    do {
        out[n++] = static_cast<uint8_t>((l & 0x7F) | (l > 0x7F ? 0x80 : 0));
        l >>= 7;
    } while (l != 0);
    return n;
}

// Where the entry's bytes start; its length and whether it is null go to len and null.
inline const uint8_t* readEntry(const uint8_t* p, size_t& len, bool& null) {
    uint64_t v = *p++;
    if (v & 0x80) {
        v &= 0x7F;
        int shift = 7;
        uint8_t b;
        do {
            b = *p++;
            v |= static_cast<uint64_t>(b & 0x7F) << shift;
            shift += 7;
        } while (b & 0x80);
    }
    null = v == 0;
    len = null ? 0 : static_cast<size_t>(v - 1);
    return p;
}

inline const uint8_t* skipEntries(const uint8_t* p, size_t n) {
    for (; n > 0; --n) {
        if (*p < 0x80) {  // the common case: a length below 127 in one byte
            p += *p == 0 ? 1 : *p;
            continue;
        }
        size_t len;
        bool null;
        p = readEntry(p, len, null);
        p += len;
    }
    return p;
}

bool nullBit(const PodBuffer<uint32_t>& bits, size_t row) {
    return bits.size() != 0 && ((bits[row >> 5] >> (row & 31)) & 1) != 0;
}

void setNullBit(PodBuffer<uint32_t>& bits, size_t row, bool null) {
    const uint32_t mask = uint32_t{1} << (row & 31);
    if (null)
        bits[row >> 5] |= mask;
    else
        bits[row >> 5] &= ~mask;
}

// Words for the rows, new ones zero, and the bits past the last row cleared.
void resizeNullBits(PodBuffer<uint32_t>& bits, size_t rows) {
    bits.resize((rows + 31) / 32);
    if (rows & 31) bits[rows >> 5] &= (uint32_t{1} << (rows & 31)) - 1;
}

std::string_view entryBytes(const uint8_t* p) {
    size_t len;
    bool null;
    p = readEntry(p, len, null);
    return {reinterpret_cast<const char*>(p), len};
}

}  // namespace

RowStore::RowStore(std::vector<ColumnInfo> columns) : m_infos(std::move(columns)) {
    m_columns.resize(m_infos.size());
    for (size_t i = 0; i < m_infos.size(); ++i) {
        Column& c = m_columns[i];
        switch (m_infos[i].type) {
            case DataType::Boolean:
                c.storage = Storage::Bits;
                c.width = 1;
                break;
            case DataType::UnsignedTinyInt:
                c.width = 1;
                break;
            case DataType::SmallInt:
                c.width = 2;
                break;
            case DataType::Integer:
            case DataType::Single:
                c.width = 4;
                break;
            case DataType::Double:
            case DataType::Date:
            case DataType::Currency:
                c.width = 8;
                break;
            case DataType::Guid:
                c.width = 16;
                break;
            case DataType::Numeric:
                c.width = kDecimalWidth;
                break;
            default:
                c.storage = Storage::Arena;
                break;
        }
        c.engineKind = static_cast<uint8_t>(engineKind(m_infos[i].type));
    }
}

void RowStore::checkKind(size_t col, const Variant& v) const {
    const ColumnInfo& info = m_infos[col];
    if (v.isMissing()) return;
    VariantType want;
    switch (info.type) {
        case DataType::Boolean:
            want = VariantType::Bool;
            break;
        case DataType::UnsignedTinyInt:
            want = VariantType::Byte;
            break;
        case DataType::SmallInt:
            want = VariantType::Int16;
            break;
        case DataType::Integer:
            want = VariantType::Int32;
            break;
        case DataType::Single:
            want = VariantType::Single;
            break;
        case DataType::Double:
            want = VariantType::Double;
            break;
        case DataType::Date:
            want = VariantType::Date;
            break;
        case DataType::Currency:
            want = VariantType::Currency;
            break;
        case DataType::Guid:
            want = VariantType::Guid;
            break;
        case DataType::Numeric:
            want = VariantType::Decimal;
            break;
        case DataType::VarWChar:
        case DataType::LongVarWChar:
            want = VariantType::Text;
            break;
        default:
            want = VariantType::Bytes;
            break;
    }
    if (v.type() != want)
        throw ProviderError(hr::kTypeMismatch,
                            "The value does not fit the type of field \"" + info.name + "\".");
}


void RowStore::reserve(size_t rows) {
    for (Column& c : m_columns) {
        if (c.storage == Storage::Arena)
            c.aux.reserve(rows / kBlockRows + 1);
        else
            c.data.reserve(rows * c.width);
    }
}

void RowStore::store(size_t col, size_t row, const Variant& v, bool append) {
    Column& c = m_columns[col];
    const bool null = v.isMissing();
    switch (c.storage) {
        case Storage::Bits:
        case Storage::Fixed: {
            uint8_t buf[kDecimalWidth] = {};
            if (!null) {
                switch (v.type()) {
                    case VariantType::Bool:
                        buf[0] = v.toBool() ? 1 : 0;
                        break;
                    case VariantType::Byte:
                        buf[0] = v.toByte();
                        break;
                    case VariantType::Int16: {
                        int16_t x = v.toInt16();
                        std::memcpy(buf, &x, 2);
                        break;
                    }
                    case VariantType::Int32: {
                        int32_t x = v.toInt32();
                        std::memcpy(buf, &x, 4);
                        break;
                    }
                    case VariantType::Single: {
                        float x = v.toSingle();
                        std::memcpy(buf, &x, 4);
                        break;
                    }
                    case VariantType::Double: {
                        double x = v.toDouble();
                        std::memcpy(buf, &x, 8);
                        break;
                    }
                    case VariantType::Date: {
                        double x = v.toDate().days;
                        std::memcpy(buf, &x, 8);
                        break;
                    }
                    case VariantType::Currency: {
                        int64_t x = v.toCurrency().scaled;
                        std::memcpy(buf, &x, 8);
                        break;
                    }
                    case VariantType::Guid:
                        std::memcpy(buf, v.toGuid().bytes.data(), 16);
                        break;
                    case VariantType::Decimal: {
                        const Decimal d = v.toDecimal();
                        buf[0] = d.precision;
                        buf[1] = d.scale;
                        buf[2] = d.negative ? 1 : 0;
                        std::memcpy(buf + 4, d.magnitude.data(), 16);
                        break;
                    }
                    default:
                        break;
                }
            }
            // On append a failure after the value is added is trimmed by appendRow; on change the
            // null bit, the only step that can fail, goes first.
            if (append) {
                c.data.append(buf, c.width);
                storeNull(c, row, null, true);
            } else {
                storeNull(c, row, null, false);
                std::memcpy(c.data.data() + row * c.width, buf, c.width);
            }
            break;
        }
        case Storage::Arena: {
            std::string_view bytes;
            if (!null) {
                if (v.type() == VariantType::Text) {
                    bytes = v.toText();
                } else {
                    const Bytes& b = v.toBytes();
                    bytes = std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
                }
            }
            if (append)
                appendEntry(col, bytes, null);
            else
                setEntry(col, row, bytes, null);
            break;
        }
    }
}

void RowStore::storeNull(Column& c, size_t row, bool null, bool append) {
    // The bitmap is made at the first null, with every row before it not null.
    if (c.aux.size() == 0 && !null) return;
    const size_t rows = append ? row + 1 : m_rowCount;
    if (c.aux.size() < (rows + 31) / 32) resizeNullBits(c.aux, rows);
    setNullBit(c.aux, row, null);
}

void RowStore::checkArenaRoom(size_t col, size_t more) const {
    if (more > PodBuffer<uint8_t>::maxSize() - m_columns[col].data.size())
        throw ProviderError(hr::kFail, "The values of field \"" + m_infos[col].name +
                                           "\" are too large to hold in memory (4 GB).");
}

const uint8_t* RowStore::entryAt(const Column& c, size_t row) const {
    return skipEntries(c.data.data() + c.aux[row / kBlockRows], row % kBlockRows);
}

const uint8_t* RowStore::blockEnd(const Column& c, size_t block) const {
    const size_t rows = std::min(kBlockRows, m_rowCount - block * kBlockRows);
    return skipEntries(c.data.data() + c.aux[block], rows);
}

void RowStore::appendEntry(size_t col, std::string_view bytes, bool null) {
    Column& c = m_columns[col];
    uint8_t head[10];
    const size_t h = putEntryHead(head, bytes.size(), null);
    const size_t within = m_rowCount % kBlockRows;
    // A change may have moved an earlier block past the last one; the last block then moves to
    // the end again, for its new entry to follow its others.
    size_t tailAt = 0;
    size_t tailSize = 0;
    if (within != 0 && c.tailMoved) {
        tailAt = c.aux[c.aux.size() - 1];
        tailSize = static_cast<size_t>(skipEntries(c.data.data() + tailAt, within) -
                                       (c.data.data() + tailAt));
    }
    checkArenaRoom(col, tailSize + h + bytes.size());
    if (within == 0) {
        *c.aux.grow(1) = static_cast<uint32_t>(c.data.size());
        c.tailMoved = false;
    } else if (c.tailMoved) {
        uint8_t* to = c.data.grow(tailSize);
        std::memcpy(to, c.data.data() + tailAt, tailSize);
        c.aux[c.aux.size() - 1] = static_cast<uint32_t>(to - c.data.data());
        c.garbage += static_cast<uint32_t>(tailSize);
        c.tailMoved = false;
    }
    uint8_t* p = c.data.grow(h + bytes.size());
    std::memcpy(p, head, h);
    if (!bytes.empty()) std::memcpy(p + h, bytes.data(), bytes.size());
}

void RowStore::setEntry(size_t col, size_t row, std::string_view bytes, bool null) {
    Column& c = m_columns[col];
    const size_t block = row / kBlockRows;
    const size_t start = c.aux[block];
    const uint8_t* base = c.data.data();
    const uint8_t* e0 = skipEntries(base + start, row % kBlockRows);
    const uint8_t* e1 = skipEntries(e0, 1);
    const size_t before = static_cast<size_t>(e0 - (base + start));
    const size_t oldSize = static_cast<size_t>(e1 - e0);
    const size_t after = static_cast<size_t>(blockEnd(c, block) - e1);
    uint8_t head[10];
    const size_t h = putEntryHead(head, bytes.size(), null);
    const size_t newSize = h + bytes.size();
    if (newSize == oldSize) {
        uint8_t* at = c.data.data() + start + before;
        std::memcpy(at, head, h);
        if (!bytes.empty()) std::memcpy(at + h, bytes.data(), bytes.size());
        return;
    }
    // The block is written anew at the end of the arena, with the new entry in place of the old.
    checkArenaRoom(col, before + newSize + after);
    uint8_t* to = c.data.grow(before + newSize + after);
    const uint8_t* from = c.data.data() + start;
    std::memcpy(to, from, before);
    std::memcpy(to + before, head, h);
    if (!bytes.empty()) std::memcpy(to + before + h, bytes.data(), bytes.size());
    std::memcpy(to + before + newSize, from + before + oldSize, after);
    c.aux[block] = static_cast<uint32_t>(to - c.data.data());
    c.garbage += static_cast<uint32_t>(before + oldSize + after);
    c.tailMoved = block + 1 < c.aux.size();
    if (c.garbage > 4096 && c.garbage > c.data.size() / 2) compact(c);
}

void RowStore::compact(Column& c) {
    PodBuffer<uint8_t> fresh;
    fresh.reserve(c.data.size() - c.garbage);
    for (size_t b = 0; b < c.aux.size(); ++b) {
        const uint8_t* from = c.data.data() + c.aux[b];
        const size_t n = static_cast<size_t>(blockEnd(c, b) - from);
        c.aux[b] = static_cast<uint32_t>(fresh.size());
        fresh.append(from, n);
    }
    c.data.swap(fresh);
    c.garbage = 0;
    c.tailMoved = false;
}


void RowStore::appendRow(std::span<const Variant> values) {
    if (values.size() != m_columns.size())
        throw ProviderError(hr::kInvalidArgument, "A row has the wrong number of values.");
    for (size_t i = 0; i < values.size(); ++i)
        checkKind(i, values[i]);
    // Every check passed; from here on only running out of memory can stop the row, and then
    // the columns are trimmed back so that they stay the same length.
    size_t done = 0;
    try {
        for (; done < values.size(); ++done)
            store(done, m_rowCount, values[done], true);
    } catch (...) {
        trimTo(m_rowCount, std::min(done + 1, values.size()));
        throw;
    }
    ++m_rowCount;
}

void RowStore::trimTo(size_t rows, size_t columns) {
    for (size_t i = 0; i < columns; ++i) {
        Column& c = m_columns[i];
        if (c.storage != Storage::Arena) {
            if (c.aux.size() != 0) resizeNullBits(c.aux, rows);
            if (c.data.size() > rows * c.width) c.data.resize(rows * c.width);
            continue;
        }
        // The failed row's entry, if it was written, ends the arena, in the last block.
        const size_t blocks = (rows + kBlockRows - 1) / kBlockRows;
        if (c.aux.size() > blocks) {
            c.data.resize(c.aux[blocks]);
            c.aux.resize(blocks);
        } else if (rows % kBlockRows != 0) {
            const uint8_t* end =
                skipEntries(c.data.data() + c.aux[blocks - 1], rows % kBlockRows);
            c.data.resize(static_cast<size_t>(end - c.data.data()));
        }
    }
}

void RowStore::appendRow(std::span<const jet::Value> values) {
    if (values.size() != m_columns.size())
        throw ProviderError(hr::kInvalidArgument, "A row has the wrong number of values.");
    for (size_t i = 0; i < values.size(); ++i) {
        const size_t kind = values[i].v.index();
        if (kind != 0 && kind != m_columns[i].engineKind)
            throw ProviderError(hr::kFail,
                                "The database gave a value of another kind than its field's type.");
    }
    size_t done = 0;
    try {
        for (; done < values.size(); ++done) {
            Column& c = m_columns[done];
            const jet::Value::Storage& v = values[done].v;
            const bool null = v.index() == 0;
            switch (c.storage) {
                case Storage::Bits:
                    *c.data.grow(1) = !null && *std::get_if<bool>(&v) ? 1 : 0;
                    if (null || c.aux.size() != 0) storeNull(c, m_rowCount, null, true);
                    break;
                case Storage::Fixed: {
                    uint8_t* p = c.data.grow(c.width);
                    if (null) {
                        std::memset(p, 0, c.width);  // zeros stand for null
                        storeNull(c, m_rowCount, true, true);
                        break;
                    }
                    if (c.aux.size() != 0) storeNull(c, m_rowCount, false, true);
                    switch (static_cast<jet::ValueType>(c.engineKind)) {
                        case jet::ValueType::Byte:
                            p[0] = *std::get_if<uint8_t>(&v);
                            break;
                        case jet::ValueType::Int16:
                            std::memcpy(p, std::get_if<int16_t>(&v), 2);
                            break;
                        case jet::ValueType::Int32:
                            std::memcpy(p, std::get_if<int32_t>(&v), 4);
                            break;
                        case jet::ValueType::Float:
                            std::memcpy(p, std::get_if<float>(&v), 4);
                            break;
                        case jet::ValueType::Double:
                            std::memcpy(p, std::get_if<double>(&v), 8);
                            break;
                        case jet::ValueType::DateTime:
                            std::memcpy(p, &std::get_if<jet::DateTime>(&v)->days, 8);
                            break;
                        case jet::ValueType::Currency:
                            std::memcpy(p, &std::get_if<jet::Currency>(&v)->scaled, 8);
                            break;
                        case jet::ValueType::Guid:
                            std::memcpy(p, std::get_if<jet::Guid>(&v)->bytes.data(), 16);
                            break;
                        case jet::ValueType::Decimal: {
                            const jet::Decimal& d = *std::get_if<jet::Decimal>(&v);
                            p[0] = d.precision;
                            p[1] = d.scale;
                            p[2] = d.negative ? 1 : 0;
                            p[3] = 0;
                            const std::array<uint32_t, 4> magnitude = {
                                static_cast<uint32_t>(d.lo), static_cast<uint32_t>(d.lo >> 32),
                                static_cast<uint32_t>(d.hi), static_cast<uint32_t>(d.hi >> 32)};
                            std::memcpy(p + 4, magnitude.data(), 16);
                            break;
                        }
                        default:
                            std::memset(p, 0, c.width);
                            break;
                    }
                    break;
                }
                case Storage::Arena: {
                    if (const std::string* t = std::get_if<std::string>(&v)) {
                        appendEntry(done, *t, false);
                    } else if (const auto* b = std::get_if<std::vector<uint8_t>>(&v)) {
                        appendEntry(done,
                                    std::string_view(reinterpret_cast<const char*>(b->data()),
                                                     b->size()),
                                    false);
                    } else {
                        appendEntry(done, {}, true);
                    }
                    break;
                }
            }
        }
    } catch (...) {
        trimTo(m_rowCount, std::min(done + 1, values.size()));
        throw;
    }
    ++m_rowCount;
}

void RowStore::setValue(size_t row, size_t col, const Variant& value) {
    if (row >= m_rowCount || col >= m_columns.size())
        throw ProviderError(hr::kInvalidArgument, "No such row or field.");
    checkKind(col, value);
    store(col, row, value, false);
}


void RowStore::eraseRow(size_t row) {
    if (row >= m_rowCount) throw ProviderError(hr::kInvalidArgument, "No such row.");
    std::vector<bool> gone(m_rowCount);
    gone[row] = true;
    eraseRows(gone);
}

void RowStore::eraseRows(const std::vector<bool>& gone) {
    if (gone.size() != m_rowCount) throw ProviderError(hr::kInvalidArgument, "No such row.");
    size_t kept = 0;
    for (size_t r = 0; r < m_rowCount; ++r)
        if (!gone[r]) ++kept;
    if (kept == m_rowCount) return;
    // The arenas without the rows are built first: that is the only step that takes memory, and
    // if it fails every column is still as it was.
    std::vector<std::pair<PodBuffer<uint8_t>, PodBuffer<uint32_t>>> arenas;
    for (Column& c : m_columns) {
        if (c.storage != Storage::Arena) continue;
        auto& [data, blocks] = arenas.emplace_back();
        data.reserve(c.data.size() - c.garbage);
        blocks.reserve((kept + kBlockRows - 1) / kBlockRows);
        size_t to = 0;
        for (size_t b = 0; b < c.aux.size(); ++b) {
            const uint8_t* p = c.data.data() + c.aux[b];
            const size_t first = b * kBlockRows;
            const size_t rows = std::min(kBlockRows, m_rowCount - first);
            for (size_t i = 0; i < rows; ++i) {
                const uint8_t* next = skipEntries(p, 1);
                if (!gone[first + i]) {
                    if (to++ % kBlockRows == 0) *blocks.grow(1) = static_cast<uint32_t>(data.size());
                    data.append(p, static_cast<size_t>(next - p));
                }
                p = next;
            }
        }
    }
    size_t arena = 0;
    for (Column& c : m_columns) {
        if (c.storage == Storage::Arena) {
            c.data.swap(arenas[arena].first);
            c.aux.swap(arenas[arena].second);
            ++arena;
            c.garbage = 0;
            c.tailMoved = false;
            continue;
        }
        size_t to = 0;
        for (size_t r = 0; r < m_rowCount; ++r) {
            if (gone[r]) continue;
            if (to != r) {
                std::memcpy(c.data.data() + to * c.width, c.data.data() + r * c.width, c.width);
                if (c.aux.size() != 0) setNullBit(c.aux, to, nullBit(c.aux, r));
            }
            ++to;
        }
        c.data.resize(kept * c.width);
        if (c.aux.size() != 0) resizeNullBits(c.aux, kept);
    }
    m_rowCount = kept;
}

void RowStore::clear() {
    for (Column& c : m_columns) {
        c.data.clear();
        c.aux.clear();
        c.garbage = 0;
        c.tailMoved = false;
    }
    m_rowCount = 0;
}

void RowStore::shrinkToFit() {
    for (Column& c : m_columns) {
        c.data.shrinkToFit();
        c.aux.shrinkToFit();
    }
}

bool RowStore::isNull(size_t row, size_t col) const {
    const Column& c = m_columns[col];
    if (c.storage == Storage::Arena) return *entryAt(c, row) == 0;
    return nullBit(c.aux, row);
}

std::string_view RowStore::bytes(size_t row, size_t col) const {
    const Column& c = m_columns[col];
    if (c.storage != Storage::Arena) return {};
    return entryBytes(entryAt(c, row));
}

std::optional<std::string_view> RowStore::bytesOrNull(size_t row, size_t col) const {
    const Column& c = m_columns[col];
    if (c.storage != Storage::Arena)
        return isNull(row, col) ? std::nullopt : std::optional(std::string_view());
    const uint8_t* p = entryAt(c, row);
    if (*p == 0) return std::nullopt;
    return entryBytes(p);
}

Variant RowStore::value(size_t row, size_t col) const {
    const Column& c = m_columns[col];
    if (c.storage == Storage::Arena) {
        const uint8_t* p = entryAt(c, row);
        if (*p == 0) return Variant::null();
        const std::string_view b = entryBytes(p);
        if (isTextType(m_infos[col].type)) return Variant(b);
        return Variant(Bytes(b.begin(), b.end()));
    }
    if (nullBit(c.aux, row)) return Variant::null();
    const uint8_t* p = c.data.data() + row * c.width;
    if (c.storage == Storage::Bits) return Variant(p[0] != 0);
    switch (m_infos[col].type) {
        case DataType::UnsignedTinyInt:
            return Variant(p[0]);
        case DataType::SmallInt:
            return Variant(load<int16_t>(p));
        case DataType::Integer:
            return Variant(load<int32_t>(p));
        case DataType::Single:
            return Variant(load<float>(p));
        case DataType::Double:
            return Variant(load<double>(p));
        case DataType::Date:
            return Variant(Date{load<double>(p)});
        case DataType::Currency:
            return Variant(Currency{load<int64_t>(p)});
        case DataType::Guid: {
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            return Variant(g);
        }
        case DataType::Numeric:
            return Variant(loadDecimal(p));
        default:
            return Variant::null();
    }
}

int RowStore::compare(size_t a, size_t b, size_t col) const {
    const Column& c = m_columns[col];
    const bool na = isNull(a, col);
    const bool nb = isNull(b, col);
    if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
    const uint8_t* p = c.data.data() + a * c.width;
    const uint8_t* q = c.data.data() + b * c.width;
    switch (c.storage) {
        case Storage::Bits:
            // Yes is -1 and no is 0, so yes comes first.
            return order(p[0] ? -1 : 0, q[0] ? -1 : 0);
        case Storage::Arena: {
            const std::string_view x = entryBytes(entryAt(c, a));
            const std::string_view y = entryBytes(entryAt(c, b));
            if (isTextType(m_infos[col].type)) return compareText(x, y);
            const int r = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
            if (r != 0) return r < 0 ? -1 : 1;
            return order(x.size(), y.size());
        }
        case Storage::Fixed:
            break;
    }
    switch (m_infos[col].type) {
        case DataType::UnsignedTinyInt:
            return order(p[0], q[0]);
        case DataType::SmallInt:
            return order(load<int16_t>(p), load<int16_t>(q));
        case DataType::Integer:
            return order(load<int32_t>(p), load<int32_t>(q));
        case DataType::Single:
            return orderFloating(load<float>(p), load<float>(q));
        case DataType::Double:
            return orderFloating(load<double>(p), load<double>(q));
        case DataType::Date:
            return orderFloating(jet::DateTime{load<double>(p)}.chronological(),
                                 jet::DateTime{load<double>(q)}.chronological());
        case DataType::Currency:
            return order(load<int64_t>(p), load<int64_t>(q));
        case DataType::Guid: {
            // The order of the text form: the first three groups are stored little-endian.
            static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            for (int i : kOrder)
                if (p[i] != q[i]) return p[i] < q[i] ? -1 : 1;
            return 0;
        }
        case DataType::Numeric:
            return compareDecimal(loadDecimal(p), loadDecimal(q));
        default:
            return 0;
    }
}

int RowStore::compareText(std::string_view a, std::string_view b) const {
    return (m_general97 ? jet::Collation::general97() : jet::Collation()).compare(a, b);
}

size_t RowStore::dataBytes() const {
    size_t total = 0;
    for (const Column& c : m_columns) {
        if (c.storage != Storage::Arena) {
            size_t nulls = 0;
            for (size_t w = 0; w < c.aux.size(); ++w)
                nulls += static_cast<size_t>(__builtin_popcount(c.aux[w]));
            total += (m_rowCount - nulls) * c.width;
            continue;
        }
        for (size_t b = 0; b < c.aux.size(); ++b) {
            const uint8_t* p = c.data.data() + c.aux[b];
            for (size_t i = std::min(kBlockRows, m_rowCount - b * kBlockRows); i > 0; --i) {
                total += entryBytes(p).size();
                p = skipEntries(p, 1);
            }
        }
    }
    return total;
}

size_t RowStore::memoryBytes() const {
    size_t total = m_columns.capacity() * sizeof(Column) + m_infos.capacity() * sizeof(ColumnInfo);
    for (const Column& c : m_columns)
        total += c.data.capacity() + c.aux.capacity() * sizeof(uint32_t);
    return total;
}

}  // namespace tessor::provider
