#include "SimDisk.h"

#include <cstring>
#include <stdexcept>

#include "jet/Error.h"
#include "tx/Journal.h"

namespace jettest {

namespace {

class SimFile : public jet::FileIO {
public:
    SimFile(SimDisk& disk, std::string name) : m_disk(disk), m_name(std::move(name)) {}
    uint64_t size() override {
        m_disk.checkAlive();
        return m_disk.file(m_name).current.size();
    }
    void read(uint64_t offset, uint8_t* dst, size_t len) override {
        m_disk.checkAlive();
        const auto& b = m_disk.file(m_name).current;
        if (offset > b.size() || len > b.size() - offset)
            throw jet::Error(jet::hr::kCorrupt, "The file ends inside a page.");
        if (len) std::memcpy(dst, b.data() + offset, len);
    }
    void write(uint64_t offset, const uint8_t* src, size_t len) override {
        m_disk.change("write");
        auto& b = m_disk.file(m_name).current;
        if (offset + len > b.size()) b.resize(offset + len);
        if (len) std::memcpy(b.data() + offset, src, len);
    }
    void sync() override {
        m_disk.checkAlive();
        SimDisk::File& f = m_disk.file(m_name);
        f.durable = f.current;
        f.durableExists = f.exists;
    }
    void truncate(uint64_t size) override {
        m_disk.change("truncate");
        m_disk.file(m_name).current.resize(size);
    }

private:
    SimDisk& m_disk;
    std::string m_name;
};

class SimJournal : public jet::JournalStore {
public:
    SimJournal(SimDisk& disk, std::string name) : m_disk(disk), m_name(std::move(name)) {}
    bool exists() override { return m_disk.exists(m_name); }
    std::unique_ptr<jet::FileIO> create() override {
        m_disk.change("create");
        SimDisk::File& f = m_disk.file(m_name);
        // A journal left by an earlier change keeps its bytes, to be written over, as the real
        // store keeps them. The name is synced at once (as the real store syncs the folder).
        if (!f.exists) {
            f.current.clear();
            f.durable.clear();
        }
        f.exists = true;
        f.durableExists = true;
        return m_disk.open(m_name);
    }
    std::unique_ptr<jet::FileIO> open() override { return m_disk.open(m_name); }
    void remove() override {
        m_disk.change("remove");
        SimDisk::File& f = m_disk.file(m_name);
        f = SimDisk::File{};
    }

private:
    SimDisk& m_disk;
    std::string m_name;
};

}  // namespace

void SimDisk::put(const std::string& name, std::vector<uint8_t> bytes) {
    File& f = m_files[name];
    f.current = bytes;
    f.durable = std::move(bytes);
    f.exists = f.durableExists = true;
}

bool SimDisk::exists(const std::string& name) const {
    auto it = m_files.find(name);
    return it != m_files.end() && it->second.exists;
}

const std::vector<uint8_t>& SimDisk::current(const std::string& name) const {
    return m_files.at(name).current;
}

std::map<std::string, std::vector<uint8_t>> SimDisk::image(bool keepUnsynced) const {
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& [name, f] : m_files) {
        if (keepUnsynced ? f.exists : f.durableExists)
            out[name] = keepUnsynced ? f.current : f.durable;
    }
    return out;
}

std::unique_ptr<jet::FileIO> SimDisk::open(const std::string& name) {
    return std::make_unique<SimFile>(*this, name);
}

std::shared_ptr<jet::JournalStore> SimDisk::journal(const std::string& name) {
    return std::make_shared<SimJournal>(*this, name);
}

bool SimDisk::hotJournal(const std::string& name) {
    // The journal "<db>-journal" belongs to the file "<db>".
    const std::string db = name.substr(0, name.rfind("-journal"));
    if (!exists(db)) return jet::Journal::isHot(*open(name), *journal(name));
    return jet::Journal::isHot(*open(db), *journal(name));
}

void SimDisk::checkAlive() const {
    if (m_crashed) throw jet::Error(jet::hr::kIoError, "The machine has stopped.");
}

void SimDisk::change(const std::string& what) {
    checkAlive();
    ++m_writes;
    if (m_crashAt > 0 && m_writes >= m_crashAt) {
        m_crashed = true;
        throw jet::Error(jet::hr::kIoError, "The machine stopped during a " + what + ".");
    }
    if (m_failAt > 0 && m_writes == m_failAt)
        throw jet::Error(jet::hr::kIoError, "Writing failed: no space left on device.");
}

}  // namespace jettest
