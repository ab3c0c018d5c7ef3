#include "page/PageSpace.h"

#include <algorithm>
#include <cstring>

#include "jet/Error.h"
#include "page/DataPage.h"
#include "page/MapPointer.h"
#include "page/SlotPage.h"

namespace jet {

namespace {

constexpr MapPointer kFreePages{1u << 8};  // page 1, row 0

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Rows of the free map in reference form: as many bitmap slots as Access writes.
constexpr size_t kReferenceSlots = 17;

struct RowRange {
    size_t start = 0;
    size_t end = 0;
};

RowRange mapRow(const std::vector<uint8_t>& page, MapPointer map) {
    // Only the slot table is needed; map rows are looked up for every page a change touches.
    const size_t header = SlotPage::headerSize(page.size());
    const size_t count = page.size() > header ? SlotPage::statedSlots(page) : 0;
    if (page.size() <= header || page[0] != 0x01 || header + 2 * count > page.size())
        throwCorrupt("the usage map holder page " + std::to_string(map.page()) +
                     " is no data page or claims more rows than fit");
    if (map.row() >= count)
        throwCorrupt("a usage map pointer names row " + std::to_string(map.row()) + " of page " +
                     std::to_string(map.page()) + ", which does not exist");
    // Slot entries: start offset; end is the previous slot's start or the page end.
    auto entry = [&](size_t i) {
        return size_t(page[header + 2 * i] | (page[header + 2 * i + 1] << 8)) &
               DataPage::kOffsetMask;
    };
    RowRange r;
    r.start = entry(map.row());
    r.end = map.row() == 0 ? page.size() : entry(map.row() - 1);
    if (r.end <= r.start || r.end > page.size())
        throwCorrupt("the usage map at page " + std::to_string(map.page()) + " row " +
                     std::to_string(map.row()) + " is empty");
    return r;
}

}  // namespace

uint64_t PageSpace::pagesPerBitmap() const {
    return uint64_t(m_pages.pageSize() - 4) * 8;
}

std::vector<uint8_t> PageSpace::bitmapPage() const {
    std::vector<uint8_t> p(m_pages.pageSize(), 0);
    p[0] = 0x05;
    p[1] = 0x01;
    return p;
}

bool PageSpace::locate(MapPointer map, uint32_t page, bool create, Location& out) {
    if (map.page() == 0 || map.page() >= m_pages.pageCount())
        throwCorrupt("a usage map pointer names page " + std::to_string(map.page()) +
                     ", which does not exist");
    const std::vector<uint8_t>& holder = m_pages.read(map.page());
    RowRange r = mapRow(holder, map);
    uint8_t type = holder[r.start];
    if (type == 0) {
        if (r.end - r.start < 5) throwCorrupt("an inline usage map row is too short");
        uint32_t start = get32(holder, r.start + 1);
        if (page < start) return false;
        uint64_t bit = uint64_t(page) - start;
        if (bit >= uint64_t(r.end - r.start - 5) * 8) return false;
        out = Location{map.page(), r.start + 5 + size_t(bit / 8), int(bit % 8)};
        return true;
    }
    if (type != 1)
        throwCorrupt("the usage map at page " + std::to_string(map.page()) + " has unknown type " +
                     std::to_string(type));
    const uint64_t perPage = pagesPerBitmap();
    size_t index = size_t(page / perPage);
    size_t at = r.start + 1 + 4 * index;
    if (at + 4 > r.end) return false;
    uint32_t bp = get32(holder, at);
    if (bp == 0) {
        // The free map's bitmap pages come from the end of the file (reachFreeMap), never
        // through allocate, which would need the very bitmap being made.
        if (!create || map == kFreePages) return false;
        bp = allocate(bitmapPage());
        // Taking the page may have repacked rows of the global map's page; find the slot anew.
        at = mapRow(m_pages.read(map.page()), map).start + 1 + 4 * index;
        put32(m_pages.modify(map.page()), at, bp);
    } else if (bp >= m_pages.pageCount() || m_pages.read(bp)[0] != 0x05) {
        throwCorrupt("usage map bitmap page " + std::to_string(bp) + " is damaged");
    }
    uint64_t bit = page % perPage;
    out = Location{bp, 4 + size_t(bit / 8), int(bit % 8)};
    return true;
}

bool PageSpace::inMap(MapPointer map, uint32_t page) {
    Location loc;
    if (!locate(map, page, false, loc)) return false;
    return (m_pages.read(loc.holder)[loc.byte] >> loc.bit) & 1;
}

void PageSpace::setInMap(MapPointer map, uint32_t page, bool on, const std::string& what) {
    Location loc;
    bool reached = locate(map, page, on, loc);
    if (!reached && on && !(map == kFreePages)) {
        // An inline map turns into a list of bitmap pages, and a list too short grows.
        toReferenceForm(map, what);
        reached = locate(map, page, true, loc) ||
                  (lengthenReference(map, page) && locate(map, page, true, loc));
    }
    if (!reached) {
        if (!on) return;  // not reached by the map: not in it
        throw Error(hr::kNotSupported,
                    "The page map of " + what + " cannot reach page " + std::to_string(page) +
                        ": the page that holds it has no room left for a longer map.");
    }
    std::vector<uint8_t>& p = m_pages.modify(loc.holder);
    if (on)
        p[loc.byte] = static_cast<uint8_t>(p[loc.byte] | (1u << loc.bit));
    else
        p[loc.byte] = static_cast<uint8_t>(p[loc.byte] & ~(1u << loc.bit));
}

std::vector<PageSpace::BitRun> PageSpace::bitRuns(MapPointer map) {
    const std::vector<uint8_t>& holder = m_pages.read(map.page());  // only pages are read below
    RowRange r = mapRow(holder, map);
    std::vector<BitRun> runs;
    if (holder[r.start] == 0) {
        if (r.end - r.start < 5) throwCorrupt("an inline usage map row is too short");
        runs.push_back(
            {holder.data() + r.start + 5, r.end - r.start - 5, get32(holder, r.start + 1)});
        return runs;
    }
    if (holder[r.start] != 1)
        throwCorrupt("the usage map at page " + std::to_string(map.page()) + " has unknown type");
    const uint64_t perPage = pagesPerBitmap();
    for (size_t i = 0, at = r.start + 1; at + 4 <= r.end; ++i, at += 4) {
        uint32_t bp = get32(holder, at);
        if (bp == 0) continue;
        if (bp >= m_pages.pageCount()) throwCorrupt("a usage map bitmap page does not exist");
        const std::vector<uint8_t>& bits = m_pages.read(bp);
        runs.push_back({bits.data() + 4, bits.size() - 4, i * perPage});
    }
    return runs;
}

std::vector<uint32_t> PageSpace::pagesOf(MapPointer map, uint32_t limit) {
    std::vector<uint32_t> out;
    for (const BitRun& run : bitRuns(map)) {
        if (run.base >= limit) continue;
        const size_t n = std::min<uint64_t>(run.bytes, (uint64_t(limit) - run.base + 7) / 8);
        for (size_t i = 0; i < n; ++i) {
            if (run.bits[i] == 0) continue;  // most bytes of a large map are
            for (int k = 0; k < 8; ++k)
                if ((run.bits[i] >> k) & 1) {
                    uint64_t p = run.base + i * 8 + k;
                    if (p < limit) out.push_back(static_cast<uint32_t>(p));
                }
        }
    }
    return out;
}

uint32_t PageSpace::highestInMap(MapPointer map, const std::function<bool(uint32_t)>& accept) {
    const std::vector<BitRun> runs = bitRuns(map);
    const uint64_t pageCount = m_pages.pageCount();
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const uint8_t* bits = run->bits;
        // Bits of pages past the end of the file name no page: the scan starts below them.
        if (run->base >= pageCount) continue;
        const size_t below =
            size_t(std::min<uint64_t>(run->bytes, (pageCount - run->base + 7) / 8));
        for (size_t i = below; i-- > 0;) {
            // most of a large map is clear: skip it a word at a time
            while (i >= 8) {
                uint64_t word;
                std::memcpy(&word, bits + i - 7, 8);
                if (word != 0) break;
                i -= 8;
            }
            if (bits[i] == 0) continue;
            for (int k = 7; k >= 0; --k) {
                const uint64_t p = run->base + i * 8 + uint64_t(k);
                if ((bits[i] >> k) & 1 && p <= 0xFFFFFFFFu && accept(uint32_t(p)))
                    return uint32_t(p);
            }
        }
    }
    return 0;
}

