#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/Format.h"

namespace jet {

// Turns stored text into UTF-8: Jet 4 UTF-16LE and its compressed form, Jet 3 bytes in the
// database code page (converted with iconv; single-byte code pages through a 256-entry table).
class TextCodec {
public:
    TextCodec(Format format, uint16_t codePage);

    Format format() const { return m_format; }
    // A text value as stored in a row or long value; appends to out (cleared first).
    void decode(const uint8_t* data, size_t len, std::string& out) const;
    // Names in TDEFs and system rows: UTF-16LE (Jet 4) or code page (Jet 3), never compressed.
    std::string decodeName(const uint8_t* data, size_t len) const;

    // UTF-8 text in the database code page (Jet 3 values). False, with `unmappable` set to the
    // first character the code page cannot hold, when there is one; the text is never
    // approximated. UTF-8 must be valid.
    bool encodeCodePage(const std::string& utf8, std::vector<uint8_t>& out,
                        uint32_t& unmappable) const;

    static void utf16ToUtf8(const uint8_t* data, size_t len, std::string& out);
    // Jet 4 compressed Unicode, data starting after the FF FE mark.
    static void uncompress(const uint8_t* data, size_t len, std::string& out);
    static void appendUtf8(uint32_t cp, std::string& out);
    // A character for a message: "'Ω' (U+03A9)", or "U+0007" for one that does not print.
    static std::string characterName(uint32_t cp);
    // UTF-8 to UTF-16 units; false on malformed UTF-8.
    static bool toUtf16(const std::string& utf8, std::vector<uint16_t>& out);

private:
    void decodeCodePage(const uint8_t* data, size_t len, std::string& out) const;

    Format m_format;
    uint16_t m_codePage;
    bool m_singleByte = true;
    std::string m_iconvName;
    std::array<std::string, 256> m_table;  // single-byte code page → UTF-8
    std::map<uint32_t, uint8_t> m_reverse;  // single-byte code page: character → byte (≥ 0x80)
};

}  // namespace jet
