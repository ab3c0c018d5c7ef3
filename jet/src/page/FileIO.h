#pragma once

#include <cstddef>
#include <cstdint>

namespace jet {

// The only way the engine touches a file. One small interface so that tests can substitute a
// file that fails or drops writes on demand.
class FileIO {
public:
    virtual ~FileIO() = default;
    virtual uint64_t size() = 0;
    // Reads exactly len bytes; a short read throws hr::kCorrupt, an OS error hr::kIoError.
    virtual void read(uint64_t offset, uint8_t* dst, size_t len) = 0;
    virtual void write(uint64_t offset, const uint8_t* src, size_t len) = 0;
    virtual void sync() = 0;
    virtual void truncate(uint64_t size) = 0;
    // Raises the open's lock so that no other open of the file exists while it changes; false
    // when another open holds the file. Files without locks (in memory) always succeed.
    virtual bool lockForWrite() { return true; }
    // Returns to the lock the open was made with.
    virtual void unlockForWrite() {}
};

}  // namespace jet
