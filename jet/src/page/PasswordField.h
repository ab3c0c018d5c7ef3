#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

class TextCodec;

// The database password as page 0 holds it. Jet 4: up to 20 UTF-16 characters, zero-padded to
// 40 bytes and masked with the creation date, so that even "no password" is stored as the
// mask itself. Jet 3: up to 20 bytes of the database code page, zero-padded, masked only by the
// header keystream (no password is 20 zero bytes). Works on the de-obfuscated page 0.
class PasswordField {
public:
    static constexpr size_t kOffset = 0x42;
    static constexpr size_t kLength = 40;
    static constexpr size_t kMaxChars = 20;
    static constexpr size_t kDateOffset = 0x72;
    static constexpr size_t kJet3Length = 20;

    // The 40 unmasked bytes for a password given as UTF-8. Throws hr::kInvalidArg for text
    // that is not UTF-8, holds a NUL or is longer than 20 UTF-16 units.
    static std::vector<uint8_t> encode(std::string_view password);
    // Writes the password into a de-obfuscated page 0, masked with the page's creation date.
    static void store(std::vector<uint8_t>& plainPage0, std::string_view password);
    // The password a de-obfuscated page 0 holds (UTF-8; empty when none).
    static std::string read(const std::vector<uint8_t>& plainPage0);

    // Jet 3: the 20 bytes for a password given as UTF-8, in the code page of `text`. Throws
    // hr::kInvalidArg, naming the character, for one the code page cannot hold; also for text
    // that is not UTF-8, holds a NUL or takes more than 20 bytes.
    static std::vector<uint8_t> encodeJet3(std::string_view password, const TextCodec& text);
    static void storeJet3(std::vector<uint8_t>& plainPage0, std::string_view password,
                          const TextCodec& text);
    static std::string readJet3(const std::vector<uint8_t>& plainPage0, const TextCodec& text);
};

}  // namespace jet
