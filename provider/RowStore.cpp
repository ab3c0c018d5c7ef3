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

}  // namespace

RowStore::RowStore(std::vector<ColumnInfo> columns) : m_infos(std::move(columns)) {
    m_columns.resize(m_infos.size());
    for (size_t i = 0; i < m_infos.size(); ++i) {
        Column& c = m_columns[i];
        c.info = m_infos[i];
        switch (c.info.type) {
            case DataType::Boolean:
                c.storage = Storage::Bits;
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
        c.engineKind = static_cast<uint8_t>(engineKind(c.info.type));
    }
}

void RowStore::reserve(size_t rows) {
    for (Column& c : m_columns) {
        c.nulls.reserve(rows);
        if (c.storage == Storage::Bits) c.bits.reserve(rows);
        if (c.storage == Storage::Fixed) c.fixed.reserve(rows * c.width);
        if (c.storage == Storage::Arena) c.textSlots.reserve(rows);
    }
}

void RowStore::checkKind(const Column& c, const Variant& v) {
    if (v.isMissing()) return;
    VariantType want;
    switch (c.info.type) {
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
                            "The value does not fit the type of field \"" + c.info.name + "\".");
}

uint32_t RowStore::arenaPut(Column& c, std::string_view bytes) {
    char len[10];
    size_t n = 0;
    uint64_t l = bytes.size();
    do {
        len[n++] = static_cast<char>((l & 0x7F) | (l > 0x7F ? 0x80 : 0));
        l >>= 7;
    } while (l != 0);
    if (c.arena.size() + n + bytes.size() >= kNullSlot)
        throw ProviderError(hr::kFail, "The values of field \"" + c.info.name +
                                           "\" are too large to hold in memory (4 GB).");
    const auto at = static_cast<uint32_t>(c.arena.size());
    char* p = c.arena.grow(n + bytes.size());
    std::memcpy(p, len, n);
    if (!bytes.empty()) std::memcpy(p + n, bytes.data(), bytes.size());
    return at;
}

std::string_view RowStore::arenaGet(const Column& c, uint32_t slot) const {
    if (slot == kNullSlot) return {};
    const char* p = c.arena.data() + slot;
    uint64_t len = 0;
    int shift = 0;
    uint8_t b;
    do {
        b = static_cast<uint8_t>(*p++);
        len |= static_cast<uint64_t>(b & 0x7F) << shift;
        shift += 7;
    } while (b & 0x80);
    return {p, static_cast<size_t>(len)};
}

void RowStore::compact(Column& c) {
    PodBuffer<char> old;
    old.swap(c.arena);
    c.arena.reserve(old.size() - c.garbage);
    for (uint32_t& s : c.textSlots) {
        if (s == kNullSlot) continue;
        // arenaGet reads the column's arena, which is the new one by now: read the old.
        const char* p = old.data() + s;
        uint64_t len = 0;
        int shift = 0;
        uint8_t byte;
        do {
            byte = static_cast<uint8_t>(*p++);
            len |= static_cast<uint64_t>(byte & 0x7F) << shift;
            shift += 7;
        } while (byte & 0x80);
        s = arenaPut(c, std::string_view(p, static_cast<size_t>(len)));
    }
    c.garbage = 0;
}

void RowStore::store(Column& c, size_t row, const Variant& v, bool append) {
    const bool null = v.isMissing();
    // On append the null bit goes first (appendRow trims it again on failure); on change it
    // goes last, after the only step that can fail.
    if (append) c.nulls.pushBack(null);
    switch (c.storage) {
        case Storage::Bits: {
            const bool b = !null && v.toBool();
            if (append)
                c.bits.pushBack(b);
            else
                c.bits.set(row, b);
            break;
        }
        case Storage::Fixed: {
            uint8_t buf[kDecimalWidth] = {};
            if (!null) {
                switch (v.type()) {
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
            if (append)
                c.fixed.append(buf, c.width);
            else
                std::memcpy(c.fixed.data() + row * c.width, buf, c.width);
            break;
        }
        case Storage::Arena: {
            uint32_t slot = kNullSlot;
            if (!null) {
                if (v.type() == VariantType::Text) {
                    slot = arenaPut(c, v.toText());
                } else {
                    const Bytes& b = v.toBytes();
                    slot = arenaPut(
                        c, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
                }
            }
            if (append) {
                c.textSlots.push_back(slot);
            } else {
                if (c.textSlots[row] != kNullSlot) {
                    const std::string_view old = arenaGet(c, c.textSlots[row]);
                    c.garbage += old.size() + (old.data() - (c.arena.data() + c.textSlots[row]));
                }
                c.textSlots[row] = slot;
                if (c.garbage > 4096 && c.garbage > c.arena.size() / 2) compact(c);
            }
            break;
        }
    }
    if (!append) c.nulls.set(row, null);
}

void RowStore::appendRow(std::span<const Variant> values) {
    if (values.size() != m_columns.size())
        throw ProviderError(hr::kInvalidArgument, "A row has the wrong number of values.");
    for (size_t i = 0; i < values.size(); ++i)
        checkKind(m_columns[i], values[i]);
    // Every check passed; from here on only running out of memory can stop the row, and then
    // the columns are trimmed back so that they stay the same length.
    size_t done = 0;
    try {
        for (; done < values.size(); ++done)
            store(m_columns[done], m_rowCount, values[done], true);
    } catch (...) {
        trimTo(m_rowCount, std::min(done + 1, values.size()));
        throw;
    }
    ++m_rowCount;
}

void RowStore::trimTo(size_t rows, size_t columns) {
    for (size_t i = 0; i < columns; ++i) {
        Column& c = m_columns[i];
        while (c.nulls.size() > rows)
            c.nulls.erase(c.nulls.size() - 1);
        while (c.bits.size() > rows)
            c.bits.erase(c.bits.size() - 1);
        if (c.storage == Storage::Fixed && c.fixed.size() > rows * c.width)
            c.fixed.resize(rows * c.width);
        if (c.storage == Storage::Arena && c.textSlots.size() > rows) c.textSlots.resize(rows);
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
            c.nulls.pushBack(null);
            switch (c.storage) {
                case Storage::Bits:
                    c.bits.pushBack(!null && *std::get_if<bool>(&v));
                    break;
                case Storage::Fixed: {
                    uint8_t* p = c.fixed.grow(c.width);
                    if (null) {
                        std::memset(p, 0, c.width);  // zeros stand for null
                        break;
                    }
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
                    uint32_t slot = kNullSlot;
                    if (const std::string* t = std::get_if<std::string>(&v)) {
                        slot = arenaPut(c, *t);
                    } else if (const auto* b = std::get_if<std::vector<uint8_t>>(&v)) {
                        slot = arenaPut(c, std::string_view(reinterpret_cast<const char*>(b->data()),
                                                            b->size()));
                    }
                    c.textSlots.push_back(slot);
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
    checkKind(m_columns[col], value);
    store(m_columns[col], row, value, false);
}

void RowStore::eraseRow(size_t row) {
    if (row >= m_rowCount) throw ProviderError(hr::kInvalidArgument, "No such row.");
    for (Column& c : m_columns) {
        c.nulls.erase(row);
        switch (c.storage) {
            case Storage::Bits:
                c.bits.erase(row);
                break;
            case Storage::Fixed:
                c.fixed.erase(row * c.width, (row + 1) * c.width);
                break;
            case Storage::Arena:
                if (c.textSlots[row] != kNullSlot) {
                    const std::string_view old = arenaGet(c, c.textSlots[row]);
                    c.garbage += old.size() + (old.data() - (c.arena.data() + c.textSlots[row]));
                }
                c.textSlots.erase(c.textSlots.begin() + row);
                if (c.garbage > 4096 && c.garbage > c.arena.size() / 2) compact(c);
                break;
        }
    }
    --m_rowCount;
}

void RowStore::eraseRows(const std::vector<bool>& gone) {
    if (gone.size() != m_rowCount) throw ProviderError(hr::kInvalidArgument, "No such row.");
    size_t kept = 0;
    for (size_t r = 0; r < m_rowCount; ++r)
        if (!gone[r]) ++kept;
    if (kept == m_rowCount) return;
    for (Column& c : m_columns) {
        c.nulls.eraseMarked(gone);
        switch (c.storage) {
            case Storage::Bits:
                c.bits.eraseMarked(gone);
                break;
            case Storage::Fixed: {
                size_t to = 0;
                for (size_t r = 0; r < m_rowCount; ++r) {
                    if (gone[r]) continue;
                    if (to != r)
                        std::memcpy(c.fixed.data() + to * c.width, c.fixed.data() + r * c.width,
                                    c.width);
                    ++to;
                }
                c.fixed.resize(kept * c.width);
                break;
            }
            case Storage::Arena: {
                size_t to = 0;
                for (size_t r = 0; r < m_rowCount; ++r) {
                    const uint32_t slot = c.textSlots[r];
                    if (gone[r]) {
                        if (slot != kNullSlot) {
                            const std::string_view old = arenaGet(c, slot);
                            c.garbage += old.size() + (old.data() - (c.arena.data() + slot));
                        }
                        continue;
                    }
                    c.textSlots[to++] = slot;
                }
                c.textSlots.resize(kept);
                if (c.garbage > 4096 && c.garbage > c.arena.size() / 2) compact(c);
                break;
            }
        }
    }
    m_rowCount = kept;
}

void RowStore::clear() {
    for (Column& c : m_columns) {
        c.nulls.clear();
        c.bits.clear();
        c.fixed.clear();
        c.textSlots.clear();
        c.arena.clear();
        c.garbage = 0;
    }
    m_rowCount = 0;
}

void RowStore::shrinkToFit() {
    for (Column& c : m_columns) {
        c.nulls.shrinkToFit();
        c.bits.shrinkToFit();
        c.fixed.shrinkToFit();
        c.textSlots.shrink_to_fit();
        c.arena.shrinkToFit();
    }
}

bool RowStore::isNull(size_t row, size_t col) const {
    return m_columns[col].nulls.get(row);
}

std::string_view RowStore::bytes(size_t row, size_t col) const {
    const Column& c = m_columns[col];
    if (c.storage != Storage::Arena) return {};
    return arenaGet(c, c.textSlots[row]);
}

Variant RowStore::value(size_t row, size_t col) const {
    const Column& c = m_columns[col];
    if (c.nulls.get(row)) return Variant::null();
    switch (c.storage) {
        case Storage::Bits:
            return Variant(c.bits.get(row));
        case Storage::Arena: {
            const std::string_view b = arenaGet(c, c.textSlots[row]);
            if (isTextType(c.info.type)) return Variant(b);
            return Variant(Bytes(b.begin(), b.end()));
        }
        case Storage::Fixed:
            break;
    }
    const uint8_t* p = c.fixed.data() + row * c.width;
    switch (c.info.type) {
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
    const bool na = c.nulls.get(a);
    const bool nb = c.nulls.get(b);
    if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
    switch (c.storage) {
        case Storage::Bits:
            // Yes is -1 and no is 0, so yes comes first.
            return order(c.bits.get(a) ? -1 : 0, c.bits.get(b) ? -1 : 0);
        case Storage::Arena: {
            const std::string_view x = arenaGet(c, c.textSlots[a]);
            const std::string_view y = arenaGet(c, c.textSlots[b]);
            if (isTextType(c.info.type)) return compareText(x, y);
            const int r = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
            if (r != 0) return r < 0 ? -1 : 1;
            return order(x.size(), y.size());
        }
        case Storage::Fixed:
            break;
    }
    const uint8_t* p = c.fixed.data() + a * c.width;
    const uint8_t* q = c.fixed.data() + b * c.width;
    switch (c.info.type) {
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
        for (size_t r = 0; r < m_rowCount; ++r) {
            if (c.nulls.get(r)) continue;
            if (c.storage == Storage::Arena)
                total += arenaGet(c, c.textSlots[r]).size();
            else
                total += c.storage == Storage::Bits ? 1 : c.width;
        }
    }
    return total;
}

size_t RowStore::memoryBytes() const {
    size_t total = m_columns.capacity() * sizeof(Column) + m_infos.capacity() * sizeof(ColumnInfo);
    for (const Column& c : m_columns) {
        total += c.nulls.memoryBytes() + c.bits.memoryBytes() + c.fixed.capacity() +
                 c.textSlots.capacity() * sizeof(uint32_t) + c.arena.capacity();
    }
    return total;
}

}  // namespace tessor::provider
