#include "index/IndexBatch.h"

#include <algorithm>

#include "index/IndexBuilder.h"
#include "index/IndexTree.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {
namespace {

// A tree this many times the size of the entries to add costs more to rewrite than
// to walk once per entry.
constexpr size_t kRewriteRatio = 32;

// Distinct keys among entries in index order.
int distinctKeys(const std::vector<IndexEntry>& sorted) {
    int n = 0;
    for (size_t i = 0; i < sorted.size(); ++i)
        if (i == 0 || sorted[i].key != sorted[i - 1].key) ++n;
    return n;
}

}  // namespace

uint64_t IndexBatch::HeldKeys::hash(const std::vector<uint8_t>& key) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

bool IndexBatch::HeldKeys::contains(const std::vector<IndexEntry>& entries,
                                    const std::vector<uint8_t>& key) {
    if (m_inOrder) {
        if (entries.empty() || IndexEntry::compareKeys(entries.back().key, key) < 0) return false;
        auto it = std::lower_bound(entries.begin(), entries.end(), key,
                                   [](const IndexEntry& e, const std::vector<uint8_t>& k) {
                                       return IndexEntry::compareKeys(e.key, k) < 0;
                                   });
        return it != entries.end() && it->key == key;
    }
    if (m_slots.empty()) return false;
    const size_t mask = m_slots.size() - 1;
    const uint64_t tag = hash(key) & 0xFFFFFFFFu;
    for (size_t i = tag & mask;; i = (i + 1) & mask) {
        const uint64_t slot = m_slots[i];
        if (slot == 0) return false;
        if (slot >> 32 == tag && entries[(slot & 0xFFFFFFFFu) - 1].key == key) return true;
    }
}

void IndexBatch::HeldKeys::added(const std::vector<IndexEntry>& entries, bool held) {
    const size_t n = entries.size();
    if (m_inOrder) {
        if (n < 2 || IndexEntry::compareKeys(entries[n - 2].key, entries[n - 1].key) <= 0) return;
        // Out of order from here on: every distinct key so far goes into the table.
        m_inOrder = false;
        for (size_t i = 0; i + 1 < n; ++i)
            if (i == 0 || entries[i].key != entries[i - 1].key)
                insert(uint32_t(i), hash(entries[i].key));
    }
    if (!held) insert(uint32_t(n - 1), hash(entries.back().key));
}

void IndexBatch::HeldKeys::insert(uint32_t at, uint64_t hash) {
    if ((m_count + 1) * 2 > m_slots.size()) grow();
    const size_t mask = m_slots.size() - 1;
    const uint64_t tag = hash & 0xFFFFFFFFu;
    size_t i = tag & mask;
    while (m_slots[i] != 0)
        i = (i + 1) & mask;
    m_slots[i] = tag << 32 | (uint64_t(at) + 1);
    ++m_count;
}

