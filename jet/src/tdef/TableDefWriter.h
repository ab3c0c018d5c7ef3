#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/Schema.h"
#include "tdef/StoredTableDef.h"

namespace jet {

class TextCodec;

// Writes a table definition (Jet 4, or Jet 3 given its text codec) in the layout TableDefReader parses: header, index
// statistics, column descriptors in their stored order (StoredColumn::descriptorIndex), column
// names, real-index blocks, logical-index blocks and names, then the long-value column maps
// ended by FF FF. Fields the definition does not model (markers, reserved words) get the values
// Access writes.
class TableDefWriter {
public:
    // The reassembled definition: what TableDefReader::loadChain gives back, up to and including
    // the final FF FF (its length is the stored definition length). Page header bytes 0..7 are
    // left zero. Throws hr::kInvalidArg for a name that is not valid UTF-8 or too long to store.
    // With a Jet 3 `text`, the Access 97 layout, names in text's code page (a name it cannot hold
    // is refused, naming the character); otherwise the Jet 4 one.
    static std::vector<uint8_t> definition(const StoredTableDef& def,
                                           const TextCodec* text = nullptr);

    // How many pages the definition takes.
    static size_t pageCount(const StoredTableDef& def, uint32_t pageSize,
                            const TextCodec* text = nullptr);
    static size_t pageCount(size_t definitionLength, uint32_t pageSize);

    // The definition as TDEF pages, chained through `pageNumbers` (first page first; exactly
    // pageCount() of them). The first page is filled completely when the definition does not fit
    // one page; the last keeps the 8-byte reserve Access leaves. Unused bytes are zero.
    static std::vector<std::vector<uint8_t>> pages(const StoredTableDef& def, uint32_t pageSize,
                                                   const std::vector<uint32_t>& pageNumbers,
                                                   const TextCodec* text = nullptr);
};

}  // namespace jet
