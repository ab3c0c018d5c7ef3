#include "tx/Journal.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "jet/Error.h"

namespace jet {

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | b[at + i];
    return v;
}
uint64_t get64(const std::vector<uint8_t>& b, size_t at) {
    return get32(b, at) | (uint64_t(get32(b, at + 4)) << 32);
}

// FNV-1a, continued from `h`.
uint64_t fnv(uint64_t h, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}
constexpr uint64_t kFnvStart = 1469598103934665603ull;

// FNV-1a over the first `size` bytes but the checksum field itself (bytes 24..31).
uint64_t checksum(const std::vector<uint8_t>& b, size_t size) {
    const uint64_t h = fnv(kFnvStart, b.data(), std::min<size_t>(24, size));
    return size > 32 ? fnv(h, b.data() + 32, size - 32) : h;
}

// The sum a page's stored bytes have once the change is written.
uint64_t pageSum(const uint8_t* p, size_t n) {
    return fnv(kFnvStart, p, n);
}

struct Image {
    uint32_t pageSize = 0;
    uint64_t fileSize = 0;
    std::vector<std::pair<uint32_t, const uint8_t*>> pages;
    // What the change leaves: the file's length and the sum of every page it writes (journals
    // of the first layout do not say).
    bool knowsAfter = false;
    uint64_t sizeAfter = 0;
    std::vector<std::pair<uint32_t, uint64_t>> sumsAfter;
};

// Layout: magic[8] pageSize u32, records u32, fileSize u64, checksum u64; then per record page
// number u32 and the page as stored; then (second layout) the count of written pages u32, the
// file's length after the change u64, and per written page its number u32 and sum u64.
std::optional<Image> parse(const std::vector<uint8_t>& b) {
    if (b.size() < Journal::kHeaderSize) return std::nullopt;
    const bool second = std::memcmp(b.data(), Journal::kMagic, 8) == 0;
    if (!second && std::memcmp(b.data(), Journal::kFirstMagic, 8) != 0) return std::nullopt;
    Image im;
    im.pageSize = get32(b, 8);
    uint32_t records = get32(b, 12);
    im.fileSize = get64(b, 16);
    if (im.pageSize == 0 || im.pageSize > 65536) return std::nullopt;
    // The file is written over from one change to the next, so bytes of an earlier, longer
    // journal may follow; the checksum covers what the header counts.
    uint64_t size = Journal::kHeaderSize + uint64_t(records) * (4 + im.pageSize);
    uint32_t written = 0;
    if (second) {
        if (b.size() < size + 12) return std::nullopt;
        written = get32(b, size_t(size));
        size += 12 + uint64_t(written) * 12;
    }
    if (b.size() < size) return std::nullopt;
    if (get64(b, 24) != checksum(b, size_t(size))) return std::nullopt;
    for (uint32_t i = 0; i < records; ++i) {
        size_t at = Journal::kHeaderSize + size_t(i) * (4 + im.pageSize);
        im.pages.emplace_back(get32(b, at), b.data() + at + 4);
    }
    if (second) {
        size_t at = Journal::kHeaderSize + size_t(records) * (4 + im.pageSize);
        im.knowsAfter = true;
        im.sizeAfter = get64(b, at + 4);
        at += 12;
        for (uint32_t i = 0; i < written; ++i, at += 12)
            im.sumsAfter.emplace_back(get32(b, at), get64(b, at + 4));
    }
    return im;
}

// True when the database already holds everything the change wrote: the change finished (its
// database sync returned) and the journal restores nothing that should come back.
bool finished(FileIO& db, const Image& im) {
    if (!im.knowsAfter || db.size() != im.sizeAfter) return false;
    std::vector<uint8_t> page(im.pageSize);
    for (const auto& [n, sum] : im.sumsAfter) {
        db.read(uint64_t(n) * im.pageSize, page.data(), page.size());
        if (pageSum(page.data(), page.size()) != sum) return false;
    }
    return true;
}

void restore(FileIO& db, const Image& im) {
    for (const auto& [n, bytes] : im.pages)
        db.write(uint64_t(n) * im.pageSize, bytes, im.pageSize);
    db.truncate(im.fileSize);
    db.sync();
}

}  // namespace