uint32_t PageSpace::placeRow(uint32_t owner, MapPointer owned, MapPointer freeMap,
                             const std::vector<uint8_t>& row, uint16_t flags,
                             const std::string& what, uint32_t avoid) {
    // What a page must be to take the row; held apart so that the test below is small enough
    // for std::function to keep without allocating.
    struct Wanted {
        uint32_t owner, avoid;
        MapPointer owned;
        long room;
    } const wanted{owner, avoid, owned, long(row.size()) + 2};
    uint32_t chosen = highestInMap(freeMap.raw != 0 ? freeMap : owned, [this, &wanted](uint32_t p) {
        if (p == wanted.avoid || p < 3 || p >= m_pages.pageCount()) return false;
        const std::vector<uint8_t>& bytes = m_pages.read(p);
        // Repacking never leaves less room than the page states, so a page that states room
        // for the row has it, and one that does not is passed over without taking it apart.
        return bytes[0] == 0x01 && SlotPage::statedOwner(bytes) == wanted.owner &&
               SlotPage::statedSlots(bytes) < SlotPage::kMaxSlots &&
               SlotPage::statedFree(bytes) >= wanted.room && inMap(wanted.owned, p);
    });
    if (chosen == 0) {
        chosen = allocate(SlotPage::empty(m_pages.pageSize(), owner));
        setInMap(owned, chosen, true, what);
    }
    std::vector<uint8_t>& page = m_pages.modify(chosen);
    uint32_t slot = 0;
    if (owner != DataPage::kLvalMarker && owner != 0 &&
        SlotPage::appendPacked(page, row, flags, slot)) {
        // A page that cannot take another row like this one leaves the free map, so that a
        // table of like rows does not offer every nearly full page to each insert.
        offer(chosen, freeMap,
              roomFor(SlotPage::statedSlots(page), SlotPage::statedFree(page), row.size()), what);
        return chosen << 8 | slot;
    }
    SlotPage sp(page, chosen);
    sp.slots().push_back(SlotPage::Slot{flags, row});
    slot = static_cast<uint32_t>(sp.slots().size() - 1);
    sp.store(page);
    settle(chosen, owned, freeMap, what, row.size());
    return chosen << 8 | slot;
}

