#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/ByteView.h"
#include "jet/Schema.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Jet 4 row layout, both ways, on stored field bytes (no value decoding).
class RowCodec {
public:
    // One entry per StoredTableDef::columns element: nullopt for null. Yes/No columns use `flags`.
    using Fields = std::vector<std::optional<std::vector<uint8_t>>>;

    static constexpr size_t kMaxRowSize = 4060;

    // Builds a row: column count (TDEF max column count), fixed area, variable data, offset
    // table (TDEF variable high-water), null mask.
    static std::vector<uint8_t> build(const StoredTableDef& def, const Fields& fields,
                                      const std::vector<bool>& flags);
    // The stored bytes of each field of a row (the in-row descriptor for Memo/OLE).
    static Fields split(const StoredTableDef& def, const ByteView& row);
};

}  // namespace jet
