#include "page/DataPage.h"

namespace jet {

DataPage::DataPage(const PageRef& page, Format format) : m_page(page) {
    ByteView v = page->view();
    if (page->type() != 0x01)
        throwCorrupt("page " + std::to_string(page->number()) +
                     " was expected to be a data page but has type " +
                     std::to_string(page->type()));
    size_t countAt = format == Format::Jet3 ? 0x08 : 0x0C;
    m_count = v.u16(countAt);
    m_slotBase = countAt + 2;
    if (!v.fits(m_slotBase, size_t(m_count) * 2))
        throwCorrupt("data page " + std::to_string(page->number()) + " claims " +
                     std::to_string(m_count) + " rows, more than fit");
}

DataPage::Slot DataPage::slot(uint16_t i) const {
    ByteView v = m_page->view();
    if (i >= m_count)
        throwCorrupt("row " + std::to_string(i) + " does not exist on page " +
                     std::to_string(m_page->number()));
    Slot s;
    s.raw = v.u16(m_slotBase + 2 * size_t(i));
    s.start = s.raw & kOffsetMask;
    s.end = i == 0 ? static_cast<uint16_t>(v.size())
                   : static_cast<uint16_t>(v.u16(m_slotBase + 2 * size_t(i - 1)) & kOffsetMask);
    size_t rowArea = m_slotBase + 2 * size_t(m_count);
    if (s.start > s.end || s.end > v.size() || s.start < rowArea) {
        // A zero-length tombstone may carry any offset; it holds nothing to read.
        if (s.deleted()) {
            s.start = s.end = static_cast<uint16_t>(rowArea);
            return s;
        }
        throwCorrupt("row " + std::to_string(i) + " on page " + std::to_string(m_page->number()) +
                     " has an invalid position (" + std::to_string(s.start) + ".." +
                     std::to_string(s.end) + ")");
    }
    return s;
}

}  // namespace jet
