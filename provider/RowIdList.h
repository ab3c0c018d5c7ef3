#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessor::provider {

// Where each row of a snapshot lives in the file (page << 8 | slot), by the row's place in the
// snapshot. Rows read in the file's order come in runs of consecutive slots on a page, so the
// list keeps one entry per run rather than one per row.
class RowIdList {
public:
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    uint32_t operator[](size_t i) const;
    void pushBack(uint32_t id);
    // Removes the id at i; the ones after it move up by one.
    void erase(size_t i);
    // Removes every id whose flag in `gone` (one per id) is set; the others keep their order.
    void eraseMarked(const std::vector<bool>& gone);
    void shrinkToFit() { m_runs.shrink_to_fit(); }
    size_t memoryBytes() const { return m_runs.capacity() * sizeof(Run); }

private:
    struct Run {
        uint32_t start;  // the place of its first row
        uint32_t first;  // that row's id; the next rows' ids follow it by one each
    };
    template <typename Gone>
    void keepWhere(Gone gone);

    std::vector<Run> m_runs;
    size_t m_size = 0;
};

}  // namespace tessor::provider
