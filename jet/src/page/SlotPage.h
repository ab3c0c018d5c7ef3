#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet {

// A data page taken apart into its slots and put back together; the page's size tells the
// format (2 KB pages keep the slot count at 0x08, 4 KB pages at 0x0C). Rows are repacked from
// the page end downwards in slot order, so space freed by a shrunk or deleted row is usable at
// once; slot numbers never change (indexes and callers hold them).
class SlotPage {
public:
    static constexpr uint16_t kDeleted = 0x8000;
    static constexpr uint16_t kOverflow = 0x4000;
    static constexpr uint16_t kTombstone = kDeleted | kOverflow;
    static constexpr size_t kHeader = 14;     // 4 KB pages: header up to the slot table
    static constexpr size_t kSmallHeader = 10;  // 2 KB pages
    static constexpr size_t kMaxSlots = 255;  // row numbers are one byte

    struct Slot {
        uint16_t flags = 0;  // kDeleted / kOverflow bits as stored
        std::vector<uint8_t> bytes;
        bool isTombstone() const { return (flags & kDeleted) != 0 && bytes.empty(); }
    };

    // Parses a data page (type 1) of any owner. Throws hr::kCorrupt when it is none.
    SlotPage(const std::vector<uint8_t>& page, uint32_t pageNumber);
    // A fresh page: owner is a TDEF page or DataPage::kLvalMarker.
    static std::vector<uint8_t> empty(uint32_t pageSize, uint32_t owner);

    std::vector<Slot>& slots() { return m_slots; }
    uint32_t owner() const { return m_owner; }
    // Bytes left for rows and their slot entries.
    long freeSpace() const;
    // Whether a new row of len bytes (plus its slot entry) fits.
    bool canAdd(size_t len) const {
        return m_slots.size() < kMaxSlots && freeSpace() >= long(len) + 2;
    }
    bool allTombstones() const;

    // Room and slot count as the page header states them, read without taking the page apart.
    static long statedFree(const std::vector<uint8_t>& page) { return page[2] | page[3] << 8; }
    static size_t statedSlots(const std::vector<uint8_t>& page) {
        const size_t at = headerSize(page.size()) - 2;
        return page[at] | page[at + 1] << 8;
    }
    // Bytes before the slot table on a page of this size.
    static size_t headerSize(size_t pageSize) {
        return pageSize <= 2048 ? kSmallHeader : kHeader;
    }
    static uint32_t statedOwner(const std::vector<uint8_t>& page) {
        return page[4] | page[5] << 8 | page[6] << 16 | uint32_t(page[7]) << 24;
    }
    // Adds a row below the page's last one without repacking the page, which store() would
    // give the same bytes for when the rows lie packed in slot order below the page end, as
    // store() leaves them. False, with the page untouched, when they lie otherwise or the row
    // does not fit there. Not for pages reached by pointer, whose deleted slots store() rewrites.
    static bool appendPacked(std::vector<uint8_t>& page, const std::vector<uint8_t>& row,
                             uint16_t flags, uint32_t& slot);
    // Writes the slots back into the page (header bytes 4 up to the slot count kept). Throws when they do not fit.
    void store(std::vector<uint8_t>& page) const;

private:
    // Long-value and usage-map pages: nothing scans their rows, pointers name them.
    bool reachedByPointer() const;

    std::vector<Slot> m_slots;
    uint32_t m_owner = 0;
    size_t m_pageSize = 0;
};

}  // namespace jet
