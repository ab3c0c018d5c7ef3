#pragma once

#include <compare>
#include <cstdint>
#include <cstring>
#include <vector>

#include "jet/Database.h"

namespace jet::index {

// One entry of an index page: the encoded key and the row it stands for. On
// node pages `child` is the page below, and key/row are those of the last
// entry of that child's subtree.
struct IndexEntry {
    std::vector<uint8_t> key;
    RowId row;
    uint32_t child = 0;

    // Jet orders entries by key bytes (unsigned), then by row pointer; this is
    // the byte order of the whole stored leaf entry.
    friend std::strong_ordering compareEntries(const IndexEntry& a, const IndexEntry& b) {
        if (auto c = compareKeys(a.key, b.key); c != 0) return c;
        if (a.row.page != b.row.page) return a.row.page <=> b.row.page;
        return a.row.row <=> b.row.row;
    }
    static std::strong_ordering compareKeys(const std::vector<uint8_t>& a,
                                            const std::vector<uint8_t>& b) {
        const size_t n = a.size() < b.size() ? a.size() : b.size();
        if (n != 0)
            if (const int c = std::memcmp(a.data(), b.data(), n); c != 0) return c <=> 0;
        return a.size() <=> b.size();
    }
};

}  // namespace jet::index
