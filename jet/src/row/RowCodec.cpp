#include "row/RowCodec.h"

#include <algorithm>

#include "row/FieldEncoder.h"
#include "tdef/StoredTableDef.h"

namespace jet {

std::vector<uint8_t> RowCodec::build(const StoredTableDef& def, const Fields& fields,
                                     const std::vector<bool>& flags) {
    uint16_t colCount = def.maxColumnCount;
    for (const StoredColumn& c : def.columns)
        colCount = std::max<uint16_t>(colCount, static_cast<uint16_t>(c.id + 1));
    size_t fixedEnd = 0;
    for (const StoredColumn& c : def.columns)
        if (c.isFixed() && c.type != ColumnType::Bool)
            fixedEnd = std::max(fixedEnd, size_t(c.fixedOffset) + FieldEncoder::fixedWidth(c));
    const size_t nm = (size_t(colCount) + 7) / 8;
    std::vector<uint8_t> mask(nm, 0);
    std::vector<uint8_t> row(2 + fixedEnd, 0);
    row[0] = colCount & 0xFF;
    row[1] = colCount >> 8;
    auto setBit = [&](uint16_t id) { mask[id >> 3] |= static_cast<uint8_t>(1u << (id & 7)); };

    const uint16_t varCount = def.varColumnCount;
    std::vector<const std::vector<uint8_t>*> var(varCount, nullptr);
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.type == ColumnType::Bool) {
            if (flags[i]) setBit(c.id);
            continue;
        }
        if (!fields[i]) continue;
        setBit(c.id);
        if (c.isFixed()) {
            const auto& f = *fields[i];
            std::copy(f.begin(), f.end(), row.begin() + 2 + c.fixedOffset);
        } else if (c.varIndex < varCount) {
            var[c.varIndex] = &*fields[i];
        }
    }
    if (varCount > 0) {
        std::vector<uint16_t> offsets(size_t(varCount) + 1);
        for (size_t k = 0; k < varCount; ++k) {
            offsets[k] = static_cast<uint16_t>(std::min<size_t>(row.size(), 0xFFFF));
            if (var[k]) row.insert(row.end(), var[k]->begin(), var[k]->end());
        }
        offsets[varCount] = static_cast<uint16_t>(std::min<size_t>(row.size(), 0xFFFF));
        for (size_t k = varCount + 1; k-- > 0;) {
            row.push_back(offsets[k] & 0xFF);
            row.push_back(offsets[k] >> 8);
        }
        row.push_back(varCount & 0xFF);
        row.push_back(varCount >> 8);
    }
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

RowCodec::Fields RowCodec::split(const StoredTableDef& def, const ByteView& row) {
    Fields out(def.columns.size());
    const size_t len = row.size();
    const uint16_t colCount = row.u16(0);
    const size_t nm = (size_t(colCount) + 7) / 8;
    row.need(0, 2 + nm);
    const uint8_t* mask = row.data() + len - nm;
    auto present = [&](uint16_t id) {
        return id < colCount && ((mask[id >> 3] >> (id & 7)) & 1) != 0;
    };
    uint16_t varCount = 0;
    std::vector<uint16_t> offsets;
    // Rows stored before the first variable column was added carry no offset table; they
    // have no variable value either.
    bool needVar = false;
    for (const StoredColumn& c : def.columns)
        if (!c.isFixed() && c.type != ColumnType::Bool && present(c.id)) needVar = true;
    if (def.varColumnCount > 0 && needVar) {
        varCount = row.u16(len - nm - 2);
        offsets.resize(size_t(varCount) + 1);
        for (size_t k = 0; k <= varCount; ++k)
            offsets[k] = row.u16(len - nm - 4 - 2 * k);
    }
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.type == ColumnType::Bool || !present(c.id)) continue;
        ByteView f;
        if (c.isFixed()) {
            f = row.sub(2 + c.fixedOffset, FieldEncoder::fixedWidth(c));
        } else {
            if (c.varIndex >= varCount) continue;
            uint16_t a = offsets[c.varIndex], b = offsets[c.varIndex + 1];
            if (b < a) throwCorrupt("a row's variable column table is out of order");
            f = row.sub(a, b - a);
        }
        out[i] = std::vector<uint8_t>(f.data(), f.data() + f.size());
    }
    return out;
}

}  // namespace jet
