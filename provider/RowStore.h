#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "provider/ColumnInfo.h"
#include "provider/PodBuffer.h"
#include "provider/Variant.h"

namespace jet {
struct Value;
}

namespace tessor::provider {

// The rows of a recordset snapshot, stored by column so that a table costs little more than
// its data. Fixed-size values are packed side by side (a yes/no value in one byte), with a
// bitmap of nulls made only once a column holds a null. Texts and byte strings lie in one arena
// per column, each behind its length (a byte up to 126 bytes); the arena keeps the values of
// every block of kBlockRows rows together and in order, and the column keeps one offset per
// block, so that a value is found by stepping over at most kBlockRows - 1 others. Rows are
// addressed by their load order (0-based); any other order is the caller's permutation over
// them. Not thread-safe.
class RowStore {
public:
    explicit RowStore(std::vector<ColumnInfo> columns);

    size_t rowCount() const { return m_rowCount; }
    size_t columnCount() const { return m_columns.size(); }
    const ColumnInfo& column(size_t col) const { return m_infos[col]; }
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
    // The same, or nothing for null, in one look-up where isNull and bytes take two.
    std::optional<std::string_view> bytesOrNull(size_t row, size_t col) const;
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
    static constexpr size_t kBlockRows = 32;
    enum class Storage : uint8_t { Bits, Fixed, Arena };
    struct Column {
        PodBuffer<uint8_t> data;  // Bits and Fixed: width bytes per row; Arena: entries
        // Arena: where the entries of each block start. Bits and Fixed: the nulls, a bit a row
        // (1 = null) in 32-bit words, the bits past the last row zero; empty while there is none.
        PodBuffer<uint32_t> aux;
        uint32_t garbage = 0;             // Arena: bytes of entries no block points at any more
        Storage storage = Storage::Fixed;
        uint8_t width = 0;                // Bits and Fixed
        uint8_t engineKind = 0;           // the index of the engine value's kind it holds
        bool tailMoved = false;           // Arena: the last block no longer ends the arena
    };

    void checkKind(size_t col, const Variant& v) const;
    void store(size_t col, size_t row, const Variant& v, bool append);
    void storeNull(Column& c, size_t row, bool null, bool append);
    void appendEntry(size_t col, std::string_view bytes, bool null);
    void setEntry(size_t col, size_t row, std::string_view bytes, bool null);
    void checkArenaRoom(size_t col, size_t more) const;
    const uint8_t* entryAt(const Column& c, size_t row) const;
    const uint8_t* blockEnd(const Column& c, size_t block) const;
    void compact(Column& c);
    template <typename Gone>
    void eraseEntries(Column& c, Gone gone);
    void trimTo(size_t rows, size_t columns);

    std::vector<Column> m_columns;
    std::vector<ColumnInfo> m_infos;
    size_t m_rowCount = 0;
    bool m_general97 = false;
};

}  // namespace tessor::provider
