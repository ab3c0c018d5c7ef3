#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/Schema.h"
#include "page/MapPointer.h"
#include "page/PageSet.h"

namespace jet {

// Page bookkeeping of one change: taking pages from and giving them back to the global free
// map (page 1 row 0, a set bit meaning free), and adding or removing pages in the maps of
// tables and long-value columns, inline or reference form.
class PageSpace {
public:
    explicit PageSpace(PageSet& pages) : m_pages(pages) {}

    // A page taken from the free map (a released page inside the file first, else a new one at
    // the end), filled with `content`.
    uint32_t allocate(const std::vector<uint8_t>& content);
    // Zeroes the page and marks it free.
    void release(uint32_t page);

    // Adds (on) or removes a page from a set map. `what` names the map in errors.
    void setInMap(MapPointer map, uint32_t page, bool on, const std::string& what);
    bool inMap(MapPointer map, uint32_t page);
    // Pages set in a map, ascending, as this change sees it; only those below `limit`.
    std::vector<uint32_t> pagesOf(MapPointer map, uint32_t limit = 0xFFFFFFFFu);
    // The highest page of the file set in a map that `accept` takes, asking from the top down;
    // 0 when it takes none. Bits past the file's last page are not offered.
    uint32_t highestInMap(MapPointer map, const std::function<bool(uint32_t)>& accept);

    // Stores a row on a page of the owner (a TDEF page, or DataPage::kLvalMarker for long
    // values) that has room, taking a new page when none has; keeps both maps true. `avoid` is
    // a page not to use. Returns page << 8 | slot.
    uint32_t placeRow(uint32_t owner, MapPointer owned, MapPointer freeMap,
                      const std::vector<uint8_t>& row, uint16_t flags, const std::string& what,
                      uint32_t avoid = 0);
    // After rows of an owned page changed: the page stays in the free map while it has room
    // (for a small row, and at least for one more row of `rowLength` bytes), and is given back
    // when only tombstones remain.
    void settle(uint32_t page, MapPointer owned, MapPointer freeMap, const std::string& what,
                size_t rowLength = 0);

private:
    // A stretch of a map's bits: bit k of bits[i] stands for page base + i * 8 + k.
    struct BitRun {
        const uint8_t* bits;
        size_t bytes;
        uint64_t base;
    };
    // The stretches of a map in page order: its inline bits, or each bitmap page it lists.
    // Valid while this change only reads pages.
    std::vector<BitRun> bitRuns(MapPointer map);
    // Whether a page with this many slots and this much room is worth offering to inserts.
    static bool roomFor(size_t slots, long free, size_t rowLength);
    // Puts the page into the free-space map or takes it out.
    void offer(uint32_t page, MapPointer freeMap, bool roomy, const std::string& what);

    struct Location {
        uint32_t holder = 0;  // page holding the byte
        size_t byte = 0;      // offset in that page
        int bit = 0;
    };
    // Where the page's bit lives; false when the map does not reach that page (and, for a
    // reference map, when its bitmap page does not exist yet and create is false).
    bool locate(MapPointer map, uint32_t page, bool create, Location& out);
    // Rewrites an inline map that cannot reach a page as a reference map in the same row
    // (bitmap pages cover the whole file range); false when the map is no inline map.
    bool toReferenceForm(MapPointer map, const std::string& what);
    // Lengthens the global free map's inline row so that it reaches `page`; false when its
    // page has no room for that.
    bool growFreeMap(uint32_t page);
    // Makes the global free map reach the page the file would grow by next (longer row,
    // reference form, new bitmap page); throws when page 1 has no room for that.
    void reachFreeMap();
    // Rewrites the global free map's inline row as a list of bitmap pages placed at the end of
    // the file; false when it is no inline map or page 1 has no room.
    bool freeMapToReferenceForm();
    // Gives the global free map in reference form the bitmap page covering `next`, as page
    // `next` itself; false when it is no reference map or its row cannot name that page.
    bool addFreeMapBitmap(uint32_t next);
    // Lengthens a reference map's list of bitmap pages so that it can name the one covering
    // `page`; false when it is no reference map, is long enough, or its page has no room.
    bool lengthenReference(MapPointer map, uint32_t page);
    uint64_t pagesPerBitmap() const;
    std::vector<uint8_t> bitmapPage() const;

    PageSet& m_pages;
};

}  // namespace jet
