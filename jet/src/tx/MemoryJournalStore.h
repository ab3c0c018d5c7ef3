#pragma once

#include <memory>
#include <vector>

#include "jet/Env.h"

namespace jet {

// A journal kept in memory, for changes to a database that is itself still in memory (a new
// database is filled before any of it reaches the disk).
class MemoryJournalStore : public JournalStore {
public:
    bool exists() override { return m_bytes != nullptr; }
    std::unique_ptr<FileIO> create() override;
    std::unique_ptr<FileIO> open() override;
    void remove() override { m_bytes.reset(); }

private:
    std::shared_ptr<std::vector<uint8_t>> m_bytes;
};

}  // namespace jet
