#include "tx/MemoryJournalStore.h"

#include <algorithm>

#include "jet/Error.h"

namespace jet {

namespace {

// A view of the store's bytes; the store keeps them when the file object goes.
class SharedBytesFile : public FileIO {
public:
    explicit SharedBytesFile(std::shared_ptr<std::vector<uint8_t>> bytes)
        : m_bytes(std::move(bytes)) {}
    uint64_t size() override { return m_bytes->size(); }
    void read(uint64_t offset, uint8_t* dst, size_t len) override {
        if (offset > m_bytes->size() || len > m_bytes->size() - offset)
            throw Error(hr::kIoError, "A read went past the end of the journal.");
        std::copy_n(m_bytes->data() + offset, len, dst);
    }
    void write(uint64_t offset, const uint8_t* src, size_t len) override {
        if (offset + len > m_bytes->size()) m_bytes->resize(offset + len);
        std::copy_n(src, len, m_bytes->data() + offset);
    }
    void sync() override {}
    void truncate(uint64_t size) override { m_bytes->resize(size); }

private:
    std::shared_ptr<std::vector<uint8_t>> m_bytes;
};

}  // namespace

std::unique_ptr<FileIO> MemoryJournalStore::create() {
    m_bytes = std::make_shared<std::vector<uint8_t>>();
    return std::make_unique<SharedBytesFile>(m_bytes);
}

std::unique_ptr<FileIO> MemoryJournalStore::open() {
    if (!m_bytes) throw Error(hr::kFileNotFound, "There is no journal to open.");
    return std::make_unique<SharedBytesFile>(m_bytes);
}

}  // namespace jet
