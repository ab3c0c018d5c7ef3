#pragma once

#include <cstdint>
#include <vector>

#include "base/TextCodec.h"
#include "jet/Schema.h"
#include "page/Pager.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Parses a table definition from its TDEF page chain. Every count and length is checked against
// the bytes actually present.
class TableDefReader {
public:
    // Field offsets that differ between the two formats.
    struct Layout {
        size_t rowCount, autoNumber, tableType, maxCols, varCols, colCount, logicalCount, realCount,
            ownedMap, freeMap, bodyStart;
        size_t statsSize, descriptorSize, realBlockSize, logicalBlockSize;
    };
    static const Layout& layout(Format format);

    static StoredTableDef read(Pager& pager, const TextCodec& text, uint32_t tdefPage);

    // The TDEF chain reassembled: first page whole, continuation pages from offset 8.
    static std::vector<uint8_t> loadChain(Pager& pager, uint32_t tdefPage,
                                          std::vector<uint32_t>& pages);
};

}  // namespace jet
