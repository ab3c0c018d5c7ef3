#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "index/IndexEntry.h"
#include "index/IndexPage.h"
#include "index/IndexPageSink.h"
#include "jet/Database.h"

namespace jet::index {

// Adds and removes entries of one real index (Jet 4), keeping the B-tree as
// Access reads it: entries in order, each node entry the last entry below its
// child, the rightmost child of a node as its tail, leaves and nodes linked to
// their neighbours at the same level, free space and shared prefixes as stored.
// A full page splits (a page that overflows at the right end of its level keeps
// its entries and a new page takes the new one, so sequential loads fill pages);
// a root that splits gets a new root above it (reported through
// IndexPageSink::rootMoved); a page left empty is unlinked and freed; an index
// left with no entries is one empty leaf. Pages are never merged.
//
// The queries only read pages, so a writer can check a change before making it.
// Damaged pages throw hr::kCorrupt. Not thread-safe; the sink must outlive it.
class IndexTreeEditor {
public:
    // `root` 0 means the index has no page yet: the first insert makes one.
    // `owner` is the TDEF page written into new pages.
    IndexTreeEditor(IndexPageSink& sink, Format format, uint32_t owner, uint32_t root);

    uint32_t root() const { return m_root; }
    // Whether the index holds no entry: no page yet, or a root leaf without entries.
    bool isEmpty();

    // Bytes of the longest key the editor accepts: a page must hold at least
    // three node entries, so that any split leaves every page within bounds.
    static uint32_t maxKeyBytes(Format format);

    // The row of some entry with this key other than `except`, if there is one.
    // `listed`, when given, is set to whether an entry of this key points at
    // row `*listedRow` (found in the same walk).
    std::optional<RowId> findOtherRowWithKey(const std::vector<uint8_t>& key,
                                             std::optional<RowId> except,
                                             const RowId* listedRow = nullptr,
                                             bool* listed = nullptr);
    // The rows of the entries with this key, in index order, at most `limit` of them.
    std::vector<RowId> rowsWithKey(const std::vector<uint8_t>& key, size_t limit);
    // Whether the entry (key and row) is in the index, and if not whether some
    // entry points at its row (a key written by another program's encoder).
    enum class Presence { Exact, RowOnly, Absent };
    Presence locate(const IndexEntry& entry);

    // Throws hr::kInvalidArg when the exact entry is already present.
    void insert(const IndexEntry& entry);
    // Removes the entry; when the key differs from the stored one, the entry of
    // the same row. False when the index holds neither.
    bool remove(const IndexEntry& entry);

private:
    // One page of a walk. Its items (leaf entries, or node children with the tail as the
    // last) are copied out of the parsed page only when the page is to change.
    struct Frame {
        std::shared_ptr<const IndexPage> page;
        size_t at = 0;  // nodes: the child the path goes through
        bool copied = false;
        std::vector<IndexEntry> items;       // once copied
        std::optional<IndexEntry> tailItem;  // nodes: the tail child's item, once known
    };
    using Path = std::vector<Frame>;  // root first, leaf last

    static constexpr size_t kParsedPages = 1024;

    std::shared_ptr<const IndexPage> loadShared(uint32_t page);
    const IndexPage& load(uint32_t page) { return *loadShared(page); }
    uint32_t leafForKey(const std::vector<uint8_t>& key);
    // Calls visit with each entry of this key in index order until it returns false.
    void visitKey(const std::vector<uint8_t>& key,
                  const std::function<bool(const IndexEntry&)>& visit);
    // A frame with its items copied; `bound` is the parent's item for it (none at the root).
    Frame copiedFrame(std::shared_ptr<const IndexPage> page, const std::optional<IndexEntry>& bound);
    size_t itemCount(const Frame& f) const;
    const IndexEntry& itemOf(Path& path, size_t level, size_t i);
    const IndexEntry& tailOf(Path& path, size_t level);
    std::vector<IndexEntry>& itemsOf(Path& path, size_t level);
    IndexEntry lastEntryBelow(uint32_t page);
    Path descend(const IndexEntry& target, bool keyOnly);
    bool findRow(uint32_t page, RowId row, const std::optional<IndexEntry>& bound, Path& path,
                 unsigned depth);
    void startEmptyIndex();

    // Writes the frame at `level` with its new items and fixes the levels above.
    void rebuild(Path& path, size_t level, bool lastIsNew);
    std::vector<std::vector<IndexEntry>> split(const IndexPage& page,
                                               std::vector<IndexEntry>&& items,
                                               bool appendAtEnd) const;
    bool fits(const std::vector<IndexEntry>& items, bool leaf) const;
    void store(IndexPage page, std::vector<IndexEntry>&& items);
    void setLink(uint32_t page, bool next, uint32_t value);
    void checkPage(uint32_t page) const;

    IndexPageSink& m_sink;
    Format m_format;
    uint32_t m_owner;
    uint32_t m_root;
    std::unordered_set<uint32_t> m_seen;               // pages visited by findRow()
    std::unordered_map<uint32_t, std::shared_ptr<const IndexPage>> m_parsed;  // as last read or written
};

}  // namespace jet::index
