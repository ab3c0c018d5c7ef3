#pragma once

#include <cstring>
#include <vector>

#include "jet/Env.h"
#include "jet/Error.h"

namespace jettest {

// A database file made of pages held in memory, for driving the index reader
// over hand-built (and hand-damaged) pages.
class PageImageFile : public jet::FileIO {
public:
    PageImageFile(size_t pageSize, size_t pages)
        : m_pageSize(pageSize), m_bytes(pageSize * pages) {}

    uint8_t* page(size_t n) { return m_bytes.data() + n * m_pageSize; }
    void setPage(size_t n, const std::vector<uint8_t>& bytes) {
        std::memcpy(page(n), bytes.data(), m_pageSize);
    }

    uint64_t size() override { return m_bytes.size(); }
    void read(uint64_t offset, uint8_t* dst, size_t len) override {
        if (offset + len > m_bytes.size()) throw jet::Error(jet::hr::kCorrupt, "short read");
        std::memcpy(dst, m_bytes.data() + offset, len);
    }
    void write(uint64_t offset, const uint8_t* src, size_t len) override {
        if (offset + len > m_bytes.size()) m_bytes.resize(offset + len);
        std::memcpy(m_bytes.data() + offset, src, len);
    }
    void sync() override {}
    void truncate(uint64_t size) override { m_bytes.resize(size); }

private:
    size_t m_pageSize;
    std::vector<uint8_t> m_bytes;
};

}  // namespace jettest
