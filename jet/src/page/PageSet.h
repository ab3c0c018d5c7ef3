#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "page/Pager.h"

namespace jet {

// The pages one change touches, held in memory until the change is committed through the
// journal. Reads see the changed copies; nothing reaches the file before commit.
class PageSet : public PageOverlay {
public:
    explicit PageSet(Pager& pager) : m_pager(pager), m_pageCount(pager.pageCount()) {}
    PageSet(const PageSet&) = delete;
    PageSet& operator=(const PageSet&) = delete;

    const std::vector<uint8_t>* changedPage(uint32_t n) const override {
        auto it = m_dirty.find(n);
        return it == m_dirty.end() ? nullptr : &it->second;
    }
    uint32_t pageCountAfter() const override { return m_pageCount; }

    uint32_t pageSize() const { return m_pager.pageSize(); }
    Format format() const { return m_pager.format(); }
    // Pages in the file once this change is written (appended pages included).
    uint32_t pageCount() const { return m_pageCount; }
    const std::vector<uint8_t>& read(uint32_t n);
    // A copy to change; it will be written at commit.
    std::vector<uint8_t>& modify(uint32_t n);
    // The same, for a change whose readers are told of it directly (a table's counters): the
    // page is written at commit like any other, but takeTouched() does not name it.
    std::vector<uint8_t>& modifyQuietly(uint32_t n);
    // A zeroed page added at the end of the file.
    uint32_t append();
    const std::map<uint32_t, std::vector<uint8_t>>& dirty() const { return m_dirty; }
    // Pages handed out by modify() or append() since the last call: what a step of the change
    // may have changed, so that only definitions on those pages need reading again.
    std::set<uint32_t> takeTouched() { return std::exchange(m_touched, {}); }

private:
    Pager& m_pager;
    uint32_t m_pageCount;
    std::map<uint32_t, std::vector<uint8_t>> m_dirty;
    std::map<uint32_t, std::vector<uint8_t>> m_clean;  // read-only copies, kept for references
    std::set<uint32_t> m_touched;
    // The pages last looked up, by the low bits of their numbers: an insert goes back to the
    // same few pages (its data page, the usage maps and the page that holds them) many times.
    struct Recent {
        uint32_t page = UINT32_MAX;
        bool dirty = false;
        std::vector<uint8_t>* bytes = nullptr;
    };
    std::array<Recent, 8> m_recent{};
};

}  // namespace jet
