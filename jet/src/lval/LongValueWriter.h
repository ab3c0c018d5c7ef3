#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/Schema.h"
#include "page/PageSpace.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Stores Memo/OLE values: inline in the row up to kInlineMax bytes, as one row on an LVAL page
// of the column up to kSingleMax, else as a chain of LVAL rows. Frees them again row by row, so
// LVAL pages are repacked and given back when empty.
class LongValueWriter {
public:
    static constexpr size_t kInlineMax = 64;
    static constexpr size_t kSingleMax = 4076;  // 4 KB pages; 2 KB pages take 2032
    static constexpr size_t kChunkMax = 4072;   // data bytes of a chained row; 2028 on 2 KB pages

    LongValueWriter(PageSpace& space, PageSet& pages, const StoredTableDef& table)
        : m_space(space), m_pages(pages), m_table(table) {}

    // The in-row field (12-byte descriptor, followed by the data when inline).
    std::vector<uint8_t> store(const StoredColumn& column, const std::vector<uint8_t>& data);
    // Releases what a stored field points at (nothing for inline values).
    void free(const StoredColumn& column, const std::vector<uint8_t>& field);

private:
    uint32_t put(const StoredColumn& column, const std::vector<uint8_t>& row);
    std::string what(const StoredColumn& column) const;

    PageSpace& m_space;
    PageSet& m_pages;
    const StoredTableDef& m_table;
};

}  // namespace jet
