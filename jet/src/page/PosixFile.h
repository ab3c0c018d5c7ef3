#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "jet/Env.h"

namespace jet {

// FileIO over a POSIX descriptor. Holds an open-file-description lock (F_OFD_SETLK) on the
// whole file for its lifetime: a write lock when exclusive, else a read lock. OFD locks conflict
// between two opens in the same process too, which plain POSIX record locks would not.
class PosixFile : public FileIO {
public:
    // Throws hr::kFileNotFound, hr::kAccessDenied, hr::kLocked or hr::kIoError.
    static std::unique_ptr<PosixFile> open(const std::filesystem::path& path, bool readOnly,
                                           bool exclusive);
    ~PosixFile() override;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    uint64_t size() override;
    void read(uint64_t offset, uint8_t* dst, size_t len) override;
    void write(uint64_t offset, const uint8_t* src, size_t len) override;
    void sync() override;
    void truncate(uint64_t size) override;
    bool lockForWrite() override;
    void unlockForWrite() override;
    std::string name() const override { return m_path; }

private:
    PosixFile(int fd, std::string path, bool readOnly, bool exclusive)
        : m_fd(fd), m_path(std::move(path)), m_readOnly(readOnly), m_exclusive(exclusive) {}
    bool setLock(short type);
    int m_fd;
    std::string m_path;
    bool m_readOnly;
    bool m_exclusive;
};

}  // namespace jet
