#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace jet {

// RC4 keystream, used for the header obfuscation and for encoded pages.
class Rc4 {
public:
    Rc4(const uint8_t* key, size_t keyLen);
    // XORs the next len keystream bytes into data.
    void apply(uint8_t* data, size_t len);

    // XORs data with the keystream of RC4 keyed with the 4 little-endian bytes of key.
    static void applyWithKey32(uint32_t key, uint8_t* data, size_t len);

private:
    std::array<uint8_t, 256> m_s{};
    uint8_t m_i = 0;
    uint8_t m_j = 0;
};

}  // namespace jet
