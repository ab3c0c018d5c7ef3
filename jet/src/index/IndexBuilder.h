#pragma once

#include <cstdint>
#include <vector>

#include "index/IndexEntry.h"
#include "index/IndexPageSink.h"
#include "jet/Format.h"

namespace jet::index {

// Writes a whole index tree bottom-up from its entries in index order, the way a
// load in key order leaves it: every leaf as full as it goes (the last one takes
// what is left), then levels of nodes over the level below, each node entry the
// last entry below its child and each node's rightmost child its tail, pages
// linked to their neighbours, until one page is left as the root. Jet 4 only.
//
// Pages come first from `reuse` in the order given (pages of the tree being
// replaced, still in the index's usage map), then from the sink; reused pages
// left over are freed. An empty list of entries gives one empty leaf.
class IndexBuilder {
public:
    IndexBuilder(IndexPageSink& sink, Format format, uint32_t owner);

    // Returns the root page. Throws hr::kInvalidArg when the entries are out of
    // order or an entry is listed twice; the sink's errors pass on. Pass the
    // entries by move where they are not needed after: they become the leaves.
    uint32_t build(std::vector<IndexEntry> sorted, const std::vector<uint32_t>& reuse);

    // Sorts entries into the order build() takes (compareEntries).
    static void sortEntries(std::vector<IndexEntry>& entries);

private:
    // Splits one level's items into pages, each as full as it goes: the end of
    // each page's run of items.
    std::vector<size_t> fill(const std::vector<IndexEntry>& items, bool leaf) const;
    uint32_t takePage();

    IndexPageSink& m_sink;
    Format m_format;
    uint32_t m_owner;
    std::vector<uint32_t> m_reuse;
    size_t m_reused = 0;
};

}  // namespace jet::index