void Journal::commit(Pager& pager, JournalStore& store,
                     const std::map<uint32_t, std::vector<uint8_t>>& dirty) {
    if (dirty.empty()) return;
    FileIO& db = pager.file();
    const uint32_t pageSize = pager.pageSize();
    const uint64_t fileSize = db.size();
    const uint32_t oldPages = pager.pageCount();

    std::vector<uint8_t> j(kHeaderSize);
    std::memcpy(j.data(), kMagic, 8);
    uint32_t records = 0;
    for (const auto& [n, plain] : dirty) {
        if (n >= oldPages) continue;  // rule 6
        size_t at = j.size();
        j.resize(at + 4 + pageSize);
        put32(j, at, n);
        db.read(uint64_t(n) * pageSize, j.data() + at + 4, pageSize);
        ++records;
    }
    // What the change leaves, so that a journal whose header was never blanked on the disk
    // (rule 4) can be told from one whose change did not finish.
    size_t at = j.size();
    j.resize(at + 12 + dirty.size() * 12);
    put32(j, at, uint32_t(dirty.size()));
    uint64_t sizeAfter = fileSize;
    std::vector<uint8_t> stored;
    for (const auto& [n, plain] : dirty) {
        sizeAfter = std::max(sizeAfter, (uint64_t(n) + 1) * pageSize);
        const uint8_t* bytes = plain.data();
        if (pager.isEncoded()) {
            stored = plain;
            pager.encode(n, stored);
            bytes = stored.data();
        }
        at += 12;
        put32(j, at, n);
        put64(j, at + 4, pageSum(bytes, pageSize));
    }
    put64(j, j.size() - 12 * dirty.size() - 8, sizeAfter);
    put32(j, 8, pageSize);
    put32(j, 12, records);
    put64(j, 16, fileSize);
    put64(j, 24, checksum(j, j.size()));

    std::unique_ptr<FileIO> jf;
    try {
        jf = store.create();
        jf->write(0, j.data(), j.size());
        jf->sync();  // rule 1
    } catch (...) {
        // The database is untouched; an incomplete journal would be discarded anyway (rule 3).
        jf.reset();
        try {
            store.remove();
        } catch (...) {
        }
        throw;
    }
    try {
        for (const auto& [n, plain] : dirty)
            pager.writePage(n, plain);
        pager.sync();
    } catch (...) {
        // Put the old pages back from memory while the journal still guards them, so that this
        // open and the file agree again; if that fails too, the journal stays and the next open
        // rolls back.
        jf.reset();
        try {
            restore(db, *parse(j));
            store.remove();
        } catch (...) {
        }
        pager.reload();
        throw;
    }
    // Rule 4: the change is done. The header goes, so that the journal restores nothing even
    // for a reader that does not look at the database; not synced, since a header that comes
    // back after a power loss only names pages that already hold what the change wrote. The
    // file itself stays for the next change (removing and creating it again would cost a sync
    // of the folder each time); it is removed when the database closes. A failure here loses
    // nothing: the change is in the file.
    try {
        const std::vector<uint8_t> blank(kHeaderSize, 0);
        jf->write(0, blank.data(), blank.size());
    } catch (...) {
    }
}

void Journal::discard(FileIO& db, JournalStore& store) {
    try {
        if (!store.exists() || !db.lockForWrite()) return;
    } catch (...) {
        return;
    }
    try {
        // Only a journal that restores nothing goes: a hot one is the next open's to roll back.
        if (!isHot(db, store)) store.remove();
    } catch (...) {
    }
    db.unlockForWrite();
}

std::optional<std::vector<uint8_t>> Journal::readHot(FileIO& db, JournalStore& store) {
    std::vector<uint8_t> bytes;
    {
        std::unique_ptr<FileIO> jf = store.open();
        uint64_t size = jf->size();
        // A journal holds at most every page of a 16M-page file; anything beyond is not ours.
        if (size > (uint64_t(1) << 34)) size = 0;
        bytes.resize(static_cast<size_t>(size));
        if (!bytes.empty()) jf->read(0, bytes.data(), bytes.size());
    }
    const std::optional<Image> im = parse(bytes);
    if (!im || finished(db, *im)) return std::nullopt;
    return bytes;
}

bool Journal::isHot(FileIO& db, JournalStore& store) {
    return store.exists() && readHot(db, store).has_value();
}

bool Journal::recover(FileIO& db, JournalStore& store, bool readOnly) {
    if (!store.exists()) return false;
    const std::optional<std::vector<uint8_t>> bytes = readHot(db, store);
    if (!bytes) {
        // Rule 3, or the journal of a finished change, blank or not. It goes only while nobody
        // else has the file open: another program's change may be writing it right now.
        if (!readOnly) discard(db, store);
        return false;
    }
    const Image im = *parse(*bytes);
    if (readOnly)
        throw Error(hr::kLocked,
                    databaseName(db) +
                        " was left half-changed by a program that stopped; open it for writing "
                        "once so that the unfinished change can be undone.");
    if (!db.lockForWrite())
        throw Error(hr::kLocked,
                    databaseName(db) +
                        " was left half-changed and is open elsewhere; close the other programs "
                        "using it so that the unfinished change can be undone.");
    try {
        restore(db, im);
        store.remove();
    } catch (...) {
        db.unlockForWrite();
        throw;
    }
    db.unlockForWrite();
    return true;
}

}  // namespace jet
