#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "provider/BitVector.h"
#include "provider/ColumnInfo.h"
#include "provider/PodBuffer.h"
#include "provider/Variant.h"

namespace jet {
struct Value;
}

namespace tessor::provider {

// The rows of a recordset snapshot, stored by column so that a 100k-row table costs little
// more than its data: fixed-size values packed side by side, texts and byte strings in one
// arena per column behind a 4-byte offset, nulls and yes/no values as bits. Rows are addressed
// by their load order (0-based); any other order is the caller's permutation over them.
// Not thread-safe.
class RowStore {
public:
    explicit RowStore(std::vector<ColumnInfo> columns);

    size_t rowCount() const { return m_rowCount; }
    size_t columnCount() const { return m_columns.size(); }
    const ColumnInfo& column(size_t col) const { return m_columns[col].info; }
    const std::vector<ColumnInfo>& columns() const { return m_infos; }

    void reserve(size_t rows);
    // Values in column order. Each must be Null/Empty or of the kind the column's type holds
    // (Text for text and memo, Bytes for binary and OLE, Int32 for long...); otherwise
    // ProviderError, and the store is unchanged.
    void appendRow(std::span<const Variant> values);
    // The same for a row as the engine reads it (one value per column, in column order),
    // written straight into the columns. A value of another kind than its column's type gives
    // ProviderError, and the store is unchanged.
    void appendRow(std::span<const jet::Value> values);
    void setValue(size_t row, size_t col, const Variant& value);
    void eraseRow(size_t row);
    // Removes every row whose flag in `gone` (one per row) is set, in one pass over the store;
    // the rows kept move up and keep their order.
    void eraseRows(const std::vector<bool>& gone);
    void clear();
    // Gives back the slack of the vectors' growth once loading is over.
    void shrinkToFit();

    Variant value(size_t row, size_t col) const;
    bool isNull(size_t row, size_t col) const;
    // Text (UTF-8) or the bytes of a binary value; empty for null. Only for text, memo,
    // binary and OLE columns.
    std::string_view bytes(size_t row, size_t col) const;
    // Orders two rows by one column: nulls first, texts in the database's order (the order of
    // its index keys), yes before no (yes is -1), dates by the calendar.
    int compare(size_t rowA, size_t rowB, size_t col) const;
    // Compares two texts in the database's order.
    int compareText(std::string_view a, std::string_view b) const;
    // The database's text is in Jet 3's "General" order rather than Jet 4's.
    void setGeneral97(bool general97) { m_general97 = general97; }
    bool general97() const { return m_general97; }

    // What the stored values amount to: the bytes of texts and binaries and the size of each
    // non-null fixed value.
    size_t dataBytes() const;
    // What the store occupies on the heap, by capacity.
    size_t memoryBytes() const;

private:
    enum class Storage : uint8_t { Bits, Fixed, Arena };
    struct Column {
        ColumnInfo info;
        Storage storage = Storage::Fixed;
        uint8_t width = 0;                // Fixed
        BitVector nulls;                  // 1 = null
        BitVector bits;                   // Bits
        PodBuffer<uint8_t> fixed;         // Fixed: width bytes per row
        std::vector<uint32_t> textSlots;  // Arena: offset of the entry, kNullSlot for null
        PodBuffer<char> arena;            // Arena: entries of varint length + bytes
        size_t garbage = 0;               // Arena: bytes of entries no row points at any more
        uint8_t engineKind = 0;           // the index of the engine value's kind it holds
    };
    static constexpr uint32_t kNullSlot = UINT32_MAX;

    static void checkKind(const Column& c, const Variant& v);
    void store(Column& c, size_t row, const Variant& v, bool append);
    uint32_t arenaPut(Column& c, std::string_view bytes);
    void trimTo(size_t rows, size_t columns);
    std::string_view arenaGet(const Column& c, uint32_t slot) const;
    void compact(Column& c);

    std::vector<Column> m_columns;
    std::vector<ColumnInfo> m_infos;
    size_t m_rowCount = 0;
    bool m_general97 = false;
};

}  // namespace tessor::provider
