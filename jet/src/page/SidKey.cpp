#include "page/SidKey.h"

#include <cstring>

#include "page/DatabaseHeader.h"
#include "page/PasswordField.h"
#include "page/Rc4.h"

namespace jet {

uint32_t SidKey::fold(const std::vector<uint8_t>& page) {
    const size_t date = PasswordField::kDateOffset;
    uint32_t key = uint32_t(page[date]) | uint32_t(page[date + 1]) << 8 |
                   uint32_t(page[date + 2]) << 16 | uint32_t(page[date + 3]) << 24;
    double when = 0;
    std::memcpy(&when, page.data() + date, sizeof when);
    auto mask = DatabaseHeader::passwordMask(when);
    // The region is twice the field: the field unmasked, then the bytes after it as stored
    // (they take in the creation date a second time).
    for (size_t i = 0; i < PasswordField::kLength; ++i) {
        size_t at = 2 * i;
        uint8_t b = page[PasswordField::kOffset + at];
        if (at < PasswordField::kLength) b ^= mask[at % 4];
        key ^= uint32_t(b) << (i % 24);
    }
    return key;
}

std::vector<uint8_t> SidKey::keystream(uint32_t key, size_t len) {
    std::vector<uint8_t> out(len, 0);
    Rc4::applyWithKey32(key, out.data(), out.size());
    return out;
}

void SidKey::remask(uint32_t oldKey, uint32_t newKey, uint8_t* sid, size_t len) {
    std::vector<uint8_t> a = keystream(oldKey, len), b = keystream(newKey, len);
    for (size_t i = 0; i < len; ++i)
        sid[i] ^= a[i] ^ b[i];
}

}  // namespace jet
