#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "index/IndexEntry.h"
#include "page/Pager.h"

namespace jet::index {

// Reads one real index (a B-tree of 0x03/0x04 pages) from its root. Every page
// number is checked before use; a page reached twice (a cycle, or two parents),
// a tree deeper than any real one, or a damaged page raises hr::kCorrupt.
class IndexTree {
public:
    static constexpr unsigned kMaxDepth = 32;

    // `owner` is the TDEF page of the table; 0 skips the owner check.
    IndexTree(Pager& pager, uint32_t rootPage, uint32_t owner = 0);

    // The leaf entries in tree order (which should be key order).
    std::vector<IndexEntry> readEntries();

    // What readEntries() found wrong without being unable to go on: leaf sibling
    // links that disagree with the tree, node entries that are not the last entry
    // below them, leaves at different depths, pages owned by another table, stale
    // free-space counts. One English line each.
    const std::vector<std::string>& findings() const { return m_findings; }
    // Pages of the tree in visiting order (parents before children).
    const std::vector<uint32_t>& pages() const { return m_pages; }

private:
    struct LeafLink {
        uint32_t page, prev, next;
    };

    void visit(uint32_t page, unsigned depth, std::vector<IndexEntry>& out);
    void checkLeafChain();
    void note(std::string line);

    Pager& m_pager;
    uint32_t m_root;
    uint32_t m_owner;
    std::unordered_set<uint32_t> m_seen;
    std::vector<uint32_t> m_pages;
    std::vector<LeafLink> m_leaves;  // left to right
    unsigned m_leafDepth = 0;
    bool m_leafDepthKnown = false;
    std::vector<std::string> m_findings;
};

}  // namespace jet::index
