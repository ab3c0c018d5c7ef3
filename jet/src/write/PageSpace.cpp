#include "write/PageSpace.h"

#include "DataPage.h"
#include "jet/Error.h"
#include "write/SlotPage.h"

namespace jet {

namespace {

constexpr MapPointer kFreePages{1u << 8};  // page 1, row 0

struct RowRange {
    size_t start = 0;
    size_t end = 0;
};

RowRange mapRow(const std::vector<uint8_t>& page, MapPointer map) {
    SlotPage sp(page, map.page());
    if (map.row() >= sp.slots().size())
        throwCorrupt("a usage map pointer names row " + std::to_string(map.row()) + " of page " +
                     std::to_string(map.page()) + ", which does not exist");
    // Slot entries: start offset; end is the previous slot's start or the page end.
    auto entry = [&](size_t i) {
        return size_t(page[SlotPage::kHeader + 2 * i] |
                      (page[SlotPage::kHeader + 2 * i + 1] << 8)) &
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

bool PageSpace::locate(MapPointer map, uint32_t page, bool create, Location& out) {
    if (map.page() == 0 || map.page() >= m_pages.pageCount())
        throwCorrupt("a usage map pointer names page " + std::to_string(map.page()) +
                     ", which does not exist");
    const std::vector<uint8_t>& holder = m_pages.read(map.page());
    RowRange r = mapRow(holder, map);
    uint8_t type = holder[r.start];
    if (type == 0) {
        if (r.end - r.start < 5) throwCorrupt("an inline usage map row is too short");
        uint32_t start = holder[r.start + 1] | (holder[r.start + 2] << 8) |
                         (holder[r.start + 3] << 16) | (uint32_t(holder[r.start + 4]) << 24);
        if (page < start) return false;
        uint64_t bit = uint64_t(page) - start;
        if (bit >= uint64_t(r.end - r.start - 5) * 8) return false;
        out = Location{map.page(), r.start + 5 + size_t(bit / 8), int(bit % 8)};
        return true;
    }
    if (type != 1)
        throwCorrupt("the usage map at page " + std::to_string(map.page()) + " has unknown type " +
                     std::to_string(type));
    const uint64_t perPage = uint64_t(m_pages.pageSize() - 4) * 8;
    size_t index = size_t(page / perPage);
    size_t at = r.start + 1 + 4 * index;
    if (at + 4 > r.end) return false;
    uint32_t bp = holder[at] | (holder[at + 1] << 8) | (holder[at + 2] << 16) |
                  (uint32_t(holder[at + 3]) << 24);
    if (bp == 0) {
        if (!create) return false;
        std::vector<uint8_t> bitmap(m_pages.pageSize(), 0);
        bitmap[0] = 0x05;
        bitmap[1] = 0x01;
        bp = allocate(bitmap);
        std::vector<uint8_t>& h = m_pages.modify(map.page());
        for (int i = 0; i < 4; ++i)
            h[at + i] = static_cast<uint8_t>(bp >> (8 * i));
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
    if (!reached && on && !(map == kFreePages) && toReferenceForm(map, what))
        reached = locate(map, page, on, loc);
    if (!reached) {
        if (!on) return;  // not reached by the map: not in it
        throw Error(hr::kNotSupported, "The page map of " + what + " cannot reach page " +
                                           std::to_string(page) +
                                           " without being rebuilt, which is not supported yet.");
    }
    std::vector<uint8_t>& p = m_pages.modify(loc.holder);
    if (on)
        p[loc.byte] = static_cast<uint8_t>(p[loc.byte] | (1u << loc.bit));
    else
        p[loc.byte] = static_cast<uint8_t>(p[loc.byte] & ~(1u << loc.bit));
}

std::vector<uint32_t> PageSpace::pagesOf(MapPointer map) {
    std::vector<uint32_t> out;
    const std::vector<uint8_t> holder = m_pages.read(map.page());
    RowRange r = mapRow(holder, map);
    auto addBits = [&](const uint8_t* bits, size_t n, uint64_t base) {
        for (size_t i = 0; i < n; ++i)
            for (int k = 0; k < 8; ++k)
                if ((bits[i] >> k) & 1) {
                    uint64_t p = base + i * 8 + k;
                    if (p < 0xFFFFFFFFull) out.push_back(static_cast<uint32_t>(p));
                }
    };
    if (holder[r.start] == 0) {
        if (r.end - r.start < 5) throwCorrupt("an inline usage map row is too short");
        uint32_t start = holder[r.start + 1] | (holder[r.start + 2] << 8) |
                         (holder[r.start + 3] << 16) | (uint32_t(holder[r.start + 4]) << 24);
        addBits(holder.data() + r.start + 5, r.end - r.start - 5, start);
        return out;
    }
    if (holder[r.start] != 1)
        throwCorrupt("the usage map at page " + std::to_string(map.page()) + " has unknown type");
    const uint64_t perPage = uint64_t(m_pages.pageSize() - 4) * 8;
    for (size_t i = 0, at = r.start + 1; at + 4 <= r.end; ++i, at += 4) {
        uint32_t bp = holder[at] | (holder[at + 1] << 8) | (holder[at + 2] << 16) |
                      (uint32_t(holder[at + 3]) << 24);
        if (bp == 0) continue;
        if (bp >= m_pages.pageCount()) throwCorrupt("a usage map bitmap page does not exist");
        const std::vector<uint8_t>& bits = m_pages.read(bp);
        addBits(bits.data() + 4, bits.size() - 4, i * perPage);
    }
    return out;
}

uint32_t PageSpace::placeRow(uint32_t owner, MapPointer owned, MapPointer freeMap,
                             const std::vector<uint8_t>& row, uint16_t flags,
                             const std::string& what, uint32_t avoid) {
    std::vector<uint32_t> candidates = freeMap.raw != 0 ? pagesOf(freeMap) : pagesOf(owned);
    uint32_t chosen = 0;
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
        uint32_t p = *it;
        if (p == avoid || p < 3 || p >= m_pages.pageCount() || !inMap(owned, p)) continue;
        const std::vector<uint8_t>& bytes = m_pages.read(p);
        if (bytes[0] != 0x01) continue;
        SlotPage sp(bytes, p);
        if (sp.owner() != owner || !sp.canAdd(row.size())) continue;
        chosen = p;
        break;
    }
    if (chosen == 0) {
        chosen = allocate(SlotPage::empty(m_pages.pageSize(), owner));
        setInMap(owned, chosen, true, what);
    }
    std::vector<uint8_t>& page = m_pages.modify(chosen);
    SlotPage sp(page, chosen);
    sp.slots().push_back(SlotPage::Slot{flags, row});
    uint32_t slot = static_cast<uint32_t>(sp.slots().size() - 1);
    sp.store(page);
    settle(chosen, owned, freeMap, what);
    return chosen << 8 | slot;
}

void PageSpace::settle(uint32_t page, MapPointer owned, MapPointer freeMap,
                       const std::string& what) {
    SlotPage sp(m_pages.read(page), page);
    if (sp.allTombstones() && !sp.slots().empty()) {
        setInMap(owned, page, false, what);
        if (freeMap.raw != 0) setInMap(freeMap, page, false, what);
        release(page);
        return;
    }
    // Room for at least a small row: the page is worth offering to the next insert.
    constexpr long kUsefulRoom = 64;
    bool roomy = sp.slots().size() < SlotPage::kMaxSlots && sp.freeSpace() >= kUsefulRoom;
    if (freeMap.raw == 0 || roomy == inMap(freeMap, page)) return;
    try {
        setInMap(freeMap, page, roomy, what);
    } catch (const Error& e) {
        // The free-space map only offers pages to inserts; one it cannot reach stays unoffered.
        if (e.code() != hr::kNotSupported) throw;
    }
}

uint32_t PageSpace::allocate(const std::vector<uint8_t>& content) {
    uint32_t chosen = 0;
    // A released page inside the file first, as Access does.
    for (uint32_t p : pagesOf(kFreePages)) {
        if (p < 3) continue;
        if (p >= m_pages.pageCount()) break;
        if (m_pages.dirty().count(p)) continue;  // taken or changed by this very change
        chosen = p;
        break;
    }
    if (chosen == 0) {
        Location loc;
        // The free map must be able to record the new page as used: readers take pages beyond
        // its reach for free.
        if (!locate(kFreePages, m_pages.pageCount(), false, loc) &&
            !growFreeMap(m_pages.pageCount()))
            throw Error(hr::kNotSupported, "The database's free-page map cannot reach page " +
                                               std::to_string(m_pages.pageCount()) +
                                               "; growing the file that far is not supported yet.");
        chosen = m_pages.append();
    }
    setInMap(kFreePages, chosen, false, "the database");
    m_pages.modify(chosen) = content;
    return chosen;
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
