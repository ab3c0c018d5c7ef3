#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/ByteView.h"
#include "jet/Format.h"
#include "jet/Schema.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// The row layout of both formats, both ways, on stored field bytes (no value decoding). Jet 4
// rows count columns and variable offsets in two bytes; Jet 3 rows in one, with a jump table
// recording where the offsets cross each 256-byte block.
class RowCodec {
public:
    // One entry per StoredTableDef::columns element: nullopt for null. Yes/No columns use `flags`.
    using Fields = std::vector<std::optional<std::vector<uint8_t>>>;

    static constexpr size_t kMaxRowSize = 4060;
    static constexpr size_t kMaxJet3RowSize = 2012;
    static size_t maxRowSize(Format format) {
        return format == Format::Jet3 ? kMaxJet3RowSize : kMaxRowSize;
    }

    // Builds a row: column count (TDEF max column count), fixed area, variable data, offset
    // table (TDEF variable high-water), null mask.
    static std::vector<uint8_t> build(const StoredTableDef& def, const Fields& fields,
                                      const std::vector<bool>& flags,
                                      Format format = Format::Jet4);
    // The stored bytes of each field of a row (the in-row descriptor for Memo/OLE).
    static Fields split(const StoredTableDef& def, const ByteView& row,
                        Format format = Format::Jet4);

};

}  // namespace jet