void IndexBatch::HeldKeys::grow() {
    std::vector<uint64_t> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 1024 : old.size() * 2, 0);
    const size_t mask = m_slots.size() - 1;
    for (uint64_t slot : old) {
        if (slot == 0) continue;
        size_t i = (slot >> 32) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

IndexBatch::Index::Index(PageSet& pages, const StoredTableDef& def, size_t real, uint32_t sortOrder)
    : writer(def, real, pages.format(), sortOrder),
      sink(pages, def, real),
      stored(sink, pages.format(), def.tdefPage, sink.storedRoot()),
      storedEmpty(stored.isEmpty()),
      unique(writer.definition().isUnique()) {}

IndexBatch::IndexBatch(PageSet& pages, uint32_t databaseSortOrder)
    : m_pages(pages), m_sortOrder(databaseSortOrder) {}

IndexBatch::Table& IndexBatch::tableFor(const StoredTableDef& def) {
    auto it = m_tables.find(def.tdefPage);
    if (it != m_tables.end()) return it->second;
    Table t;
    t.def = std::make_unique<StoredTableDef>(def);
    for (size_t r = 0; r < def.realIndexes.size(); ++r)
        t.indexes.push_back(std::make_unique<Index>(m_pages, *t.def, r, m_sortOrder));
    return m_tables.emplace(def.tdefPage, std::move(t)).first->second;
}

void IndexBatch::insert(const StoredTableDef& table, const std::vector<Value>& row, RowId id) {
    if (table.realIndexes.empty()) return;
    Table& t = tableFor(table);
    m_found.resize(t.indexes.size());
    std::vector<Found>& found = m_found;
    for (size_t r = 0; r < t.indexes.size(); ++r) {
        Index& x = *t.indexes[r];
        Found& f = found[r];
        f.entry = x.writer.entryFor(row, id);
        if (!f.entry) continue;
        // Only a unique index asks whether the key is held already; the count of distinct
        // keys is taken from the sorted entries at flush().
        f.held = x.unique && x.keys.contains(x.entries, f.entry->key);
        bool listed = false;
        const bool stored =
            !x.storedEmpty &&
            x.stored.findOtherRowWithKey(f.entry->key, std::nullopt, &id, &listed).has_value();
        x.writer.checkNewEntry(row, id, f.held || stored, listed);
    }
    for (size_t r = 0; r < t.indexes.size(); ++r) {
        Found& f = found[r];
        if (!f.entry) continue;
        Index& x = *t.indexes[r];
        x.entries.push_back(std::move(*f.entry));
        if (x.unique) x.keys.added(x.entries, f.held);
    }
}

void IndexBatch::flush(Pager& pager) {
    for (auto& [page, t] : m_tables)
        for (auto& x : t.indexes)
            flushIndex(pager, *t.def, *x);
    m_tables.clear();
}

void IndexBatch::flushIndex(Pager& pager, const StoredTableDef& def, Index& x) {
    if (x.entries.empty()) return;
    const auto before = [](const IndexEntry& a, const IndexEntry& b) {
        return compareEntries(a, b) < 0;
    };
    // rows loaded in key order (an AutoNumber key) come sorted already
    if (!std::is_sorted(x.entries.begin(), x.entries.end(), before))
        IndexBuilder::sortEntries(x.entries);
    const uint32_t root = x.sink.storedRoot();
    bool rewrite = root == 0 || x.entries.size() * kRewriteRatio >= def.rowCount;
    int newKeys = 0;  // distinct held keys the tree lacks, for the index's count of keys
    std::vector<IndexEntry> all;
    std::vector<uint32_t> pages;
    if (rewrite && root != 0) {
        IndexTree tree(pager, root, def.tdefPage);
        std::vector<IndexEntry> old = tree.readEntries();
        // a tree that reads with faults is only edited, never rewritten from what it gave
        rewrite = tree.findings().empty();
        if (rewrite) {
            newKeys = -distinctKeys(old);
            all.reserve(old.size() + x.entries.size());
            std::merge(
                std::make_move_iterator(old.begin()), std::make_move_iterator(old.end()),
                std::make_move_iterator(x.entries.begin()),
                std::make_move_iterator(x.entries.end()), std::back_inserter(all),
                [](const IndexEntry& a, const IndexEntry& b) { return compareEntries(a, b) < 0; });
            pages = tree.pages();
            std::sort(pages.begin(), pages.end());
        }
    }
    if (rewrite) {
        newKeys += distinctKeys(all.empty() ? x.entries : all);
        const uint32_t built =
            IndexBuilder(x.sink, m_pages.format(), def.tdefPage)
                .build(all.empty() ? std::move(x.entries) : std::move(all), pages);
        if (built != root) x.sink.rootMoved(built);
    } else {
        // asked of the tree as it was, before any entry goes in
        for (size_t i = 0; i < x.entries.size(); ++i) {
            const std::vector<uint8_t>& key = x.entries[i].key;
            if (i > 0 && key == x.entries[i - 1].key) continue;
            if (x.storedEmpty || !x.stored.findOtherRowWithKey(key, std::nullopt)) ++newKeys;
        }
        IndexTreeEditor tree(x.sink, m_pages.format(), def.tdefPage, root);
        for (const IndexEntry& e : x.entries)
            tree.insert(e);
    }
    x.sink.addToUniqueCount(newKeys);
    x.entries.clear();
}

}  // namespace jet::index
