#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace jet::index {

class ParsedIndexPages;

// Where the index writer gets and puts the pages of ONE real index during one
// change. The write side implements it over its page set:
//  - readPage(n): the plain (decoded) page as this change sees it, earlier
//    writePage() calls included; exactly one page size long.
//  - writePage(n, bytes): replaces the whole page within the change; nothing
//    needs to reach the file before the change commits.
//  - allocatePage(): a page taken from the global free map and added to this
//    index's usage map (StoredRealIndex::usageMap). Its old content does not
//    matter: the writer writes the whole page before anything points at it.
//  - freePage(n): removes n from this index's usage map and returns it to the
//    global free map. The writer no longer refers to it.
//  - rootMoved(n): the index's root is now page n; store it in the table
//    definition's real-index block (StoredRealIndex::firstPage) within the change.
// Any of them may throw; the writer then stops, and the change must be thrown
// away as a whole (pages already written by the writer are not restored).
class IndexPageSink {
public:
    virtual ~IndexPageSink() = default;
    virtual std::vector<uint8_t> readPage(uint32_t page) = 0;
    virtual void writePage(uint32_t page, std::span<const uint8_t> bytes) = 0;
    virtual uint32_t allocatePage() = 0;
    virtual void freePage(uint32_t page) = 0;
    virtual void rootMoved(uint32_t page) = 0;

    // Where parsed pages are kept between changes, or null (every change parses its pages).
    // pageBytes(n) is readPage(n), valid until the next call; a sink can spare the copy.
    virtual ParsedIndexPages* parsedPages() { return nullptr; }
    virtual const std::vector<uint8_t>& pageBytes(uint32_t page) {
        m_read = readPage(page);
        return m_read;
    }

private:
    std::vector<uint8_t> m_read;
};

}  // namespace jet::index
