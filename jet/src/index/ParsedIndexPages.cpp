#include "index/ParsedIndexPages.h"

#include <cstring>

#include "index/IndexPage.h"

namespace jet::index {

std::shared_ptr<const IndexPage> ParsedIndexPages::find(uint32_t page,
                                                        const std::vector<uint8_t>& bytes) const {
    const auto it = m_pages.find(page);
    if (it == m_pages.end() || it->second.bytes.size() != bytes.size() ||
        std::memcmp(it->second.bytes.data(), bytes.data(), bytes.size()) != 0)
        return nullptr;
    return it->second.parsed;
}

void ParsedIndexPages::keep(uint32_t page, const std::vector<uint8_t>& bytes,
                            std::shared_ptr<const IndexPage> parsed) {
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        if (m_pages.size() >= kPages) m_pages.erase(m_pages.begin());
        it = m_pages.emplace(page, Kept{}).first;
    }
    it->second.bytes.assign(bytes.begin(), bytes.end());
    it->second.parsed = std::move(parsed);
}

}  // namespace jet::index