bool PageSpace::roomFor(size_t slots, long free, size_t rowLength) {
    // Room for at least a small row: the page is worth offering to the next insert.
    constexpr long kUsefulRoom = 64;
    return slots < SlotPage::kMaxSlots && free >= std::max(kUsefulRoom, long(rowLength) + 2);
}

void PageSpace::offer(uint32_t page, MapPointer freeMap, bool roomy, const std::string& what) {
    if (freeMap.raw == 0 || roomy == inMap(freeMap, page)) return;
    try {
        setInMap(freeMap, page, roomy, what);
    } catch (const Error& e) {
        // The free-space map only offers pages to inserts; one it cannot reach stays unoffered.
        if (e.code() != hr::kNotSupported) throw;
    }
}

void PageSpace::settle(uint32_t page, MapPointer owned, MapPointer freeMap, const std::string& what,
                       size_t rowLength) {
    SlotPage sp(m_pages.read(page), page);
    if (sp.allTombstones() && !sp.slots().empty()) {
        setInMap(owned, page, false, what);
        if (freeMap.raw != 0) setInMap(freeMap, page, false, what);
        release(page);
        return;
    }
    offer(page, freeMap, roomFor(sp.slots().size(), sp.freeSpace(), rowLength), what);
}

uint32_t PageSpace::allocate(const std::vector<uint8_t>& content) {
    uint32_t chosen = 0;
    // A released page inside the file first, as Access does.
    for (uint32_t p : pagesOf(kFreePages, m_pages.pageCount())) {
        if (p < 3) continue;
        if (p >= m_pages.pageCount()) break;
        if (m_pages.dirty().count(p)) continue;  // taken or changed by this very change
        chosen = p;
        break;
    }
    if (chosen == 0) {
        reachFreeMap();
        chosen = m_pages.append();
    }
    setInMap(kFreePages, chosen, false, "the database");
    m_pages.modify(chosen) = content;
    return chosen;
}

