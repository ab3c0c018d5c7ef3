#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/Env.h"

namespace jettest {

// A disk in memory that remembers what has been synced, for crash and failure tests. Every
// change (write, truncate, creating or removing a file) counts as one write; the disk can be
// told to crash at write N (that write and all later I/O fail, as if the power went) or to
// report an error at write N (a full disk). After a crash, image() gives the files as they
// would be found on restart: only what was synced, or everything if the system happened to
// flush it all.
class SimDisk {
public:
    struct File {
        std::vector<uint8_t> current;
        std::vector<uint8_t> durable;
        bool exists = false;
        bool durableExists = false;
    };

    void put(const std::string& name, std::vector<uint8_t> bytes);
    bool exists(const std::string& name) const;
    const std::vector<uint8_t>& current(const std::string& name) const;
    // The files as found after a restart.
    std::map<std::string, std::vector<uint8_t>> image(bool keepUnsynced) const;

    void crashAt(int write) { m_crashAt = write; }
    void failAt(int write) { m_failAt = write; }
    bool crashed() const { return m_crashed; }
    int writes() const { return m_writes; }

    std::unique_ptr<jet::FileIO> open(const std::string& name);
    std::shared_ptr<jet::JournalStore> journal(const std::string& name);
    // True when the journal `name` is there and would roll a change back; the blank journal a
    // finished change leaves beside an open file is not.
    bool hotJournal(const std::string& name);

    // Used by the files.
    void change(const std::string& what);  // counts a write; throws at the crash/fail point
    void checkAlive() const;
    File& file(const std::string& name) { return m_files[name]; }

private:
    std::map<std::string, File> m_files;
    int m_writes = 0;
    int m_crashAt = 0;
    int m_failAt = 0;
    bool m_crashed = false;
};

}  // namespace jettest
