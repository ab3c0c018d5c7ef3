#include "page/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/Error.h"

namespace jet {

namespace {

std::string osMessage(int err) {
    return std::strerror(err);
}

}  // namespace

std::unique_ptr<PosixFile> PosixFile::open(const std::filesystem::path& path, bool readOnly,
                                           bool exclusive) {
    // A write lock needs a descriptor open for writing, so an exclusive open asks for write
    // access even when the caller will only read.
    const bool needWrite = !readOnly || exclusive;
    int fd = ::open(path.c_str(), (needWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == ENOENT)
            throw Error(hr::kFileNotFound, "The file '" + path.string() + "' does not exist.");
        if (err == EACCES || err == EROFS || err == EPERM) {
            if (needWrite && readOnly)
                throw Error(hr::kAccessDenied, "The file '" + path.string() +
                                                   "' cannot be opened exclusively: exclusive "
                                                   "use needs write permission on the file.");
            throw Error(hr::kAccessDenied, "The file '" + path.string() + "' cannot be opened " +
                                               (needWrite ? "for writing" : "for reading") + ": " +
                                               osMessage(err) + ".");
        }
        throw Error(hr::kIoError,
                    "The file '" + path.string() + "' cannot be opened: " + osMessage(err) + ".");
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(hr::kNotSupported, "'" + path.string() + "' is not a regular file.");
    }
    struct flock lock {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // whole file, including any growth
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EAGAIN || err == EACCES)
            throw Error(hr::kLocked,
                        "The database '" + path.string() + "' is already opened " +
                            (exclusive ? "by someone else." : "exclusively by someone else."));
        throw Error(hr::kIoError, "The database '" + path.string() +
                                      "' cannot be locked: " + osMessage(err) + ".");
    }
    return std::unique_ptr<PosixFile>(new PosixFile(fd, path.string(), readOnly, exclusive));
}

PosixFile::~PosixFile() {
    // Closing the last descriptor of the description releases the OFD lock.
    ::close(m_fd);
}

uint64_t PosixFile::size() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw Error(hr::kIoError,
                    "Cannot read the size of the database file: " + osMessage(errno) + ".");
    return static_cast<uint64_t>(st.st_size);
}

void PosixFile::read(uint64_t offset, uint8_t* dst, size_t len) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(m_fd, dst + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(hr::kIoError,
                        "Reading the database file failed: " + osMessage(errno) + ".");
        }
        if (n == 0)
            throw Error(hr::kCorrupt, "The database is damaged: the file ends at byte " +
                                          std::to_string(offset + done) + ", inside a page.");
        done += static_cast<size_t>(n);
    }
}

void PosixFile::write(uint64_t offset, const uint8_t* src, size_t len) {
    if (m_readOnly) throw Error(hr::kReadOnly, "The database is open read-only.");
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::pwrite(m_fd, src + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(hr::kIoError,
                        "Writing the database file failed: " + osMessage(errno) + ".");
        }
        done += static_cast<size_t>(n);
    }
}

void PosixFile::sync() {
    if (m_readOnly) return;
    if (::fdatasync(m_fd) != 0)
        throw Error(hr::kIoError, "Flushing the database file failed: " + osMessage(errno) + ".");
}

void PosixFile::truncate(uint64_t size) {
    if (m_readOnly) throw Error(hr::kReadOnly, "The database is open read-only.");
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        throw Error(hr::kIoError, "Resizing the database file failed: " + osMessage(errno) + ".");
}

bool PosixFile::setLock(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
}

bool PosixFile::lockForWrite() {
    if (m_exclusive) return true;
    return setLock(F_WRLCK);
}

void PosixFile::unlockForWrite() {
    // Going back to a read lock never conflicts, so this cannot fail.
    if (!m_exclusive) setLock(F_RDLCK);
}

}  // namespace jet
