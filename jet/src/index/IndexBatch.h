#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "index/IndexEntry.h"
#include "index/IndexTreeEditor.h"
#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Schema.h"
#include "page/PageSet.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {

// The index entries of rows added within one change, held aside and written into
// their trees together: walking and rewriting a tree for each row is what makes a
// large load slow. Each new row is still checked at once, with the same refusals
// as IndexWriter::prepare() (a duplicate in a unique index is refused by the insert
// that makes it, against the stored tree and the rows held here). flush() merges
// the held entries into the trees: a tree that gains many entries relative to its
// size is written anew bottom-up from the union (IndexBuilder), reusing its pages;
// otherwise the entries go in one by one in key order.
//
// Nothing else may change or read an index with held entries before flush(): the
// writer flushes before any other kind of row change, schema change or check.
// Works within one page set; drop the batch with it.
class IndexBatch {
public:
    IndexBatch(PageSet& pages, uint32_t databaseSortOrder);
    IndexBatch(const IndexBatch&) = delete;
    IndexBatch& operator=(const IndexBatch&) = delete;

    // Checks the row's entry for every index of the table, then holds them; on a
    // refusal nothing is held. `row` holds the values as stored, `id` is its place.
    void insert(const StoredTableDef& table, const std::vector<Value>& row, RowId id);
    bool empty() const { return m_tables.empty(); }
    // Writes every held entry and the distinct-key counts into the page set, then
    // holds nothing. The page set's overlay must be attached to the pager (it
    // reads the trees through it).
    void flush(Pager& pager);

private:
    // The distinct keys among a unique index's held entries. While the entries come in key
    // order (an AutoNumber key) they are searched in place; after the first that does not,
    // through an open-addressing table of places in the entries: no allocation per key.
    class HeldKeys {
    public:
        bool contains(const std::vector<IndexEntry>& entries, const std::vector<uint8_t>& key);
        // Notes entries.back(), just added; `held` is what contains() said of its key.
        void added(const std::vector<IndexEntry>& entries, bool held);

    private:
        static uint64_t hash(const std::vector<uint8_t>& key);
        void insert(uint32_t at, uint64_t hash);
        void grow();
        bool m_inOrder = true;  // the entries' keys ascend (equal neighbours allowed)
        // The low half of the key's hash in the high half, so that most keys that differ are
        // told apart without reading the entry; place in entries + 1 in the low half (0: an
        // empty slot).
        std::vector<uint64_t> m_slots;
        size_t m_count = 0;
    };
    struct Index {
        Index(PageSet& pages, const StoredTableDef& def, size_t real, uint32_t sortOrder);
        IndexWriter writer;
        PageSetIndexSink sink;
        IndexTreeEditor stored;  // lookups in the tree as it was when the first row came
        bool storedEmpty;        // then nothing need be looked up in it
        bool unique;             // only then are the held keys looked up at each insert
        std::vector<IndexEntry> entries;
        HeldKeys keys;
    };
    // What insert() learns of a row's entry for one index before holding any.
    struct Found {
        std::optional<IndexEntry> entry;
        bool held = false;  // a unique index's key is among the held entries
    };
    struct Table {
        std::unique_ptr<StoredTableDef> def;  // the writers and sinks refer to it
        std::vector<std::unique_ptr<Index>> indexes;
    };

    Table& tableFor(const StoredTableDef& def);
    void flushIndex(Pager& pager, const StoredTableDef& def, Index& index);

    PageSet& m_pages;
    uint32_t m_sortOrder;
    std::map<uint32_t, Table> m_tables;  // by TDEF page
    std::vector<Found> m_found;          // scratch for insert()
};

}  // namespace jet::index
