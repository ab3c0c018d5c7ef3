#pragma once

#include <cstdint>

#include "jet/Format.h"

namespace jet::index {

// Where the fields of an index page (type 0x03 node, 0x04 leaf) sit in each format.
struct IndexPageLayout {
    uint32_t pageSize;
    uint32_t prevPage;      // previous page at this level
    uint32_t nextPage;      // next page at this level
    uint32_t tailPage;      // nodes: rightmost child, kept out of the entry list
    uint32_t prefixLength;  // bytes every later entry shares with the first
    uint32_t prefixSize;    // width of that field: 2 in Jet 4, 1 in Jet 3
    uint32_t level;         // tree level, 0 on leaves
    uint32_t mask;          // entry-end bitmask
    uint32_t maskSize;
    uint32_t entries;  // first entry byte

    // Entry bytes one page can hold: limited both by the page and by the mask.
    uint32_t maxEntryBytes() const {
        const uint32_t byPage = pageSize - entries;
        const uint32_t byMask = maskSize * 8;
        return byPage < byMask ? byPage : byMask;
    }

    static const IndexPageLayout& of(Format format);
};

inline constexpr uint8_t kIndexNodePage = 0x03;
inline constexpr uint8_t kIndexLeafPage = 0x04;
inline constexpr uint32_t kOwnerOffset = 0x04;      // TDEF page of the owning table
inline constexpr uint32_t kFreeSpaceOffset = 0x02;  // bytes left on the page
inline constexpr uint32_t kRowPointerSize = 4;      // 3-byte page + 1-byte row, big-endian
inline constexpr uint32_t kChildPointerSize = 4;    // big-endian

inline const IndexPageLayout& IndexPageLayout::of(Format format) {
    static constexpr IndexPageLayout kJet4{4096, 0x0C, 0x10, 0x14, 0x18, 2, 0x1A, 0x1B, 453, 0x1E0};
    static constexpr IndexPageLayout kJet3{2048, 0x08, 0x0C, 0x10, 0x14, 1, 0x15, 0x16, 226, 0xF8};
    return format == Format::Jet3 ? kJet3 : kJet4;
}

}  // namespace jet::index
