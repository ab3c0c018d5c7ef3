#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "index/TextKeyEncoder.h"
#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {

// Builds the key bytes Jet stores for a row in one real index. Whether every
// key of the index can be built is decided up front: an unsupported text sort
// order or a column type Jet cannot index makes the encoder unusable, and
// cannotEncodeReason() says why (a writer must then refuse to touch the table's
// indexes rather than write keys Access would not find).
class IndexKeyEncoder {
public:
    // `databaseSortOrder` is Database::sortOrder(); it stands in for text columns
    // that store no sort order of their own.
    IndexKeyEncoder(const StoredTableDef& table, const StoredRealIndex& index, Format format,
                    uint32_t databaseSortOrder);

    bool canEncode() const { return m_reason.empty(); }
    const std::string& cannotEncodeReason() const { return m_reason; }

    // `row` holds one Value per table column, in StoredTableDef::columns order.
    // Throws hr::kNotSupported when !canEncode(), hr::kInvalidArg when a value
    // does not fit its column's type.
    std::vector<uint8_t> encode(const std::vector<Value>& row,
                                TextPositions positions = TextPositions::Weights) const;
    // True when a key column is Text or Memo.
    bool hasText() const;
    // True when every key column of the row is null (such rows get no entry in
    // an ignore-nulls index). Yes/No columns are never null.
    bool allNull(const std::vector<Value>& row) const;
    // True when some key column of the row is null.
    bool anyNull(const std::vector<Value>& row) const;

    // Why some index of the table cannot be kept up to date, naming the index;
    // empty when every real index can be encoded. A writer refuses changes that
    // touch the indexes of such a table.
    static std::string tableCannotEncodeReason(const StoredTableDef& table, Format format,
                                               uint32_t databaseSortOrder);
    // The text sort order Jet uses for a column, if this engine knows it.
    static std::optional<TextSortOrder> textSortOrder(const ColumnDef& column, Format format,
                                                      uint32_t databaseSortOrder);
    // Appends one column's part of a key.
    static void appendValue(std::vector<uint8_t>& out, const ColumnDef& column, const Value& value,
                            bool ascending, TextSortOrder textOrder,
                            TextPositions positions = TextPositions::Weights);
    static std::u16string toUtf16(const std::string& utf8);
    // The same into `out`, whose room is kept from one value to the next.
    static void toUtf16(const std::string& utf8, std::u16string& out);

private:
    struct KeyColumn {
        size_t position = 0;  // in StoredTableDef::columns
        const ColumnDef* column = nullptr;
        bool ascending = true;
        TextSortOrder textOrder = TextSortOrder::GeneralLegacy;
    };

    std::vector<KeyColumn> m_columns;
    std::string m_reason;
};

}  // namespace jet::index
