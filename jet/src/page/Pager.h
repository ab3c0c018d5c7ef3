#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "jet/Env.h"
#include "jet/Format.h"
#include "page/Page.h"

namespace jet {

// Page access for the whole engine: page N as decoded bytes. Pages of an encoded database
// (non-zero database key) are RC4-decoded here and nowhere else; page 0 is returned as stored
// (its header region is obfuscated separately, see DatabaseHeader). Recently read pages stay
// in a small cache, so repeated reads of a usage map or TDEF cost nothing.
// Pages of a change still being prepared (PageSet.h). While one is attached, reads see
// its pages in place of the file's, so every reader (row decoding, long values, definitions)
// sees the change as it will be once written.
class PageOverlay {
public:
    virtual ~PageOverlay() = default;
    virtual const std::vector<uint8_t>* changedPage(uint32_t n) const = 0;
    virtual uint32_t pageCountAfter() const = 0;
};

class Pager {
public:
    static constexpr uint32_t kJet3PageSize = 2048;
    static constexpr uint32_t kJet4PageSize = 4096;

    Pager(std::unique_ptr<FileIO> file, Format format, uint32_t databaseKey);

    Format format() const { return m_format; }
    uint32_t pageSize() const { return m_pageSize; }
    // Whole pages in the file; a trailing partial page does not count.
    uint32_t pageCount() const { return m_overlay ? m_overlay->pageCountAfter() : m_pageCount; }
    bool isEncoded() const { return m_key != 0; }

    // Page n, decoded. Throws hr::kCorrupt when n is past the end of the file.
    PageRef page(uint32_t n);
    // The bytes of page n as page() gives them, without copying a page the overlay changed;
    // valid only until the next call on the pager or change to the overlay.
    std::span<const uint8_t> peek(uint32_t n);
    // Writes a plain page (encoding it when needed); n may equal pageCount() to append.
    void writePage(uint32_t n, const std::vector<uint8_t>& plain);
    // Turns the plain bytes of page n into the bytes the file stores (in place).
    void encode(uint32_t n, std::vector<uint8_t>& bytes) const;
    void sync();
    // Forgets every cached page and takes the page count from the file again: after pages were
    // written behind the pager's back (a rollback) or the file was cut shorter.
    void reload();
    FileIO& file() { return *m_file; }
    // Attaches (or with null detaches) the pages of a change in preparation. Writing pages is
    // only allowed with no overlay attached.
    void setOverlay(const PageOverlay* overlay) { m_overlay = overlay; }
    const PageOverlay* overlay() const { return m_overlay; }

private:
    static constexpr uint32_t kCacheSlots = 1024;  // direct-mapped: 4 MB at most

    std::unique_ptr<FileIO> m_file;
    Format m_format;
    uint32_t m_pageSize;
    uint32_t m_pageCount;
    uint32_t m_key;
    std::vector<PageRef> m_cache;
    const PageOverlay* m_overlay = nullptr;
};

}  // namespace jet
