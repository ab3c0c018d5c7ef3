#include "row/RowCodec.h"

#include <algorithm>
#include <cstring>

#include "jet/Error.h"
#include "row/FieldEncoder.h"
#include "row/RowDecoder.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

// Jet 3 offset table: one byte per offset, the end of data first (lowest), then the offsets
// from the last variable slot down to the first, then the jump bytes (jump[0] nearest the
// count). The row length decides how many jump bytes there are, and they are part of it.
void appendJet3Table(std::vector<uint8_t>& row, const std::vector<uint32_t>& offsets,
                     uint16_t varCount, size_t nm) {
    const size_t base = row.size() + offsets.size() + 1 + nm;
    size_t jumps = 0;
    for (;;) {
        const size_t next = (base + jumps - 1) / 256;
        if (next == jumps) break;
        jumps = next;
    }
    for (size_t k = offsets.size(); k-- > 0;)
        row.push_back(static_cast<uint8_t>(offsets[k] & 0xFF));
    // jump[j]: the first entry (0 = first slot, varCount = end of data) at or past block j+1.
    std::vector<uint8_t> jump(jumps, 0xFF);
    for (size_t j = 0; j < jumps; ++j)
        for (size_t i = 0; i < offsets.size(); ++i)
            if (offsets[i] >= 256 * (j + 1)) {
                jump[j] = static_cast<uint8_t>(i);
                break;
            }
    for (size_t j = jumps; j-- > 0;)
        row.push_back(jump[j]);
    row.push_back(static_cast<uint8_t>(varCount));
}

}  // namespace

namespace {

using FieldBytes = const std::vector<uint8_t>*;

// The variable fields by variable index (var holds varCount entries, all null); returns their
// length together.
size_t collectVariable(const StoredTableDef& def, const RowCodec::Fields& fields, FieldBytes* var,
                       uint16_t varCount) {
    size_t bytes = 0;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.type == ColumnType::Bool || !fields[i] || c.isFixed() || c.varIndex >= varCount)
            continue;
        var[c.varIndex] = &*fields[i];
        bytes += fields[i]->size();
    }
    return bytes;
}

// Sets the null mask's bits (zeroed by the caller) and copies the fixed fields into the fixed
// area.
void placeFixed(const StoredTableDef& def, const RowCodec::Fields& fields,
                const std::vector<bool>& flags, uint8_t* fixedArea, uint8_t* mask) {
    auto setBit = [&](uint16_t id) { mask[id >> 3] |= static_cast<uint8_t>(1u << (id & 7)); };
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.type == ColumnType::Bool) {
            if (flags[i]) setBit(c.id);
            continue;
        }
        if (!fields[i]) continue;
        setBit(c.id);
        if (c.isFixed() && !fields[i]->empty())
            std::memcpy(fixedArea + c.fixedOffset, fields[i]->data(), fields[i]->size());
    }
}

// Jet 4 rows, built in place: the length is known before any byte is written, so the row is
// one allocation, and the offset table and null mask are written where they end up.
std::vector<uint8_t> buildJet4(const StoredTableDef& def, const RowCodec::Fields& fields,
                               const std::vector<bool>& flags, uint16_t colCount, size_t fixedEnd) {
    constexpr size_t kCountSize = 2;
    const size_t nm = (size_t(colCount) + 7) / 8;
    const uint16_t varCount = def.varColumnCount;
    FieldBytes fewVar[32] = {};
    std::vector<FieldBytes> manyVar(varCount > 32 ? varCount : 0, nullptr);
    FieldBytes* var = varCount > 32 ? manyVar.data() : fewVar;
    const size_t varBytes = collectVariable(def, fields, var, varCount);
    const size_t table = varCount > 0 ? 2 * (size_t(varCount) + 1) + 2 : 0;
    const size_t len = kCountSize + fixedEnd + varBytes + table + nm;
    std::vector<uint8_t> row(len, 0);
    uint8_t* out = row.data();
    out[0] = colCount & 0xFF;
    out[1] = colCount >> 8;
    placeFixed(def, fields, flags, out + kCountSize, out + len - nm);
    if (varCount > 0) {
        // offsets[k] sits at tableStart + 2 * (varCount - k); the count follows the table.
        const size_t tableStart = len - nm - table;
        auto putOffset = [&](size_t k, size_t at) {
            const size_t v = std::min<size_t>(at, 0xFFFF);
            out[tableStart + 2 * (varCount - k)] = static_cast<uint8_t>(v & 0xFF);
            out[tableStart + 2 * (varCount - k) + 1] = static_cast<uint8_t>(v >> 8);
        };
        size_t at = kCountSize + fixedEnd;
        for (size_t k = 0; k < varCount; ++k) {
            putOffset(k, at);
            if (var[k] && !var[k]->empty()) {
                std::memcpy(out + at, var[k]->data(), var[k]->size());
                at += var[k]->size();
            }
        }
        putOffset(varCount, at);
        out[len - nm - 2] = varCount & 0xFF;
        out[len - nm - 1] = static_cast<uint8_t>(varCount >> 8);
    }
    return row;
}

