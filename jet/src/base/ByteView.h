#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet {

// Bounds-checked little-endian reads over bytes that came from the file. Every read past the end
// throws hr::kCorrupt naming the page, so a damaged length can never reach memory outside.
class ByteView {
public:
    static constexpr uint32_t kNoPage = 0xFFFFFFFF;

    ByteView() = default;
    ByteView(const uint8_t* data, size_t size, uint32_t page = kNoPage)
        : m_data(data), m_size(size), m_page(page) {}

    size_t size() const { return m_size; }
    const uint8_t* data() const { return m_data; }
    uint32_t page() const { return m_page; }

    uint8_t u8(size_t off) const {
        need(off, 1);
        return m_data[off];
    }
    uint16_t u16(size_t off) const {
        need(off, 2);
        return static_cast<uint16_t>(m_data[off] | (m_data[off + 1] << 8));
    }
    uint32_t u24(size_t off) const {
        need(off, 3);
        return m_data[off] | (m_data[off + 1] << 8) | (uint32_t(m_data[off + 2]) << 16);
    }
    uint32_t u32(size_t off) const {
        need(off, 4);
        return m_data[off] | (m_data[off + 1] << 8) | (m_data[off + 2] << 16) |
               (uint32_t(m_data[off + 3]) << 24);
    }
    uint64_t u64(size_t off) const { return u32(off) | (uint64_t(u32(off + 4)) << 32); }
    // A sub-range [off, off+len); throws when it does not fit.
    ByteView sub(size_t off, size_t len) const {
        need(off, len);
        return ByteView(m_data + off, len, m_page);
    }
    bool fits(size_t off, size_t len) const { return off <= m_size && len <= m_size - off; }
    void need(size_t off, size_t len) const {
        if (!fits(off, len)) outOfRange(off, len);
    }

private:
    [[noreturn]] void outOfRange(size_t off, size_t len) const;

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    uint32_t m_page = kNoPage;
};

// Throws jet::Error(hr::kCorrupt, ...) with "The database is damaged: <what>".
[[noreturn]] void throwCorrupt(const std::string& what);

}  // namespace jet
