#include "page/Rc4.h"

#include <utility>

namespace jet {

Rc4::Rc4(const uint8_t* key, size_t keyLen) {
    for (int i = 0; i < 256; ++i)
        m_s[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<uint8_t>(j + m_s[i] + key[i % keyLen]);
        std::swap(m_s[i], m_s[j]);
    }
}

void Rc4::apply(uint8_t* data, size_t len) {
    for (size_t k = 0; k < len; ++k) {
        m_i = static_cast<uint8_t>(m_i + 1);
        m_j = static_cast<uint8_t>(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
        data[k] ^= m_s[static_cast<uint8_t>(m_s[m_i] + m_s[m_j])];
    }
}

void Rc4::applyWithKey32(uint32_t key, uint8_t* data, size_t len) {
    const uint8_t k[4] = {static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                          static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 24)};
    Rc4 rc4(k, 4);
    rc4.apply(data, len);
}

}  // namespace jet
