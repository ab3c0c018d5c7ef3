#include "index/KeyWriter.h"

#include <array>
#include <bit>
#include <cstring>

namespace jet::index {
namespace {

constexpr std::uint8_t kBinaryMoreFollows = 0x09;
constexpr std::uint8_t kBoolTrueAscending = 0x00;
constexpr std::uint8_t kBoolFalseAscending = 0xFF;

}  // namespace

void KeyWriter::appendNull(bool ascending) {
    m_out.push_back(ascending ? kAscendingNull : kDescendingNull);
}

void KeyWriter::appendByte(std::uint8_t v, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    m_out.push_back(ascending ? v : static_cast<std::uint8_t>(~v));
}

void KeyWriter::appendInteger(std::int64_t v, unsigned width, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    const auto u = static_cast<std::uint64_t>(v);
    for (unsigned i = 0; i < width; ++i) {
        auto b = static_cast<std::uint8_t>(u >> (8 * (width - 1 - i)));
        if (i == 0) b ^= 0x80;
        m_out.push_back(ascending ? b : static_cast<std::uint8_t>(~b));
    }
}

void KeyWriter::appendFloatBits(std::uint8_t* be, std::size_t n, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    const bool negative = (be[0] & 0x80) != 0;
    if (!negative) be[0] ^= 0x80;
    const bool invert = negative == ascending;
    for (std::size_t i = 0; i < n; ++i)
        m_out.push_back(invert ? static_cast<std::uint8_t>(~be[i]) : be[i]);
}

void KeyWriter::appendSingle(float v, bool ascending) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    std::array<std::uint8_t, 4> be{};
    for (unsigned i = 0; i < 4; ++i)
        be[i] = static_cast<std::uint8_t>(bits >> (8 * (3 - i)));
    appendFloatBits(be.data(), be.size(), ascending);
}

void KeyWriter::appendDouble(double v, bool ascending) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    std::array<std::uint8_t, 8> be{};
    for (unsigned i = 0; i < 8; ++i)
        be[i] = static_cast<std::uint8_t>(bits >> (8 * (7 - i)));
    appendFloatBits(be.data(), be.size(), ascending);
}

void KeyWriter::appendBoolean(bool v, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    const std::uint8_t b = v ? kBoolTrueAscending : kBoolFalseAscending;
    m_out.push_back(ascending ? b : static_cast<std::uint8_t>(~b));
}

// Eight-byte chunks; a full chunk with more after it is followed by 09, the
// last chunk is zero-padded and followed by its real length. Descending inverts
// everything but the 09 markers.
void KeyWriter::appendBinaryChunks(std::span<const std::uint8_t> bytes, bool ascending) {
    std::size_t pos = 0;
    std::size_t left = bytes.size();
    while (left > 8) {
        for (std::size_t i = 0; i < 8; ++i)
            m_out.push_back(ascending ? bytes[pos + i]
                                      : static_cast<std::uint8_t>(~bytes[pos + i]));
        m_out.push_back(kBinaryMoreFollows);
        pos += 8;
        left -= 8;
    }
    if (left > 0) {
        std::array<std::uint8_t, 9> chunk{};
        std::memcpy(chunk.data(), bytes.data() + pos, left);
        chunk[8] = static_cast<std::uint8_t>(left);
        for (const std::uint8_t b : chunk)
            m_out.push_back(ascending ? b : static_cast<std::uint8_t>(~b));
    }
}

void KeyWriter::appendGuid(std::span<const std::uint8_t, 16> stored, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    // canonical order: Data1, Data2 and Data3 big-endian, Data4 as stored
    const std::array<std::uint8_t, 16> canonical = {stored[3],  stored[2],  stored[1],  stored[0],
                                                    stored[5],  stored[4],  stored[7],  stored[6],
                                                    stored[8],  stored[9],  stored[10], stored[11],
                                                    stored[12], stored[13], stored[14], stored[15]};
    appendBinaryChunks(canonical, ascending);
}

void KeyWriter::appendBinary(std::span<const std::uint8_t> bytes, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    appendBinaryChunks(bytes, ascending);
}

void KeyWriter::appendDecimal(bool negative, std::uint64_t hi, std::uint64_t lo, bool ascending) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    std::array<std::uint8_t, 17> be{};
    for (unsigned i = 0; i < 8; ++i) {
        be[1 + i] = static_cast<std::uint8_t>(hi >> (8 * (7 - i)));
        be[9 + i] = static_cast<std::uint8_t>(lo >> (8 * (7 - i)));
    }
    const bool invert = negative == ascending;
    for (unsigned i = 1; i < 17; ++i)
        if (invert) be[i] = static_cast<std::uint8_t>(~be[i]);
    be[0] = negative ? 0x00 : 0xFF;
    m_out.insert(m_out.end(), be.begin(), be.end());
}

void KeyWriter::appendText(std::u16string_view text, TextSortOrder order, bool ascending,
                           TextPositions positions) {
    m_out.push_back(ascending ? kAscendingPresent : kDescendingPresent);
    TextKeyEncoder::append(text, order, ascending, m_out, positions);
}

}  // namespace jet::index
