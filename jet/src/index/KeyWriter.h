#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "index/TextKeyEncoder.h"

namespace jet::index {

// Appends one column's part of an index key: a flag byte, then the value bytes
// in a form whose unsigned byte order is the value order. Descending columns
// store the inverted bytes so that one byte comparison serves both directions.
class KeyWriter {
public:
    static constexpr std::uint8_t kAscendingPresent = 0x7F;
    static constexpr std::uint8_t kAscendingNull = 0x00;
    static constexpr std::uint8_t kDescendingPresent = 0x80;
    static constexpr std::uint8_t kDescendingNull = 0xFF;

    explicit KeyWriter(std::vector<std::uint8_t>& out) : m_out(out) {}

    void appendNull(bool ascending);
    // Byte (unsigned, stored as is).
    void appendByte(std::uint8_t v, bool ascending);
    // Integer (2), Long (4), Currency (8 bytes, value x 10000): two's complement
    // with the sign bit flipped.
    void appendInteger(std::int64_t v, unsigned width, bool ascending);
    void appendSingle(float v, bool ascending);
    // Double and Date/Time.
    void appendDouble(double v, bool ascending);
    // Yes/No columns always carry a value; true sorts first.
    void appendBoolean(bool v, bool ascending);
    // `stored` is the 16-byte GUID as the row holds it (Windows struct order).
    void appendGuid(std::span<const std::uint8_t, 16> stored, bool ascending);
    void appendBinary(std::span<const std::uint8_t> bytes, bool ascending);
    // Decimal: sign and 128-bit magnitude. Jet 4 orders descending decimals in
    // its own (legacy) way, which is kept.
    void appendDecimal(bool negative, std::uint64_t hi, std::uint64_t lo, bool ascending);
    void appendText(std::u16string_view text, TextSortOrder order, bool ascending,
                    TextPositions positions = TextPositions::Weights);

private:
    void appendFloatBits(std::uint8_t* be, std::size_t n, bool ascending);
    void appendBinaryChunks(std::span<const std::uint8_t> bytes, bool ascending);

    std::vector<std::uint8_t>& m_out;
};

}  // namespace jet::index