void PageSpace::reachFreeMap() {
    // Readers take pages beyond the free map's reach for free, so the map must be able to
    // record the next page as used before the file may grow by it. Each step below makes
    // progress (a longer row, a new form, or one more bitmap page at the end of the file).
    for (;;) {
        const uint32_t next = m_pages.pageCount();
        Location loc;
        if (locate(kFreePages, next, false, loc)) return;
        if (growFreeMap(next) || freeMapToReferenceForm() || addFreeMapBitmap(next)) continue;
        throw Error(hr::kNotSupported,
                    "The database's free-page map cannot reach page " + std::to_string(next) +
                        ": page 1, which holds it, has no room left for a longer map.");
    }
}

bool PageSpace::freeMapToReferenceForm() {
    std::vector<uint8_t> copy = m_pages.read(kFreePages.page());
    RowRange r = mapRow(copy, kFreePages);
    if (copy[r.start] != 0) return false;
    const std::vector<uint32_t> freeBefore = pagesOf(kFreePages);
    const uint32_t fileEnd = m_pages.pageCount();
    const uint64_t perPage = pagesPerBitmap();
    // The bitmap pages go at the end of the file, inside the range they cover themselves.
    uint32_t count = 1;
    while (uint64_t(fileEnd) + count > count * perPage)
        ++count;
    SlotPage sp(copy, kFreePages.page());
    std::vector<uint8_t>& row = sp.slots()[kFreePages.row()].bytes;
    // As many slots as Access gives it where page 1 has room, else what the old row holds.
    const size_t oldSlots = (row.size() - 1) / 4;
    row.assign(1 + 4 * std::max<size_t>(kReferenceSlots, count), 0);
    if (sp.freeSpace() < 0) row.assign(1 + 4 * std::max<size_t>(oldSlots, count), 0);
    if (sp.freeSpace() < 0) return false;
    row[0] = 1;
    const uint32_t newEnd = fileEnd + count;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t bp = m_pages.append();
        put32(row, 1 + 4 * k, bp);
        std::vector<uint8_t>& bits = m_pages.modify(bp);
        bits = bitmapPage();
        // Free: what the inline map called free inside the old file, and all beyond the new
        // end. Pages it did not reach stay in use: nothing says they are free.
        for (uint64_t i = 0; i < perPage; ++i) {
            const uint64_t p = k * perPage + i;
            const bool isFree =
                p >= newEnd ||
                (p < fileEnd && std::binary_search(freeBefore.begin(), freeBefore.end(), p));
            if (isFree) bits[4 + i / 8] = static_cast<uint8_t>(bits[4 + i / 8] | (1u << (i % 8)));
        }
    }
    sp.store(m_pages.modify(kFreePages.page()));
    return true;
}

