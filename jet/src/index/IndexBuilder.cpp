#include "index/IndexBuilder.h"

#include <algorithm>

#include "index/IndexPage.h"
#include "index/IndexPageLayout.h"
#include "jet/Error.h"

namespace jet::index {

IndexBuilder::IndexBuilder(IndexPageSink& sink, Format format, uint32_t owner)
    : m_sink(sink), m_format(format), m_owner(owner) {
    if (format != Format::Jet4)
        throw Error(hr::kNotSupported, "Indexes of Jet 3 databases cannot be changed.");
}

uint32_t IndexBuilder::takePage() {
    if (m_reused < m_reuse.size()) return m_reuse[m_reused++];
    return m_sink.allocatePage();
}

std::vector<std::vector<IndexEntry>> IndexBuilder::fill(const std::vector<IndexEntry>& items,
                                                        bool leaf) const {
    const uint32_t limit = IndexPageLayout::of(m_format).maxEntryBytes();
    std::vector<std::vector<IndexEntry>> pages;
    std::vector<IndexEntry> page;
    // Leaves: the bytes every entry shares with the page's first are stored once,
    // so the page's size is known from a running prefix (IndexPage::storedSize).
    std::vector<uint8_t> first, bytes;
    size_t shared = 0;
    uint32_t full = 0;  // leaves: full sizes of the entries; nodes: of all but the tail
    for (const IndexEntry& e : items) {
        const uint32_t size = IndexPage::fullEntrySize(e, leaf);
        bool fits = true;
        size_t nextShared = shared;
        if (page.empty()) {
            fits = true;
        } else if (leaf) {
            bytes.clear();
            IndexPage::appendEntryBytes(e, true, bytes);
            const size_t cap = std::min(shared, bytes.size() - 1);
            size_t k = 0;
            while (k < cap && first[k] == bytes[k])
                ++k;
            nextShared = k;
            fits = full + size - nextShared * page.size() <= limit;
        } else {
            // the entry taking the tail's place adds the former tail's bytes
            fits = full + IndexPage::fullEntrySize(page.back(), false) <= limit;
        }
        if (!fits) {
            pages.push_back(std::move(page));
            page.clear();
        }
        if (page.empty()) {
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
            full += IndexPage::fullEntrySize(page.back(), false);
        }
        page.push_back(e);
    }
    if (!page.empty() || pages.empty()) pages.push_back(std::move(page));
    return pages;
}

uint32_t IndexBuilder::build(const std::vector<IndexEntry>& sorted,
                             const std::vector<uint32_t>& reuse) {
    for (size_t i = 1; i < sorted.size(); ++i)
        if (compareEntries(sorted[i - 1], sorted[i]) >= 0)
            throw Error(hr::kInvalidArg,
                        "The entries of an index to build are out of order or listed twice.");
    m_reuse = reuse;
    m_reused = 0;
    std::vector<IndexEntry> items = sorted;
    for (IndexEntry& e : items)
        e.child = 0;
    bool leaf = true;
    uint8_t level = 0;
    for (;;) {
        std::vector<std::vector<IndexEntry>> groups = fill(items, leaf);
        std::vector<uint32_t> numbers;
        for (size_t g = 0; g < groups.size(); ++g)
            numbers.push_back(takePage());
        std::vector<IndexEntry> separators;
        for (size_t g = 0; g < groups.size(); ++g) {
            IndexPage p;
            p.number = numbers[g];
            p.leaf = leaf;
            p.level = level;
            p.owner = m_owner;
            p.prevPage = g > 0 ? numbers[g - 1] : 0;
            p.nextPage = g + 1 < groups.size() ? numbers[g + 1] : 0;
            p.setItems(groups[g]);
            m_sink.writePage(p.number, p.serialize(m_format));
            if (!groups[g].empty()) {
                IndexEntry sep = groups[g].back();
                sep.child = p.number;
                separators.push_back(std::move(sep));
            }
        }
        if (groups.size() == 1) {
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
