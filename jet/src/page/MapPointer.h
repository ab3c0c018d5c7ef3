#pragma once

#include <cstdint>

namespace jet {

// A usage-map pointer as stored: page << 8 | row. Zero means "none".
struct MapPointer {
    uint32_t raw = 0;
    uint32_t page() const { return raw >> 8; }
    uint8_t row() const { return static_cast<uint8_t>(raw & 0xFF); }
    bool operator==(const MapPointer&) const = default;
};

}  // namespace jet
