#pragma once

#include <cstdint>
#include <vector>

#include "jet/Env.h"

namespace jet {

// A file held in memory: for tests and fuzzing, and for building databases before they are
// written out. Can be told to fail from the Nth write on, to simulate a full disk.
class MemoryFile : public FileIO {
public:
    explicit MemoryFile(std::vector<uint8_t> bytes = {}) : m_bytes(std::move(bytes)) {}

    uint64_t size() override { return m_bytes.size(); }
    void read(uint64_t offset, uint8_t* dst, size_t len) override;
    void write(uint64_t offset, const uint8_t* src, size_t len) override;
    void sync() override { ++m_syncs; }
    void truncate(uint64_t size) override { m_bytes.resize(size); }

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    int syncCount() const { return m_syncs; }
    // Writes numbered from 1; from this one on every write throws hr::kIoError (0 = never).
    void failWritesFrom(int n) { m_failFrom = n; }

private:
    std::vector<uint8_t> m_bytes;
    int m_syncs = 0;
    int m_writes = 0;
    int m_failFrom = 0;
};

}  // namespace jet
