#include "row/RowDecoder.h"
#include "tdef/StoredTableDef.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace jet {

namespace {

template <typename T>
T& emplaceReuse(Value& v) {
    if (T* p = std::get_if<T>(&v.v)) return *p;
    return v.v.emplace<T>();
}

int64_t readI64(const uint8_t* p) {
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    return static_cast<int64_t>(u);
}

uint32_t readU32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

double readDouble(const uint8_t* p) {
    uint64_t u = static_cast<uint64_t>(readI64(p));
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// The fixed-size values most tables hold, read straight from the row; false for the others.
inline bool decodeCommonFixed(ColumnType type, const uint8_t* p, Value& out) {
    switch (type) {
        case ColumnType::Byte:
            out.v = p[0];
            return true;
        case ColumnType::Int:
            out.v = static_cast<int16_t>(p[0] | (p[1] << 8));
            return true;
        case ColumnType::Long:
            out.v = static_cast<int32_t>(readU32(p));
            return true;
        case ColumnType::Money:
            out.v = Currency{readI64(p)};
            return true;
        case ColumnType::Double:
            out.v = readDouble(p);
            return true;
        case ColumnType::DateTime:
            out.v = DateTime{readDouble(p)};
            return true;
        default:
            return false;
    }
}

}  // namespace

RowDecoder::RowDecoder(Pager& pager, const TextCodec& text, const StoredTableDef& def)
    : m_text(text), m_def(def), m_format(pager.format()), m_lv(pager) {}

void RowDecoder::decodeField(const StoredColumn& col, const ByteView& data, Value& out) {
    size_t need = fixedSize(col.type);
    if (need > 0 && data.size() < need)
        throwCorrupt("a value of column '" + col.name + "' is " + std::to_string(data.size()) +
                     " bytes long, too short for its type");
    const uint8_t* p = data.data();
    switch (col.type) {
        case ColumnType::Byte:
            out.v = p[0];
            return;
        case ColumnType::Int:
            out.v = static_cast<int16_t>(p[0] | (p[1] << 8));
            return;
        case ColumnType::Long:
            out.v = static_cast<int32_t>(readU32(p));
            return;
        case ColumnType::Complex:
            out.v = static_cast<int32_t>(readU32(p));
            return;
        case ColumnType::Money:
            out.v = Currency{readI64(p)};
            return;
        case ColumnType::Float: {
            uint32_t u = readU32(p);
            float f;
            std::memcpy(&f, &u, sizeof f);
            out.v = f;
            return;
        }
        case ColumnType::Double:
            out.v = readDouble(p);
            return;
        case ColumnType::DateTime:
            out.v = DateTime{readDouble(p)};
            return;
        case ColumnType::Guid: {
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            out.v = g;
            return;
        }
        case ColumnType::Numeric: {
            Decimal d;
            d.negative = (p[0] & 0x80) != 0;
            d.hi = (uint64_t(readU32(p + 1)) << 32) | readU32(p + 5);
            d.lo = (uint64_t(readU32(p + 9)) << 32) | readU32(p + 13);
            d.precision = col.precision;
            d.scale = col.scale;
            out.v = d;
            return;
        }
        case ColumnType::Text: {
            std::string& s = emplaceReuse<std::string>(out);
            m_text.decode(p, data.size(), s);
            return;
        }
        case ColumnType::Memo: {
            m_lv.setColumn(col.id);
            if (data.size() == 0) {
                emplaceReuse<std::string>(out).clear();
                return;
            }
            m_lv.read(data, m_scratch);
            std::string& s = emplaceReuse<std::string>(out);
            m_text.decode(m_scratch.data(), m_scratch.size(), s);
            return;
        }
        case ColumnType::Ole: {
            m_lv.setColumn(col.id);
            auto& b = emplaceReuse<std::vector<uint8_t>>(out);
            if (data.size() == 0) {
                b.clear();
                return;
            }
            m_lv.read(data, b);
            return;
        }
        default: {
            auto& b = emplaceReuse<std::vector<uint8_t>>(out);
            b.assign(p, p + data.size());
            return;
        }
    }
}

void RowDecoder::checkVarTable(uint32_t colCount, size_t countSize, uint16_t varCount,
                               size_t dataEnd) const {
    // The variable values start where the fixed ones of the row's columns end.
    size_t fixedEnd = countSize;
    for (const StoredColumn& c : m_def.columns) {
        if (c.id >= colCount) continue;
        if (!c.isFixed() || c.type == ColumnType::Bool) {
            if (c.type != ColumnType::Bool && c.varIndex >= varCount)
                throwCorrupt("a row's variable column table is missing or damaged: it has " +
                             std::to_string(varCount) + " entries, but column '" + c.name +
                             "' needs entry " + std::to_string(c.varIndex + 1));
            continue;
        }
        size_t size = fixedSize(c.type);
        if (size == 0) size = c.length;
        fixedEnd = std::max(fixedEnd, countSize + c.fixedOffset + size);
    }
    if (m_offsets[0] < fixedEnd)
        throwCorrupt("a row's variable column table is missing or damaged: its first value "
                     "would start at byte " + std::to_string(m_offsets[0]) +
                     ", inside the fixed values (which end at byte " + std::to_string(fixedEnd) +
                     ")");
    for (size_t k = 0; k < varCount; ++k)
        if (m_offsets[k] > m_offsets[k + 1])
            throwCorrupt("a row's variable column table is missing or damaged: its offsets run "
                         "backwards");
    if (m_offsets[varCount] > dataEnd)
        throwCorrupt("a row's variable column table is missing or damaged: its values would "
                     "end at byte " + std::to_string(m_offsets[varCount]) + ", past the data (" +
                     std::to_string(dataEnd) + " bytes)");
}

void RowDecoder::jet3Offsets(const ByteView& row, size_t nm, uint16_t varCount,
                             std::vector<uint32_t>& out) {
    // Offsets are single bytes; a jump table records where they cross each 256-byte block.
    const size_t len = row.size();
    const size_t varCountAt = len - nm - 1;
    size_t numJumps = (len - 1) / 256;
    if (varCountAt < numJumps + 2 + varCount)
        throwCorrupt("a row's variable column table does not fit in the row");
    const size_t jumpBase = varCountAt - 1;                // jump[0], counting downwards
    const size_t firstOffset = varCountAt - 1 - numJumps;  // offset entry 0, counting downwards
    // The last jump byte is a dummy when the offset table itself lies below its block.
    if (numJumps > 0 && (firstOffset - varCount) / 256 < numJumps) --numJumps;
    size_t jumpsUsed = 0;
    out.resize(size_t(varCount) + 1);
    for (size_t i = 0; i <= varCount; ++i) {
        while (jumpsUsed < numJumps && i == row.u8(jumpBase - jumpsUsed))
            ++jumpsUsed;
        out[i] = row.u8(firstOffset - i) + 256 * uint32_t(jumpsUsed);
    }
}

void RowDecoder::decode(const ByteView& row, std::vector<Value>& out) {
    const auto& cols = m_def.columns;
    out.resize(cols.size());
    const size_t len = row.size();
    const bool jet3 = m_format == Format::Jet3;
    const size_t countSize = jet3 ? 1 : 2;
    if (len < countSize + 1)
        throwCorrupt("a row of " + std::to_string(len) + " bytes is too short");
    const uint32_t colCount = jet3 ? row.u8(0) : row.u16(0);
    const size_t nm = (size_t(colCount) + 7) / 8;
    if (len < countSize + nm) throwCorrupt("a row's null mask does not fit in the row");
    const uint8_t* mask = row.data() + len - nm;
    auto present = [&](uint16_t id) {
        return id < colCount && ((mask[id >> 3] >> (id & 7)) & 1) != 0;
    };

    uint16_t varCount = 0;
    size_t dataEnd = len - nm;  // fixed and variable data end before this
    // A row whose stored columns include no live variable value needs no offset table; rows
    // written before the table's first variable column was added have none.
    bool needVar = false;
    for (const StoredColumn& c : cols)
        if (!c.isFixed() && c.type != ColumnType::Bool && present(c.id)) {
            needVar = true;
            break;
        }
    // A row that counts a variable column among its columns was written while that column
    // existed, so it carries the table even when all its variable values are null.
    if (m_strict)
        for (const StoredColumn& c : cols)
            if (!c.isFixed() && c.type != ColumnType::Bool && c.id < colCount) needVar = true;
    if (m_def.varColumnCount > 0 && needVar) {
        if (jet3) {
            if (len < nm + 1 + countSize) throwCorrupt("a row is too short for its column table");
            varCount = row.u8(len - nm - 1);
            jet3Offsets(row, nm, varCount, m_offsets);
            dataEnd = len - nm - 1 - ((len - 1) / 256) - (size_t(varCount) + 1);
            if (m_strict) checkVarTable(colCount, countSize, varCount, dataEnd);
        } else {
            if (len < nm + 2 + countSize) throwCorrupt("a row is too short for its column table");
            varCount = row.u16(len - nm - 2);
            size_t tableBytes = 2 * (size_t(varCount) + 1);
            if (len < nm + 2 + tableBytes + countSize)
                throwCorrupt("a row's variable column table does not fit in the row");
            dataEnd = len - nm - 2 - tableBytes;
            m_offsets.resize(size_t(varCount) + 1);
            for (size_t k = 0; k <= varCount; ++k)
                m_offsets[k] = row.u16(len - nm - 4 - 2 * k);
        }
        if (m_strict) checkVarTable(colCount, countSize, varCount, dataEnd);
    }

    const size_t columnCount = cols.size();
    Value* const values = out.data();
    for (size_t i = 0; i < columnCount; ++i) {
        const StoredColumn& c = cols[i];
        Value& v = values[i];
        if (c.type == ColumnType::Bool) {
            v.v = present(c.id);
            continue;
        }
        if (!present(c.id)) {
            v.v = std::monostate{};
            continue;
        }
        if (c.isFixed()) {
            size_t size = fixedSize(c.type);
            if (size == 0) size = c.length;
            size_t start = countSize + c.fixedOffset;
            if (start + size > dataEnd)
                throwCorrupt("the fixed value of column '" + c.name + "' lies outside its row");
            if (!decodeCommonFixed(c.type, row.data() + start, v))
                decodeField(c, row.sub(start, size), v);
            continue;
        }
        if (c.varIndex >= varCount) {
            v.v = std::monostate{};
            continue;
        }
        uint32_t a = m_offsets[c.varIndex], b = m_offsets[c.varIndex + 1];
        if (a > b || b > dataEnd || a < countSize)
            throwCorrupt("the variable value of column '" + c.name + "' lies outside its row (" +
                         std::to_string(a) + ".." + std::to_string(b) + " of " +
                         std::to_string(len) + " bytes)");
        if (c.type == ColumnType::Text)
            m_text.decode(row.data() + a, b - a, emplaceReuse<std::string>(v));
        else
            decodeField(c, row.sub(a, b - a), v);
    }
}

}  // namespace jet
