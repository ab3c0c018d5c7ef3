#include "page/PageSet.h"

#include "base/ByteView.h"

namespace jet {

const std::vector<uint8_t>& PageSet::read(uint32_t n) {
    Recent& recent = m_recent[n % m_recent.size()];
    if (recent.page == n) return *recent.bytes;
    if (auto it = m_dirty.find(n); it != m_dirty.end()) {
        recent = {n, true, &it->second};
        return it->second;
    }
    auto it = m_clean.find(n);
    if (it == m_clean.end()) {
        if (n >= m_pageCount)
            throwCorrupt("a reference to page " + std::to_string(n) +
                         " points past the end of the file");
        PageRef p = m_pager.page(n);
        it = m_clean.emplace(n, std::vector<uint8_t>(p->data(), p->data() + p->size())).first;
    }
    recent = {n, false, &it->second};
    return it->second;
}

std::vector<uint8_t>& PageSet::modify(uint32_t n) {
    m_touched.insert(n);
    return modifyQuietly(n);
}

std::vector<uint8_t>& PageSet::modifyQuietly(uint32_t n) {
    Recent& recent = m_recent[n % m_recent.size()];
    if (recent.page == n && recent.dirty) return *recent.bytes;
    auto it = m_dirty.find(n);
    if (it == m_dirty.end()) {
        std::vector<uint8_t> copy = read(n);
        m_clean.erase(n);
        it = m_dirty.emplace(n, std::move(copy)).first;
    }
    recent = {n, true, &it->second};
    return it->second;
}

uint32_t PageSet::append() {
    uint32_t n = m_pageCount++;
    m_touched.insert(n);
    auto it = m_dirty.emplace(n, std::vector<uint8_t>(m_pager.pageSize(), 0)).first;
    m_recent[n % m_recent.size()] = {n, true, &it->second};
    return n;
}

}  // namespace jet