// Jet 3 rows: the jump table's size follows from the row's length, so the offset table is
// appended once the data is in place.
std::vector<uint8_t> buildJet3(const StoredTableDef& def, const RowCodec::Fields& fields,
                               const std::vector<bool>& flags, uint16_t colCount, size_t fixedEnd) {
    constexpr size_t kCountSize = 1;
    const size_t nm = (size_t(colCount) + 7) / 8;
    const uint16_t varCount = def.varColumnCount;
    std::vector<FieldBytes> var(varCount, nullptr);
    collectVariable(def, fields, var.data(), varCount);
    std::vector<uint8_t> mask(nm, 0);
    std::vector<uint8_t> row(kCountSize + fixedEnd, 0);
    row[0] = colCount & 0xFF;
    placeFixed(def, fields, flags, row.data() + kCountSize, mask.data());
    if (varCount > 0) {
        std::vector<uint32_t> offsets(size_t(varCount) + 1);
        for (size_t k = 0; k < varCount; ++k) {
            offsets[k] = static_cast<uint32_t>(std::min<size_t>(row.size(), 0xFFFF));
            if (var[k]) row.insert(row.end(), var[k]->begin(), var[k]->end());
        }
        offsets[varCount] = static_cast<uint32_t>(std::min<size_t>(row.size(), 0xFFFF));
        appendJet3Table(row, offsets, varCount, nm);
    }
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

}  // namespace

std::vector<uint8_t> RowCodec::build(const StoredTableDef& def, const Fields& fields,
                                     const std::vector<bool>& flags, Format format) {
    uint16_t colCount = def.maxColumnCount;
    for (const StoredColumn& c : def.columns)
        colCount = std::max<uint16_t>(colCount, static_cast<uint16_t>(c.id + 1));
    size_t fixedEnd = 0;
    for (const StoredColumn& c : def.columns)
        if (c.isFixed() && c.type != ColumnType::Bool)
            fixedEnd = std::max(fixedEnd, size_t(c.fixedOffset) + FieldEncoder::fixedWidth(c));
    return format == Format::Jet3 ? buildJet3(def, fields, flags, colCount, fixedEnd)
                                  : buildJet4(def, fields, flags, colCount, fixedEnd);
}

RowCodec::Fields RowCodec::split(const StoredTableDef& def, const ByteView& row, Format format) {
    const bool jet3 = format == Format::Jet3;
    const size_t countSize = jet3 ? 1 : 2;
    Fields out(def.columns.size());
    const size_t len = row.size();
    const uint16_t colCount = jet3 ? row.u8(0) : row.u16(0);
    const size_t nm = (size_t(colCount) + 7) / 8;
    row.need(0, countSize + nm);
    const uint8_t* mask = row.data() + len - nm;
    auto present = [&](uint16_t id) {
        return id < colCount && ((mask[id >> 3] >> (id & 7)) & 1) != 0;
    };
    uint16_t varCount = 0;
    std::vector<uint32_t> offsets;
    // Rows stored before the first variable column was added carry no offset table; they
    // have no variable value either.
    bool needVar = false;
    for (const StoredColumn& c : def.columns)
        if (!c.isFixed() && c.type != ColumnType::Bool && present(c.id)) needVar = true;
    if (def.varColumnCount > 0 && needVar) {
        if (jet3) {
            row.need(0, countSize + nm + 1);
            varCount = row.u8(len - nm - 1);
            RowDecoder::jet3Offsets(row, nm, varCount, offsets);
        } else {
            varCount = row.u16(len - nm - 2);
            offsets.resize(size_t(varCount) + 1);
            for (size_t k = 0; k <= varCount; ++k)
                offsets[k] = row.u16(len - nm - 4 - 2 * k);
        }
    }
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.type == ColumnType::Bool || !present(c.id)) continue;
        ByteView f;
        if (c.isFixed()) {
            f = row.sub(countSize + c.fixedOffset, FieldEncoder::fixedWidth(c));
        } else {
            if (c.varIndex >= varCount) continue;
            uint32_t a = offsets[c.varIndex], b = offsets[c.varIndex + 1];
            if (b < a) throwCorrupt("a row's variable column table is out of order");
            f = row.sub(a, b - a);
        }
        out[i] = std::vector<uint8_t>(f.data(), f.data() + f.size());
    }
    return out;
}

}  // namespace jet
