#include "page/DatabaseHeader.h"

#include <cmath>
#include <cstring>

#include "base/ByteView.h"
#include "base/TextCodec.h"
#include "jet/Error.h"
#include "page/Rc4.h"

namespace jet {

namespace {

constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";

}  // namespace

void DatabaseHeader::obfuscate(uint8_t* page, size_t size, Format format) {
    size_t len = format == Format::Jet3 ? kJet3ObfuscatedLen : kJet4ObfuscatedLen;
    if (size < kObfuscatedStart + len) return;
    Rc4::applyWithKey32(kHeaderKey, page + kObfuscatedStart, len);
}

std::array<uint8_t, 4> DatabaseHeader::passwordMask(double creationDate) {
    int32_t v = 0;
    if (std::isfinite(creationDate) && creationDate > -2147483648.0 && creationDate < 2147483648.0)
        v = static_cast<int32_t>(creationDate);
    uint32_t u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

DatabaseHeader DatabaseHeader::parse(const uint8_t* data, size_t size) {
    const size_t sigLen = sizeof(kJetSignature) - 1;
    if (size <= 0x14 || data[0] != 0x00 ||
        (std::memcmp(data + 4, kJetSignature, sigLen) != 0 &&
         std::memcmp(data + 4, kAceSignature, sigLen) != 0))
        throw Error(hr::kNotSupported, "The file is not a Microsoft Access database.");
    if (std::memcmp(data + 4, kAceSignature, sigLen) == 0)
        throw Error(hr::kNotSupported,
                    "The file is an Access 2007 or later database (.accdb format), which is not "
                    "supported; only Access 97 to 2003 (.mdb) files can be opened.");
    DatabaseHeader h;
    h.version = data[0x14];
    if (h.version == 0) {
        h.format = Format::Jet3;
    } else if (h.version == 1) {
        h.format = Format::Jet4;
    } else {
        throw Error(hr::kNotSupported,
                    "The file is an Access 2007 or later database (format version " +
                        std::to_string(h.version) +
                        "), which is not supported; only Access 97 to 2003 (.mdb) files can be "
                        "opened.");
    }
    size_t pageSize = h.format == Format::Jet3 ? 2048 : 4096;
    if (size < pageSize)
        throwCorrupt("the file is shorter than its first page (" + std::to_string(size) +
                     " bytes)");
    h.plain.assign(data, data + pageSize);
    obfuscate(h.plain.data(), h.plain.size(), h.format);
    ByteView v(h.plain.data(), h.plain.size(), 0);
    h.codePage = v.u16(0x3C);
    h.databaseKey = v.u32(0x3E);
    if (h.format == Format::Jet4) {
        h.sortOrder = v.u32(0x6E);
        uint64_t bits = v.u64(0x72);
        std::memcpy(&h.creationDate, &bits, sizeof bits);
        auto mask = passwordMask(h.creationDate);
        uint8_t pw[40];
        for (size_t i = 0; i < 40; ++i)
            pw[i] = v.u8(0x42 + i) ^ mask[i % 4];
        size_t n = 0;
        while (n < 20 && (pw[2 * n] | pw[2 * n + 1]) != 0)
            ++n;
        TextCodec::utf16ToUtf8(pw, 2 * n, h.password);
    } else {
        h.sortOrder = v.u16(0x3A);
        size_t n = 0;
        while (n < 20 && v.u8(0x42 + n) != 0)
            ++n;
        h.password = TextCodec(Format::Jet3, h.codePage).decodeName(h.plain.data() + 0x42, n);
    }
    return h;
}

}  // namespace jet
