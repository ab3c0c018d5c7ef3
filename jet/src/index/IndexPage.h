#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "index/IndexEntry.h"
#include "index/IndexPageLayout.h"
#include "page/Page.h"

namespace jet::index {

// One index page, decoded: header fields and the full (prefix-restored)
// entries. parse() checks every length against the page and throws
// hr::kCorrupt on damage; serialize() builds the stored form again, so a
// writer can change `entries` and write the page back: keep them sorted with
// compareEntries(), split the page when storedSize() passes
// IndexPageLayout::maxEntryBytes(), and when a page's last entry changes,
// change the parent's entry for it too (a node entry carries the last key and
// row of its child's subtree).
struct IndexPage {
    uint32_t number = 0;
    bool leaf = true;
    uint32_t owner = 0;  // TDEF page of the table
    uint32_t prevPage = 0;
    uint32_t nextPage = 0;
    uint32_t tailPage = 0;          // nodes: the rightmost child
    uint16_t freeSpace = 0;         // as stored
    uint16_t prefixLength = 0;      // as stored
    uint8_t level = 0;              // as stored
    uint32_t storedEntryBytes = 0;  // entry-area bytes in use, from the mask
    std::vector<IndexEntry> entries;

    static IndexPage parse(const Page& page, Format format);

    // The stored form of an empty leaf: a new index's root.
    static std::vector<uint8_t> emptyLeaf(uint32_t page, uint32_t owner, Format format);

    // The page as Jet stores it. With no prefix given, leaves share the common
    // prefix of all their entries and nodes none (as Access writes them).
    // Throws hr::kInvalidArg when the entries do not fit or the prefix is not
    // shared by every entry.
    std::vector<uint8_t> serialize(Format format,
                                   std::optional<uint16_t> prefix = std::nullopt) const;

    // Takes the sizes a page records (free space, shared prefix, entry bytes) from its
    // stored form, as parse() would.
    void noteStored(const std::vector<uint8_t>& stored, Format format);

    // Sets the entries from a page's items: a leaf's entries, or a node's children
    // in order, the rightmost becoming the tail (a node of one child keeps it as
    // an entry and has no tail).
    void setItems(const std::vector<IndexEntry>& items);
    void setItems(std::vector<IndexEntry>&& items);

    // Bytes an entry takes on a page before prefix sharing.
    static uint32_t fullEntrySize(const IndexEntry& entry, bool leaf);
    static void appendEntryBytes(const IndexEntry& entry, bool leaf, std::vector<uint8_t>& out);
    // How many leading bytes of the entry's stored form equal those of `first` (another
    // entry's stored form), counting no further than `cap` and keeping at least the entry's
    // last byte its own.
    static size_t sharedWith(const std::vector<uint8_t>& first, const IndexEntry& entry,
                             bool leaf, size_t cap);
    // Entry-area bytes the given entries need with the given shared prefix.
    static uint32_t storedSize(const std::vector<IndexEntry>& entries, bool leaf, uint16_t prefix);
    // Longest prefix every entry shares with the first (0 for fewer than two).
    static uint16_t commonPrefix(const std::vector<IndexEntry>& entries, bool leaf);
};

}  // namespace jet::index
