#include "tx/PosixJournalStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/Error.h"

namespace jet {

namespace {

[[noreturn]] void ioError(const std::string& what, int err) {
    throw Error(hr::kIoError, what + ": " + std::strerror(err) + ".");
}

// A plain descriptor, no lock: the database's own lock already keeps other programs away from
// its journal.
class JournalFile : public FileIO {
public:
    explicit JournalFile(int fd) : m_fd(fd) {}
    ~JournalFile() override { ::close(m_fd); }
    uint64_t size() override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) ioError("Reading the journal size failed", errno);
        return static_cast<uint64_t>(st.st_size);
    }
    void read(uint64_t offset, uint8_t* dst, size_t len) override {
        size_t done = 0;
        while (done < len) {
            ssize_t n = ::pread(m_fd, dst + done, len - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ioError("Reading the journal failed", errno);
            if (n == 0) throw Error(hr::kCorrupt, "The journal ends inside a record.");
            done += static_cast<size_t>(n);
        }
    }
    void write(uint64_t offset, const uint8_t* src, size_t len) override {
        size_t done = 0;
        while (done < len) {
            ssize_t n = ::pwrite(m_fd, src + done, len - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ioError("Writing the journal failed", errno);
            done += static_cast<size_t>(n);
        }
    }
    void sync() override {
        if (::fdatasync(m_fd) != 0) ioError("Flushing the journal failed", errno);
    }
    void truncate(uint64_t size) override {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            ioError("Resizing the journal failed", errno);
    }

private:
    int m_fd;
};

}  // namespace

PosixJournalStore::PosixJournalStore(const std::filesystem::path& database)
    : m_path(database.string() + "-journal") {}

bool PosixJournalStore::exists() {
    struct stat st {};
    return ::lstat(m_path.c_str(), &st) == 0;
}

std::unique_ptr<FileIO> PosixJournalStore::openFd(int flags) {
    int fd = ::open(m_path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) ioError("The journal '" + m_path.string() + "' cannot be opened", errno);
    return std::make_unique<JournalFile>(fd);
}

std::unique_ptr<FileIO> PosixJournalStore::create() {
    // The journal's name must survive a crash as surely as its bytes: a new file's folder is
    // synced. The blank journal an earlier change left is used again, and its name needs no
    // sync once this store has synced it. It is written over, not emptied first: its length
    // then stays as it was (or grows), so syncing the new bytes need not also commit a new
    // length and new blocks to the file system's own journal. What lies past the new records
    // is left over from earlier changes, and the header says where they end.
    int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        auto f = openFd(O_RDWR);
        if (!m_nameDurable) syncFolder();
        m_nameDurable = true;
        return f;
    }
    if (fd < 0) ioError("The journal '" + m_path.string() + "' cannot be opened", errno);
    auto f = std::make_unique<JournalFile>(fd);
    syncFolder();
    m_nameDurable = true;
    return f;
}

std::unique_ptr<FileIO> PosixJournalStore::open() {
    return openFd(O_RDONLY);
}

void PosixJournalStore::remove() {
    m_nameDurable = false;
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT)
        ioError("The journal '" + m_path.string() + "' cannot be removed", errno);
    syncFolder();
}

void PosixJournalStore::syncFolder() {
    std::filesystem::path dir = m_path.parent_path();
    if (dir.empty()) dir = ".";
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ioError("The database folder cannot be opened", errno);
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL) ioError("Flushing the database folder failed", err);
}

}  // namespace jet
