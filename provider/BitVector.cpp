#include "provider/BitVector.h"

namespace tessor::provider {

void BitVector::addWord() {
    m_words.push_back(0);
}

void BitVector::erase(size_t i) {
    const size_t w = i >> 6;
    const unsigned b = i & 63;
    // Within the first word keep the bits below i and shift the ones above down by one.
    const uint64_t low = b == 0 ? 0 : (m_words[w] & ((uint64_t{1} << b) - 1));
    const uint64_t high = b == 63 ? 0 : ((m_words[w] >> (b + 1)) << b);
    m_words[w] = low | high;
    for (size_t k = w + 1; k < m_words.size(); ++k) {
        m_words[k - 1] |= (m_words[k] & 1) << 63;
        m_words[k] >>= 1;
    }
    --m_size;
    if ((m_size & 63) == 0) m_words.pop_back();
}

void BitVector::eraseMarked(const std::vector<bool>& gone) {
    size_t kept = 0;
    for (size_t i = 0; i < m_size; ++i) {
        if (gone[i]) continue;
        set(kept++, get(i));
    }
    m_size = kept;
    m_words.resize((kept + 63) / 64);
    // Bits past the end stay zero, as pushBack expects.
    if (kept & 63) m_words.back() &= (uint64_t{1} << (kept & 63)) - 1;
}

}  // namespace tessor::provider
