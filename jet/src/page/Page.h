#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/ByteView.h"

namespace jet {

// One decoded page. Immutable once handed out; shared between the cache and its readers.
class Page {
public:
    Page(uint32_t number, std::vector<uint8_t> bytes)
        : m_number(number), m_bytes(std::move(bytes)) {}

    uint32_t number() const { return m_number; }
    size_t size() const { return m_bytes.size(); }
    const uint8_t* data() const { return m_bytes.data(); }
    // Checked access; the context names the page in any error.
    ByteView view() const { return ByteView(m_bytes.data(), m_bytes.size(), m_number); }
    uint8_t type() const { return m_bytes.empty() ? 0xFF : m_bytes[0]; }

private:
    uint32_t m_number;
    std::vector<uint8_t> m_bytes;
};

using PageRef = std::shared_ptr<const Page>;

}  // namespace jet
