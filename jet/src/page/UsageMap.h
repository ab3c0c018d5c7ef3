#pragma once

#include <cstdint>
#include <vector>

#include "jet/Schema.h"
#include "page/MapPointer.h"
#include "page/Pager.h"

namespace jet {

// A set of pages, stored as a row holding either an inline bitmap (type 0) or a list of bitmap
// pages (type 1). Kept in its stored form as well, so a writer can update it in place.
class UsageMap {
public:
    enum class Kind : uint8_t { Inline = 0, Reference = 1 };

    // Reads the map the pointer names. Throws hr::kCorrupt for a bad pointer or map row.
    static UsageMap read(Pager& pager, MapPointer pointer);

    Kind kind() const { return m_kind; }
    MapPointer pointer() const { return m_pointer; }
    uint32_t startPage() const { return m_start; }                              // inline maps
    const std::vector<uint32_t>& bitmapPages() const { return m_bitmapPages; }  // reference maps
    // Set pages in ascending order (including any past the end of the file).
    const std::vector<uint32_t>& pages() const { return m_pages; }
    bool contains(uint32_t page) const;

private:
    Kind m_kind = Kind::Inline;
    MapPointer m_pointer;
    uint32_t m_start = 0;
    std::vector<uint32_t> m_bitmapPages;
    std::vector<uint32_t> m_pages;
};

}  // namespace jet
