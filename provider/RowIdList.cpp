#include "provider/RowIdList.h"

#include <algorithm>

namespace tessor::provider {

uint32_t RowIdList::operator[](size_t i) const {
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), i,
                                        [](size_t at, const Run& run) { return at < run.start; });
    const Run& run = *(after - 1);
    return run.first + static_cast<uint32_t>(i - run.start);
}

void RowIdList::pushBack(uint32_t id) {
    if (m_runs.empty() || id != m_runs.back().first + (m_size - m_runs.back().start))
        m_runs.push_back({static_cast<uint32_t>(m_size), id});
    ++m_size;
}

template <typename Gone>
void RowIdList::keepWhere(Gone gone) {
    RowIdList kept;
    for (size_t k = 0; k < m_runs.size(); ++k) {
        const size_t end = k + 1 < m_runs.size() ? m_runs[k + 1].start : m_size;
        for (size_t i = m_runs[k].start; i < end; ++i)
            if (!gone(i)) kept.pushBack(m_runs[k].first + static_cast<uint32_t>(i - m_runs[k].start));
    }
    kept.m_runs.shrink_to_fit();
    std::swap(m_runs, kept.m_runs);
    m_size = kept.m_size;
}

void RowIdList::erase(size_t i) {
    keepWhere([i](size_t at) { return at == i; });
}

void RowIdList::eraseMarked(const std::vector<bool>& gone) {
    keepWhere([&gone](size_t at) { return static_cast<bool>(gone[at]); });
}

}  // namespace tessor::provider
