#pragma once

#include <cstdint>
#include <vector>

#include "ByteView.h"
#include "Pager.h"

namespace jet {

// Reads Memo/OLE values from their 12-byte in-row descriptor: inline data, one LVAL row, or a
// chain of LVAL rows. Chains are checked for loops and for running past the declared length.
class LongValueReader {
public:
    static constexpr size_t kDescriptorSize = 12;
    static constexpr uint8_t kInline = 0x80;
    static constexpr uint8_t kSinglePage = 0x40;
    static constexpr uint8_t kChained = 0x00;

    explicit LongValueReader(Pager& pager) : m_pager(pager) {}

    // Replaces out with the value's bytes. Throws hr::kCorrupt on any inconsistency.
    void read(const ByteView& field, std::vector<uint8_t>& out);

private:
    ByteView lvalRow(uint32_t pointer, PageRef& hold);
    Pager& m_pager;
};

}  // namespace jet
