#pragma once

#include <cstdint>
#include <vector>

#include "jet/Schema.h"
#include "page/MapPointer.h"
#include "page/PageSet.h"
#include "page/PageSpace.h"

namespace jet {

// Page maps of tables, indexes and long-value columns as rows of map-holder data pages. New
// maps are reference maps (type 1): they reach every page of the file, however it grows.
class UsageMapRows {
public:
    UsageMapRows(PageSet& pages, PageSpace& space) : m_pages(pages), m_space(space) {}

    // `count` empty maps on one holder page: `holder` when it has room (0: none), else a new one.
    std::vector<MapPointer> create(size_t count, uint32_t holder);
    // Gives back every page the map lists, then the map itself (its bitmap pages, its row, and
    // its holder page once that holds no other map).
    void releaseWithPages(MapPointer map);
    // Only the map itself.
    void remove(MapPointer map);

private:
    PageSet& m_pages;
    PageSpace& m_space;
};

}  // namespace jet
