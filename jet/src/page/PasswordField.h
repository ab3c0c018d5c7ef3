#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// The Jet 4 database password as page 0 holds it: up to 20 UTF-16 characters, zero-padded to
// 40 bytes and masked with the creation date, so that even "no password" is stored as the
// mask itself. Works on the de-obfuscated page 0.
class PasswordField {
public:
    static constexpr size_t kOffset = 0x42;
    static constexpr size_t kLength = 40;
    static constexpr size_t kMaxChars = 20;
    static constexpr size_t kDateOffset = 0x72;

    // The 40 unmasked bytes for a password given as UTF-8. Throws hr::kInvalidArg for text
    // that is not UTF-8, holds a NUL or is longer than 20 UTF-16 units.
    static std::vector<uint8_t> encode(std::string_view password);
    // Writes the password into a de-obfuscated page 0, masked with the page's creation date.
    static void store(std::vector<uint8_t>& plainPage0, std::string_view password);
    // The password a de-obfuscated page 0 holds (UTF-8; empty when none).
    static std::string read(const std::vector<uint8_t>& plainPage0);
};

}  // namespace jet
