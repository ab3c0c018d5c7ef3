#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "base/ByteView.h"
#include "page/Pager.h"

namespace jet {

// Reads Memo/OLE values from their 12-byte in-row descriptor: inline data, one LVAL row, or a
// chain of LVAL rows. Chains are checked for loops and for running past the declared length.
class LongValueReader {
public:
    static constexpr size_t kDescriptorSize = 12;
    static constexpr uint8_t kInline = 0x80;
    static constexpr uint8_t kSinglePage = 0x40;
    static constexpr uint8_t kChained = 0x00;

    explicit LongValueReader(Pager& pager)
        : m_pager(pager), m_budget(uint64_t(pager.pageCount()) * pager.pageSize()) {}

    // Replaces out with the value's bytes. Throws hr::kCorrupt on any inconsistency.
    void read(const ByteView& field, std::vector<uint8_t>& out);

    // When set, every LVAL page a read touches is appended here with the column id given by
    // setColumn() (the checker compares them with the columns' page maps).
    using PageUse = std::pair<uint16_t, uint32_t>;
    void trackPages(std::vector<PageUse>* pages) { m_visited = pages; }
    void setColumn(uint16_t columnId) { m_column = columnId; }

private:
    ByteView lvalRow(uint32_t pointer, PageRef& hold);
    Pager& m_pager;
    std::vector<PageUse>* m_visited = nullptr;
    // Bytes this reader may still deliver. Each stored value belongs to one row, so all the
    // values of a scan together fit in the file; many rows pointing at one large value would
    // otherwise turn a small file into unbounded work.
    uint64_t m_budget;
    uint16_t m_column = 0;
};

}  // namespace jet
