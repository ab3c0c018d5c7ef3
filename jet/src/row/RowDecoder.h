#pragma once

#include <cstdint>
#include <vector>

#include "base/ByteView.h"
#include "base/TextCodec.h"
#include "jet/Schema.h"
#include "jet/Value.h"
#include "lval/LongValueReader.h"
#include "page/Pager.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Bytes a value of the type takes in the fixed part of a row; 0 for yes/no (it lives in the
// null mask) and for types stored in the variable part.
inline size_t fixedSize(ColumnType t) {
    switch (t) {
        case ColumnType::Bool:
            return 0;
        case ColumnType::Byte:
            return 1;
        case ColumnType::Int:
            return 2;
        case ColumnType::Long:
        case ColumnType::Float:
        case ColumnType::Complex:
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

// Turns one stored row into values, one per column of the definition (column-id order).
// Reuses the strings and byte vectors already in `out`, so a scan allocates little per row.
class RowDecoder {
public:
    RowDecoder(Pager& pager, const TextCodec& text, const StoredTableDef& def);

    // Throws hr::kCorrupt when the row does not fit its own length fields.
    void decode(const ByteView& row, std::vector<Value>& out);

    // Decodes one field's bytes as the column's type (fixed or variable data).
    void decodeField(const StoredColumn& col, const ByteView& data, Value& out);

    // Records the LVAL pages each long value read touches, per column (checker use).
    void trackLongValuePages(std::vector<LongValueReader::PageUse>* pages) {
        m_lv.trackPages(pages);
    }

    // Strict reading, for the integrity check: a row that counts a variable column must carry
    // a sound variable column table (present, in order, after the fixed values), even where
    // every variable value of the row is null and a reader could do without it.
    void setStrict(bool strict) { m_strict = strict; }

    // Jet 3: a row's variable offsets (varCount + 1 of them, the end of data last) read through
    // the jump table, into `out`.
    static void jet3Offsets(const ByteView& row, size_t nullMaskSize, uint16_t varCount,
                            std::vector<uint32_t>& out);

private:
    void checkVarTable(uint32_t colCount, size_t countSize, uint16_t varCount,
                       size_t dataEnd) const;

    const TextCodec& m_text;
    const StoredTableDef& m_def;
    Format m_format;
    LongValueReader m_lv;
    std::vector<uint8_t> m_scratch;
    std::vector<uint32_t> m_offsets;  // variable offsets of the current row, EOD last
    bool m_strict = false;
};

}  // namespace jet
