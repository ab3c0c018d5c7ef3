#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace jet {

// Where the engine keeps its bytes. Every read and write of a database file and of its rollback
// journal goes through these two interfaces, so a caller can put the database anywhere (in
// memory, on a simulated disk that fails or drops writes on demand) and open it with
// Database::openFile.

// One open file. Not thread-safe.
class FileIO {
public:
    virtual ~FileIO() = default;
    virtual uint64_t size() = 0;
    // Reads exactly len bytes; a short read throws hr::kCorrupt, an OS error hr::kIoError.
    virtual void read(uint64_t offset, uint8_t* dst, size_t len) = 0;
    virtual void write(uint64_t offset, const uint8_t* src, size_t len) = 0;
    // Returns once everything written so far survives a crash.
    virtual void sync() = 0;
    virtual void truncate(uint64_t size) = 0;
    // Raises the open's lock so that no other open of the file exists while it changes; false
    // when another open holds the file. Files without locks (in memory) always succeed.
    virtual bool lockForWrite() { return true; }
    // Returns to the lock the open was made with.
    virtual void unlockForWrite() {}
    // The file's path as messages name it; empty where the file has none (in memory).
    virtual std::string name() const { return {}; }
};

// Where the rollback journal of one database lives ("<file>-journal" beside it on disk). Creating,
// opening and removing it are the only operations the journal needs besides FileIO itself.
class JournalStore {
public:
    virtual ~JournalStore() = default;
    virtual bool exists() = 0;
    // An empty journal, replacing any old one.
    virtual std::unique_ptr<FileIO> create() = 0;
    virtual std::unique_ptr<FileIO> open() = 0;
    // Removes the journal durably: once this returns, a crash cannot bring it back.
    virtual void remove() = 0;
};

}  // namespace jet
