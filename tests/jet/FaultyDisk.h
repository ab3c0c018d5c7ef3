#pragma once

// Real database files under a counter of what changes them on disk, for tests of whole programs
// over the engine: every write, resize and sync of the file and its journal, and every creation
// and removal of the journal, is one event. At event N the disk can stop (that event and all
// later I/O fail, as if the program were killed there: the files keep what reached them before),
// or fail that one event with a full disk or an I/O error, as the operating system reports them.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "jet/Database.h"
#include "jet/Error.h"
#include "page/PosixFile.h"
#include "tx/PosixJournalStore.h"

namespace jettest {

class FaultyDisk {
public:
    enum class Fault { None, Kill, Full, IoError };

    // Starts counting from zero; at event `at` (1-based) the fault strikes.
    void arm(Fault fault, int at) {
        m_fault = fault;
        m_at = at;
        m_events = 0;
        m_dead = false;
        m_struck = false;
    }
    // Everything works again (after a kill: the program runs anew).
    void disarm() {
        m_fault = Fault::None;
        m_dead = false;
    }
    int events() const { return m_events; }
    bool struck() const { return m_struck; }
    // The fault struck the blanking of a journal's header, which follows a change already done.
    bool struckBlankingTheJournal() const { return m_struck && m_struckBlank; }

    // Opens the database as jet::Database::open does, with its files under this disk.
    std::unique_ptr<jet::Database> open(const std::filesystem::path& path,
                                        const jet::OpenOptions& options);

    void event(const char* what, const char* failing, bool blankingTheJournal = false) {
        checkAlive();
        ++m_events;
        if (m_fault == Fault::None || m_events != m_at) return;
        m_struck = true;
        m_struckBlank = blankingTheJournal;
        if (m_fault == Fault::Kill) {
            m_dead = true;
            throw jet::Error(jet::hr::kIoError, std::string("The program was stopped at a ") +
                                                    what + ".");
        }
        const int err = m_fault == Fault::Full ? ENOSPC : EIO;
        throw jet::Error(jet::hr::kIoError,
                         std::string(failing) + " failed: " + std::strerror(err) + ".");
    }
    void checkAlive() const {
        if (m_dead) throw jet::Error(jet::hr::kIoError, "The program has stopped.");
    }

private:
    Fault m_fault = Fault::None;
    int m_at = 0;
    int m_events = 0;
    bool m_dead = false;
    bool m_struck = false;
    bool m_struckBlank = false;
};

namespace faulty {

class File : public jet::FileIO {
public:
    File(FaultyDisk& disk, std::unique_ptr<jet::FileIO> inner, bool journal = false)
        : m_disk(disk), m_inner(std::move(inner)), m_journal(journal) {}
    uint64_t size() override {
        m_disk.checkAlive();
        return m_inner->size();
    }
    void read(uint64_t offset, uint8_t* dst, size_t len) override {
        m_disk.checkAlive();
        m_inner->read(offset, dst, len);
    }
    void write(uint64_t offset, const uint8_t* src, size_t len) override {
        const bool blank =
            m_journal && offset == 0 && std::all_of(src, src + len, [](uint8_t b) { return !b; });
        m_disk.event("write", "Writing the database file", blank);
        m_inner->write(offset, src, len);
    }
    void sync() override {
        m_disk.event("sync", "Flushing the database file");
        m_inner->sync();
    }
    void truncate(uint64_t size) override {
        m_disk.event("resize", "Resizing the database file");
        m_inner->truncate(size);
    }
    bool lockForWrite() override { return m_inner->lockForWrite(); }
    void unlockForWrite() override { m_inner->unlockForWrite(); }
    std::string name() const override { return m_inner->name(); }

private:
    FaultyDisk& m_disk;
    std::unique_ptr<jet::FileIO> m_inner;
    bool m_journal;
};

class Journal : public jet::JournalStore {
public:
    Journal(FaultyDisk& disk, std::shared_ptr<jet::JournalStore> inner)
        : m_disk(disk), m_inner(std::move(inner)) {}
    bool exists() override {
        m_disk.checkAlive();
        return m_inner->exists();
    }
    std::unique_ptr<jet::FileIO> create() override {
        m_disk.event("creation of the journal", "Creating the journal");
        return std::make_unique<File>(m_disk, m_inner->create(), true);
    }
    std::unique_ptr<jet::FileIO> open() override {
        m_disk.checkAlive();
        return std::make_unique<File>(m_disk, m_inner->open(), true);
    }
    void remove() override {
        m_disk.event("removal of the journal", "Removing the journal");
        m_inner->remove();
    }

private:
    FaultyDisk& m_disk;
    std::shared_ptr<jet::JournalStore> m_inner;
};

}  // namespace faulty

inline std::unique_ptr<jet::Database> FaultyDisk::open(const std::filesystem::path& path,
                                                       const jet::OpenOptions& options) {
    checkAlive();
    auto file = std::make_unique<faulty::File>(
        *this, jet::PosixFile::open(path, options.readOnly, options.exclusive));
    auto journal = std::make_shared<faulty::Journal>(
        *this, std::make_shared<jet::PosixJournalStore>(path));
    return jet::Database::openFile(std::move(file), path, options, std::move(journal));
}

}  // namespace jettest
