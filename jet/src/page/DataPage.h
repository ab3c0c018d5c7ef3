#pragma once

#include <cstdint>

#include "jet/Format.h"
#include "page/Page.h"

namespace jet {

// The slot table of a data page (table rows, usage-map rows and long values alike).
class DataPage {
public:
    static constexpr uint16_t kDeleted = 0x8000;
    static constexpr uint16_t kOverflow = 0x4000;
    static constexpr uint16_t kOffsetMask = 0x1FFF;

    struct Slot {
        uint16_t start = 0;
        uint16_t end = 0;
        uint16_t raw = 0;
        bool deleted() const { return (raw & kDeleted) != 0; }
        bool overflow() const { return (raw & kOverflow) != 0 && !deleted(); }
        uint16_t length() const { return static_cast<uint16_t>(end - start); }
    };

    // Throws hr::kCorrupt when the page is no data page or its slot table does not fit.
    DataPage(const PageRef& page, Format format);

    uint16_t rowCount() const { return m_count; }
    // The owning TDEF page, or 0x4C41564C ("LVAL") on long-value pages.
    uint32_t owner() const { return m_page->view().u32(4); }
    bool isLongValuePage() const { return owner() == kLvalMarker; }
    // Slot i with its byte range; throws when the range lies outside the row area.
    Slot slot(uint16_t i) const;
    // The bytes of a row (range from slot()).
    ByteView row(const Slot& s) const { return m_page->view().sub(s.start, s.length()); }
    const PageRef& page() const { return m_page; }

    static constexpr uint32_t kLvalMarker = 0x4C41564C;

private:
    PageRef m_page;
    size_t m_slotBase;
    uint16_t m_count;
};

}  // namespace jet
