#include "index/IndexBuilder.h"

#include <algorithm>
#include <iterator>

#include "index/IndexPage.h"
#include "index/IndexPageLayout.h"
#include "jet/Error.h"

namespace jet::index {

IndexBuilder::IndexBuilder(IndexPageSink& sink, Format format, uint32_t owner)
    : m_sink(sink), m_format(format), m_owner(owner) {}

// Rather than moving whole entries and comparing keys through their pointers, this sorts
// small records: the eight key bytes that follow the prefix
// every key shares, read as a big-endian number, and the entry's place; only records with
// equal numbers compare the entries.
void IndexBuilder::sortEntries(std::vector<IndexEntry>& entries) {
    if (entries.size() < 2) return;
    const std::vector<uint8_t>& first = entries.front().key;
    size_t shared = first.size();
    for (const IndexEntry& e : entries) {
        const size_t n = std::min(shared, e.key.size());
        shared = size_t(
            std::mismatch(first.begin(), first.begin() + std::ptrdiff_t(n), e.key.begin()).first -
            first.begin());
    }
    struct Record {
        uint64_t word;
        uint32_t at;
    };
    std::vector<Record> order(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::vector<uint8_t>& key = entries[i].key;
        uint64_t word = 0;
        for (size_t k = 0; k < 8; ++k)
            word = word << 8 | (shared + k < key.size() ? key[shared + k] : 0);
        order[i] = {word, uint32_t(i)};
    }
    std::sort(order.begin(), order.end(), [&](const Record& a, const Record& b) {
        if (a.word != b.word) return a.word < b.word;
        return compareEntries(entries[a.at], entries[b.at]) < 0;
    });
    std::vector<IndexEntry> sorted;
    sorted.reserve(entries.size());
    for (const Record& r : order)
        sorted.push_back(std::move(entries[r.at]));
    entries = std::move(sorted);
}

uint32_t IndexBuilder::takePage() {
    if (m_reused < m_reuse.size()) return m_reuse[m_reused++];
    return m_sink.allocatePage();
}

std::vector<size_t> IndexBuilder::fill(const std::vector<IndexEntry>& items, bool leaf) const {
    const uint32_t limit = IndexPageLayout::of(m_format).maxEntryBytes();
    std::vector<size_t> ends;
    size_t begin = 0;  // the current page's first item
    // Leaves: the bytes every entry shares with the page's first are stored once,
    // so the page's size is known from a running prefix (IndexPage::storedSize).
    std::vector<uint8_t> first;
    size_t shared = 0;
    uint32_t full = 0;  // leaves: full sizes of the entries; nodes: of all but the tail
    for (size_t i = 0; i < items.size(); ++i) {
        const IndexEntry& e = items[i];
        const uint32_t size = IndexPage::fullEntrySize(e, leaf);
        const size_t count = i - begin;
        bool fits = true;
        size_t nextShared = shared;
        if (count == 0) {
            fits = true;
        } else if (leaf) {
            nextShared = IndexPage::sharedWith(first, e, true, shared);
            fits = full + size - nextShared * count <= limit;
        } else {
            // the entry taking the tail's place adds the former tail's bytes
            fits = full + IndexPage::fullEntrySize(items[i - 1], false) <= limit;
        }
        if (!fits) {
            ends.push_back(i);
            begin = i;
        }
        if (begin == i) {
            full = leaf ? size : 0;
            if (leaf) {
                first.clear();
                IndexPage::appendEntryBytes(e, true, first);
                shared = first.size() - 1;
            }
        } else if (leaf) {
            full += size;
            shared = nextShared;
        } else {
            full += IndexPage::fullEntrySize(items[i - 1], false);
        }
    }
    if (begin < items.size() || ends.empty()) ends.push_back(items.size());
    return ends;
}

uint32_t IndexBuilder::build(std::vector<IndexEntry> sorted, const std::vector<uint32_t>& reuse) {
    for (size_t i = 1; i < sorted.size(); ++i)
        if (compareEntries(sorted[i - 1], sorted[i]) >= 0)
            throw Error(hr::kInvalidArg,
                        "The entries of an index to build are out of order or listed twice.");
    m_reuse = reuse;
    m_reused = 0;
    std::vector<IndexEntry> items = std::move(sorted);
    for (IndexEntry& e : items)
        e.child = 0;
    bool leaf = true;
    uint8_t level = 0;
    for (;;) {
        const std::vector<size_t> ends = fill(items, leaf);
        std::vector<uint32_t> numbers;
        for (size_t g = 0; g < ends.size(); ++g)
            numbers.push_back(takePage());
        std::vector<IndexEntry> separators;
        separators.reserve(ends.size());
        for (size_t g = 0; g < ends.size(); ++g) {
            const size_t begin = g == 0 ? 0 : ends[g - 1];
            IndexPage p;
            p.number = numbers[g];
            p.leaf = leaf;
            p.level = level;
            p.owner = m_owner;
            p.prevPage = g > 0 ? numbers[g - 1] : 0;
            p.nextPage = g + 1 < ends.size() ? numbers[g + 1] : 0;
            if (ends[g] > begin) {
                IndexEntry sep = items[ends[g] - 1];
                sep.child = p.number;
                separators.push_back(std::move(sep));
            }
            const auto from = items.begin() + static_cast<std::ptrdiff_t>(begin);
            const auto to = items.begin() + static_cast<std::ptrdiff_t>(ends[g]);
            p.setItems(std::vector<IndexEntry>(std::make_move_iterator(from),
                                               std::make_move_iterator(to)));
            m_sink.writePage(p.number, p.serialize(m_format));
        }
        if (ends.size() == 1) {
            for (size_t i = m_reused; i < m_reuse.size(); ++i)
                m_sink.freePage(m_reuse[i]);
            return numbers.front();
        }
        items = std::move(separators);
        leaf = false;
        ++level;
    }
}

}  // namespace jet::index