bool PageSpace::addFreeMapBitmap(uint32_t next) {
    {
        const std::vector<uint8_t>& holder = m_pages.read(kFreePages.page());
        if (holder[mapRow(holder, kFreePages).start] != 1) return false;
    }
    lengthenReference(kFreePages, next);
    const std::vector<uint8_t>& holder = m_pages.read(kFreePages.page());
    RowRange r = mapRow(holder, kFreePages);
    const uint64_t perPage = pagesPerBitmap();
    const size_t at = r.start + 1 + 4 * size_t(next / perPage);
    if (at + 4 > r.end || get32(holder, at) != 0) return false;
    // The new bitmap page is the next page itself: in use, with everything after it free.
    const uint32_t bp = m_pages.append();
    std::vector<uint8_t>& bits = m_pages.modify(bp);
    bits = bitmapPage();
    const uint64_t first = next / perPage * perPage;
    for (uint64_t i = 0; i < perPage; ++i)
        if (first + i > bp)
            bits[4 + i / 8] = static_cast<uint8_t>(bits[4 + i / 8] | (1u << (i % 8)));
    put32(m_pages.modify(kFreePages.page()), at, bp);
    return true;
}

bool PageSpace::lengthenReference(MapPointer map, uint32_t page) {
    std::vector<uint8_t> copy = m_pages.read(map.page());
    RowRange r = mapRow(copy, map);
    if (copy[r.start] != 1) return false;
    const size_t length = 1 + 4 * (size_t(page / pagesPerBitmap()) + 1);
    if (r.end - r.start >= length) return false;
    SlotPage sp(copy, map.page());
    std::vector<uint8_t>& row = sp.slots()[map.row()].bytes;
    row.resize(length, 0);
    if (sp.freeSpace() < 0) return false;
    sp.store(m_pages.modify(map.page()));
    return true;
}

bool PageSpace::toReferenceForm(MapPointer map, const std::string& what) {
    const std::vector<uint8_t>& holder = m_pages.read(map.page());
    RowRange r = mapRow(holder, map);
    if (holder[r.start] != 0 || r.end - r.start < 5) return false;
    const std::vector<uint32_t> pages = pagesOf(map);
    // The same row, now a list of bitmap pages ((length - 1) / 4 of them, each covering
    // (page size - 4) * 8 pages): as long as the inline form, so nothing else on the page moves.
    std::vector<uint8_t>& h = m_pages.modify(map.page());
    h[r.start] = 1;
    std::fill(h.begin() + long(r.start) + 1, h.begin() + long(r.end), uint8_t(0));
    for (uint32_t p : pages)
        setInMap(map, p, true, what);
    return true;
}

bool PageSpace::growFreeMap(uint32_t page) {
    std::vector<uint8_t> copy = m_pages.read(kFreePages.page());
    RowRange r = mapRow(copy, kFreePages);
    if (copy[r.start] != 0 || r.end - r.start < 5) return false;
    const uint32_t start = copy[r.start + 1] | (copy[r.start + 2] << 8) |
                           (copy[r.start + 3] << 16) | (uint32_t(copy[r.start + 4]) << 24);
    if (page < start) return false;
    // Grown by whole 512-page windows so that it is rarely rewritten; every page the longer
    // row newly covers lies beyond the file and is free (set), as it counted before.
    const size_t needBytes = size_t(page - start) / 8 + 1;
    const size_t newBytes = (needBytes + 63) / 64 * 64;
    SlotPage sp(copy, kFreePages.page());
    std::vector<uint8_t>& row = sp.slots()[kFreePages.row()].bytes;
    const size_t oldBytes = row.size() - 5;
    if (newBytes <= oldBytes) return false;
    if (sp.freeSpace() < long(newBytes - oldBytes)) return false;
    row.resize(5 + newBytes, 0xFF);
    sp.store(m_pages.modify(kFreePages.page()));
    return true;
}

void PageSpace::release(uint32_t page) {
    std::vector<uint8_t>& p = m_pages.modify(page);
    std::fill(p.begin(), p.end(), uint8_t(0));
    setInMap(kFreePages, page, true, "the database");
}

}  // namespace jet
