#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet {

// Every security id a Jet 4 database stores (MSysACEs.SID, MSysObjects.Owner) is XOR-ed with an
// RC4 keystream whose 32-bit key is folded out of page 0, password field included. Changing
// the password therefore changes the key, and each stored SID has to follow it.
class SidKey {
public:
    // The key of a de-obfuscated Jet 4 page 0: the low 32 bits of the creation date, into which
    // the low byte of each UTF-16 unit of the unmasked password field and of the 40 bytes after
    // it is XOR-ed, shifted left by its position modulo 24.
    static uint32_t fold(const std::vector<uint8_t>& plainPage0);
    // The first len bytes of the keystream a SID is masked with (it starts afresh per SID).
    static std::vector<uint8_t> keystream(uint32_t key, size_t len);
    // XORs a stored SID masked under oldKey so that it is masked under newKey instead.
    static void remask(uint32_t oldKey, uint32_t newKey, uint8_t* sid, size_t len);
};

}  // namespace jet
