#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/Format.h"

namespace jet {

// Page 0, de-obfuscated. Everything the engine needs from it, plus the decoded bytes so a writer
// can patch fields and obfuscate again.
struct DatabaseHeader {
    static constexpr size_t kObfuscatedStart = 0x18;
    static constexpr size_t kJet4ObfuscatedLen = 128;
    static constexpr size_t kJet3ObfuscatedLen = 126;
    static constexpr uint32_t kHeaderKey = 0x6B39DAC7;

    Format format = Format::Jet4;
    uint8_t version = 1;
    uint16_t codePage = 1252;
    uint32_t sortOrder = 0x0409;
    uint32_t databaseKey = 0;
    double creationDate = 0;     // Jet 4 only
    std::string password;        // UTF-8; empty when none
    std::vector<uint8_t> plain;  // the first page, header region de-obfuscated

    // Parses the first bytes of the file (at least 2048). Throws hr::kNotSupported for files
    // that are not Jet 3 / Jet 4 databases, hr::kCorrupt when the header is damaged.
    static DatabaseHeader parse(const uint8_t* data, size_t size);

    // XORs the header region with the fixed header keystream (its own inverse).
    static void obfuscate(uint8_t* page, size_t size, Format format);
    // Jet 4 password mask: the creation date as a 32-bit integer, little-endian.
    static std::array<uint8_t, 4> passwordMask(double creationDate);
};

}  // namespace jet
