#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "index/IndexPageSink.h"
#include "jet/Error.h"
#include "page/MemoryFile.h"
#include "page/Pager.h"

namespace jettest {

// Index pages held in memory as whole page buffers, for driving the index
// writer without a database. Freed pages are handed out again first, as the
// global free map would.
class MemoryIndexSink : public jet::index::IndexPageSink {
public:
    static constexpr uint32_t kPageSize = 4096;

    // `pages` pages, all zero; page 0 is never handed out.
    explicit MemoryIndexSink(uint32_t pages = 1)
        : m_pages(pages, std::vector<uint8_t>(kPageSize, 0)) {}

    std::vector<uint8_t> readPage(uint32_t page) override {
        if (page >= m_pages.size())
            throw jet::Error(jet::hr::kCorrupt, "page " + std::to_string(page) + " is not there");
        ++reads;
        return m_pages[page];
    }
    void writePage(uint32_t page, std::span<const uint8_t> bytes) override {
        if (page == 0 || page >= m_pages.size() || bytes.size() != kPageSize)
            throw jet::Error(jet::hr::kInvalidArg, "bad page write");
        if (m_free.count(page)) throw jet::Error(jet::hr::kInvalidArg, "write to a free page");
        m_pages[page].assign(bytes.begin(), bytes.end());
        ++writes;
    }
    uint32_t allocatePage() override {
        ++allocations;
        if (!m_free.empty()) {
            const uint32_t page = *m_free.begin();
            m_free.erase(m_free.begin());
            return page;
        }
        m_pages.emplace_back(kPageSize, 0xEE);  // old content must not matter
        return static_cast<uint32_t>(m_pages.size() - 1);
    }
    void freePage(uint32_t page) override {
        if (page == 0 || page >= m_pages.size() || !m_free.insert(page).second)
            throw jet::Error(jet::hr::kInvalidArg, "bad page free");
        std::fill(m_pages[page].begin(), m_pages[page].end(), 0);
    }
    void rootMoved(uint32_t page) override {
        root = page;
        ++rootMoves;
    }

    void setPage(uint32_t page, const std::vector<uint8_t>& bytes) {
        if (page >= m_pages.size()) m_pages.resize(page + 1, std::vector<uint8_t>(kPageSize, 0));
        m_pages[page] = bytes;
    }
    uint32_t pageCount() const { return static_cast<uint32_t>(m_pages.size()); }
    const std::set<uint32_t>& freePages() const { return m_free; }
    // All pages as one file image, for reading back through the engine's own pager.
    std::unique_ptr<jet::Pager> pager() const {
        std::vector<uint8_t> image;
        image.reserve(m_pages.size() * kPageSize);
        for (const auto& p : m_pages)
            image.insert(image.end(), p.begin(), p.end());
        return std::make_unique<jet::Pager>(std::make_unique<jet::MemoryFile>(std::move(image)),
                                            jet::Format::Jet4, 0);
    }
    const std::vector<std::vector<uint8_t>>& pages() const { return m_pages; }

    uint32_t root = 0;
    int rootMoves = 0;
    int reads = 0;
    int writes = 0;
    int allocations = 0;

private:
    std::vector<std::vector<uint8_t>> m_pages;
    std::set<uint32_t> m_free;
};

}  // namespace jettest
