#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessor::provider {

// A packed vector of bits, one 64-bit word per 64 entries.
class BitVector {
public:
    size_t size() const { return m_size; }
    bool get(size_t i) const { return (m_words[i >> 6] >> (i & 63)) & 1; }
    void set(size_t i, bool v) {
        const uint64_t mask = uint64_t{1} << (i & 63);
        if (v)
            m_words[i >> 6] |= mask;
        else
            m_words[i >> 6] &= ~mask;
    }
    void pushBack(bool v) {
        if ((m_size & 63) == 0) addWord();
        m_words.back() |= uint64_t{v} << (m_size & 63);  // the new word starts at zero
        ++m_size;
    }
    // Removes entry i; the entries after it move down by one.
    void erase(size_t i);
    // Removes every entry whose flag in `gone` (one per entry) is set, in one pass.
    void eraseMarked(const std::vector<bool>& gone);
    void reserve(size_t n) { m_words.reserve((n + 63) / 64); }
    void clear() {
        m_words.clear();
        m_size = 0;
    }
    void shrinkToFit() { m_words.shrink_to_fit(); }
    size_t memoryBytes() const { return m_words.capacity() * sizeof(uint64_t); }

private:
    // Out of line, so that pushBack stays a few instructions where a snapshot appends a million
    // values.
    void addWord();

    std::vector<uint64_t> m_words;
    size_t m_size = 0;
};

}  // namespace tessor::provider
