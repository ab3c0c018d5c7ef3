#include "page/PageSet.h"

#include "base/ByteView.h"

namespace jet {

const std::vector<uint8_t>& PageSet::read(uint32_t n) {
    if (auto it = m_dirty.find(n); it != m_dirty.end()) return it->second;
    if (auto it = m_clean.find(n); it != m_clean.end()) return it->second;
    if (n >= m_pageCount)
        throwCorrupt("a reference to page " + std::to_string(n) + " points past the end of the " +
                     "file");
    PageRef p = m_pager.page(n);
    return m_clean.emplace(n, std::vector<uint8_t>(p->data(), p->data() + p->size())).first->second;
}

std::vector<uint8_t>& PageSet::modify(uint32_t n) {
    m_touched.insert(n);
    if (auto it = m_dirty.find(n); it != m_dirty.end()) return it->second;
    std::vector<uint8_t> copy = read(n);
    m_clean.erase(n);
    return m_dirty.emplace(n, std::move(copy)).first->second;
}

uint32_t PageSet::append() {
    uint32_t n = m_pageCount++;
    m_touched.insert(n);
    m_dirty.emplace(n, std::vector<uint8_t>(m_pager.pageSize(), 0));
    return n;
}

}  // namespace jet
