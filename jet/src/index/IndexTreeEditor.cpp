#include "index/IndexTreeEditor.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "index/IndexTree.h"
#include "index/ParsedIndexPages.h"
#include "jet/Error.h"
#include "page/Page.h"

namespace jet::index {
namespace {

bool sameEntry(const IndexEntry& a, const IndexEntry& b) {
    return a.key == b.key && a.row == b.row && a.child == b.child;
}

std::string pageName(uint32_t page) {
    return "index page " + std::to_string(page);
}

// The page's header fields without its entries.
IndexPage headerOf(const IndexPage& page) {
    IndexPage h;
    h.number = page.number;
    h.leaf = page.leaf;
    h.owner = page.owner;
    h.prevPage = page.prevPage;
    h.nextPage = page.nextPage;
    h.tailPage = page.tailPage;
    h.freeSpace = page.freeSpace;
    h.prefixLength = page.prefixLength;
    h.level = page.level;
    h.storedEntryBytes = page.storedEntryBytes;
    return h;
}

}  // namespace

IndexTreeEditor::IndexTreeEditor(IndexPageSink& sink, Format format, uint32_t owner, uint32_t root)
    : m_sink(sink), m_format(format), m_owner(owner), m_root(root) {}

uint32_t IndexTreeEditor::maxKeyBytes(Format format) {
    return IndexPageLayout::of(format).maxEntryBytes() / 3 - kRowPointerSize - kChildPointerSize;
}

std::shared_ptr<const IndexPage> IndexTreeEditor::loadShared(uint32_t page) {
    checkPage(page);
    // Each walk goes through the same few pages again; parsing them is most of its cost.
    if (auto it = m_parsed.find(page); it != m_parsed.end()) return it->second;
    const std::vector<uint8_t>& bytes = m_sink.pageBytes(page);
    if (bytes.size() != IndexPageLayout::of(m_format).pageSize)
        throwCorrupt(pageName(page) + " has the wrong size");
    ParsedIndexPages* kept = m_sink.parsedPages();
    std::shared_ptr<const IndexPage> parsed = kept ? kept->find(page, bytes) : nullptr;
    if (!parsed) {
        parsed = std::make_shared<const IndexPage>(IndexPage::parse(Page(page, bytes), m_format));
        if (kept) kept->keep(page, bytes, parsed);
    }
    if (m_parsed.size() > kParsedPages) m_parsed.clear();
    m_parsed.insert_or_assign(page, parsed);
    return parsed;
}

bool IndexTreeEditor::isEmpty() {
    if (m_root == 0) return true;
    const std::shared_ptr<const IndexPage> p = loadShared(m_root);
    return p->leaf && p->entries.empty();
}

void IndexTreeEditor::checkPage(uint32_t page) const {
    if (page == 0) throwCorrupt("an index refers to page 0");
}

// A node's tail child carries no key of its own: it ends where the node ends,
// which the parent's entry says (or, at the root, the rightmost leaf).
IndexTreeEditor::Frame IndexTreeEditor::copiedFrame(std::shared_ptr<const IndexPage> page,
                                                    const std::optional<IndexEntry>& bound) {
    Frame f;
    f.copied = true;
    f.items = page->entries;
    if (!page->leaf && page->tailPage != 0) {
        IndexEntry tail = bound ? *bound : lastEntryBelow(page->tailPage);
        tail.child = page->tailPage;
        f.items.push_back(tail);
        f.tailItem = std::move(tail);
    }
    if (!page->leaf && f.items.empty())
        throwCorrupt(pageName(page->number) + " is a node with no children");
    f.page = std::move(page);
    return f;
}

size_t IndexTreeEditor::itemCount(const Frame& f) const {
    if (f.copied) return f.items.size();
    return f.page->entries.size() + (!f.page->leaf && f.page->tailPage != 0 ? 1 : 0);
}

const IndexEntry& IndexTreeEditor::tailOf(Path& path, size_t level) {
    Frame& f = path[level];
    if (!f.tailItem) {
        // below the root, a tail ends where the parent's item for the page says
        IndexEntry tail = level == 0 ? lastEntryBelow(f.page->tailPage)
                                     : itemOf(path, level - 1, path[level - 1].at);
        tail.child = f.page->tailPage;
        path[level].tailItem = std::move(tail);
    }
    return *path[level].tailItem;
}

const IndexEntry& IndexTreeEditor::itemOf(Path& path, size_t level, size_t i) {
    Frame& f = path[level];
    if (f.copied) return f.items[i];
    if (i < f.page->entries.size()) return f.page->entries[i];
    return tailOf(path, level);
}

std::vector<IndexEntry>& IndexTreeEditor::itemsOf(Path& path, size_t level) {
    if (!path[level].copied) {
        std::vector<IndexEntry> items = path[level].page->entries;
        if (!path[level].page->leaf && path[level].page->tailPage != 0)
            items.push_back(tailOf(path, level));
        path[level].items = std::move(items);
        path[level].copied = true;
    }
    return path[level].items;
}

IndexEntry IndexTreeEditor::lastEntryBelow(uint32_t page) {
    for (unsigned depth = 0; depth <= IndexTree::kMaxDepth; ++depth) {
        const IndexPage& p = load(page);
        if (!p.leaf && p.tailPage != 0) {
            page = p.tailPage;
            continue;
        }
        if (p.entries.empty()) throwCorrupt(pageName(page) + " holds no entries");
        IndexEntry last = p.entries.back();
        last.child = 0;
        return last;
    }
    throwCorrupt("an index is nested deeper than " + std::to_string(IndexTree::kMaxDepth) +
                 " levels");
}

IndexTreeEditor::Path IndexTreeEditor::descend(const IndexEntry& target, bool keyOnly) {
    Path path;
    std::unordered_set<uint32_t> seen;
    uint32_t page = m_root;
    for (;;) {
        if (path.size() > IndexTree::kMaxDepth)
            throwCorrupt("an index is nested deeper than " + std::to_string(IndexTree::kMaxDepth) +
                         " levels");
        if (!seen.insert(page).second)
            throwCorrupt(pageName(page) + " is reached twice in one index (a cycle)");
        Frame f;
        f.page = loadShared(page);
        const IndexPage& p = *f.page;
        // The root's tail ends where the index ends: found now, before anything changes.
        if (path.empty() && !p.leaf && p.tailPage != 0) {
            IndexEntry tail = lastEntryBelow(p.tailPage);
            tail.child = p.tailPage;
            f.tailItem = std::move(tail);
        }
        if (p.leaf) {
            path.push_back(std::move(f));
            return path;
        }
        const size_t count = itemCount(f);
        if (count == 0) throwCorrupt(pageName(page) + " is a node with no children");
        // Entries are in order: the first one not below the target. The tail's item is the
        // last of the subtree, so a target past every entry goes there.
        const auto first = std::partition_point(
            p.entries.begin(), p.entries.end(), [&](const IndexEntry& e) {
                return (keyOnly ? IndexEntry::compareKeys(e.key, target.key)
                                : compareEntries(e, target)) < 0;
            });
        const size_t at = first != p.entries.end() ? size_t(first - p.entries.begin()) : count - 1;
        f.at = at;
        page = at < p.entries.size() ? p.entries[at].child : p.tailPage;
        path.push_back(std::move(f));
    }
}

// Only the keys steer the walk, so the tail child needs no bound and nothing is copied.
uint32_t IndexTreeEditor::leafForKey(const std::vector<uint8_t>& key) {
    std::unordered_set<uint32_t> seen;
    uint32_t page = m_root;
    for (unsigned depth = 0;; ++depth) {
        if (depth > IndexTree::kMaxDepth)
            throwCorrupt("an index is nested deeper than " + std::to_string(IndexTree::kMaxDepth) +
                         " levels");
        if (!seen.insert(page).second)
            throwCorrupt(pageName(page) + " is reached twice in one index (a cycle)");
        const IndexPage& p = load(page);
        if (p.leaf) return page;
        if (p.entries.empty() && p.tailPage == 0)
            throwCorrupt(pageName(page) + " is a node with no children");
        // entries are in order: the first one not below the key
        const auto it = std::partition_point(p.entries.begin(), p.entries.end(),
                                             [&](const IndexEntry& e) {
                                                 return IndexEntry::compareKeys(e.key, key) < 0;
                                             });
        page = it != p.entries.end() ? it->child
               : p.tailPage != 0     ? p.tailPage
                                     : p.entries.back().child;
    }
}

void IndexTreeEditor::visitKey(const std::vector<uint8_t>& key,
                               const std::function<bool(const IndexEntry&)>& visit) {
    if (m_root == 0) return;
    uint32_t page = leafForKey(key);
    std::unordered_set<uint32_t> seen{page};
    const IndexPage* leaf = &load(page);
    auto i = std::lower_bound(leaf->entries.begin(), leaf->entries.end(), key,
                              [](const IndexEntry& e, const std::vector<uint8_t>& k) {
                                  return IndexEntry::compareKeys(e.key, k) < 0;
                              });
    // equal keys may run on into the next leaves
    for (;;) {
        for (; i != leaf->entries.end(); ++i)
            if (i->key != key || !visit(*i)) return;
        const uint32_t next = leaf->nextPage;
        if (next == 0) return;
        if (!seen.insert(next).second)
            throwCorrupt(pageName(next) + " is reached twice along the leaf links");
        leaf = &load(next);
        if (!leaf->leaf) throwCorrupt(pageName(next) + " is linked among leaves but is a node");
        i = leaf->entries.begin();
    }
}

std::optional<RowId> IndexTreeEditor::findOtherRowWithKey(const std::vector<uint8_t>& key,
                                                          std::optional<RowId> except,
                                                          const RowId* listedRow, bool* listed) {
    if (listed) *listed = false;
    std::optional<RowId> other;
    visitKey(key, [&](const IndexEntry& e) {
        if (listed && e.row == *listedRow) *listed = true;
        if (!other && (!except || !(e.row == *except))) other = e.row;
        return !other || listed;
    });
    return other;
}

std::vector<RowId> IndexTreeEditor::rowsWithKey(const std::vector<uint8_t>& key, size_t limit) {
    std::vector<RowId> rows;
    if (limit == 0) return rows;
    visitKey(key, [&](const IndexEntry& e) {
        rows.push_back(e.row);
        return rows.size() < limit;
    });
    return rows;
}

bool IndexTreeEditor::findRow(uint32_t page, RowId row, const std::optional<IndexEntry>& bound,
                              Path& path, unsigned depth) {
    if (depth > IndexTree::kMaxDepth)
        throwCorrupt("an index is nested deeper than " + std::to_string(IndexTree::kMaxDepth) +
                     " levels");
    if (!m_seen.insert(page).second)
        throwCorrupt(pageName(page) + " is reached twice in one index (a cycle)");
    Frame f = copiedFrame(loadShared(page), bound);
    if (f.page->leaf) {
        for (size_t i = 0; i < f.items.size(); ++i) {
            if (f.items[i].row == row) {
                f.at = i;
                path.push_back(std::move(f));
                return true;
            }
        }
        return false;
    }
    path.push_back(std::move(f));
    const size_t me = path.size() - 1;
    for (size_t i = 0; i < path[me].items.size(); ++i) {
        path[me].at = i;
        IndexEntry childBound = path[me].items[i];
        childBound.child = 0;
        if (findRow(path[me].items[i].child, row, childBound, path, depth + 1)) return true;
        path.resize(me + 1);
    }
    path.pop_back();
    return false;
}

IndexTreeEditor::Presence IndexTreeEditor::locate(const IndexEntry& entry) {
    if (m_root == 0) return Presence::Absent;
    const Path path = descend(entry, false);
    for (const IndexEntry& e : path.back().page->entries)
        if (e.key == entry.key && e.row == entry.row) return Presence::Exact;
    Path byRow;
    m_seen.clear();
    return findRow(m_root, entry.row, std::nullopt, byRow, 0) ? Presence::RowOnly
                                                              : Presence::Absent;
}

void IndexTreeEditor::startEmptyIndex() {
    IndexPage p;
    p.number = m_sink.allocatePage();
    p.owner = m_owner;
    store(p, {});
    m_root = p.number;
    m_sink.rootMoved(m_root);
}

void IndexTreeEditor::insert(const IndexEntry& entry) {
    IndexEntry e = entry;
    e.child = 0;
    if (m_root == 0) startEmptyIndex();
    Path path = descend(e, false);
    std::vector<IndexEntry>& items = itemsOf(path, path.size() - 1);
    const auto pos = std::lower_bound(
        items.begin(), items.end(), e,
        [](const IndexEntry& a, const IndexEntry& b) { return compareEntries(a, b) < 0; });
    if (pos != items.end() && pos->key == e.key && pos->row == e.row)
        throw Error(hr::kInvalidArg, "The index already lists this row under this key.");
    const bool last = pos == items.end();
    items.insert(pos, std::move(e));
    rebuild(path, path.size() - 1, last);
}

bool IndexTreeEditor::remove(const IndexEntry& entry) {
    if (m_root == 0) return false;
    Path path = descend(entry, false);
    Frame& leaf = path.back();
    bool found = false;
    for (size_t i = 0; i < leaf.page->entries.size(); ++i) {
        if (leaf.page->entries[i].key == entry.key && leaf.page->entries[i].row == entry.row) {
            leaf.at = i;
            found = true;
            break;
        }
    }
    if (!found) {
        path.clear();
        m_seen.clear();
        if (!findRow(m_root, entry.row, std::nullopt, path, 0)) return false;
    }
    std::vector<IndexEntry>& items = itemsOf(path, path.size() - 1);
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(path.back().at));
    rebuild(path, path.size() - 1, false);
    return true;
}

bool IndexTreeEditor::fits(const std::vector<IndexEntry>& items, bool leaf) const {
    const uint32_t limit = IndexPageLayout::of(m_format).maxEntryBytes();
    if (leaf)
        return IndexPage::storedSize(items, true, IndexPage::commonPrefix(items, true)) <= limit;
    // the rightmost child is the tail and takes no entry bytes
    uint32_t total = 0;
    for (size_t i = 0; i + 1 < items.size(); ++i)
        total += IndexPage::fullEntrySize(items[i], false);
    if (items.size() == 1) total = IndexPage::fullEntrySize(items[0], false);
    return total <= limit;
}

std::vector<std::vector<IndexEntry>> IndexTreeEditor::split(const IndexPage& page,
                                                            std::vector<IndexEntry>&& items,
                                                            bool appendAtEnd) const {
    std::vector<std::vector<IndexEntry>> groups;
    // growing at the right edge of the level: keep the page full, start a new one
    if (appendAtEnd && page.nextPage == 0 && items.size() >= 2) {
        IndexEntry last = std::move(items.back());
        items.pop_back();
        if (fits(items, page.leaf)) {
            groups.push_back(std::move(items));
            groups.push_back({std::move(last)});
            return groups;
        }
        items.push_back(std::move(last));
    }
    // Halve by stored size until every part fits; the parts are ranges of `items`, moved out
    // once they are final.
    using Range = std::pair<size_t, size_t>;
    std::vector<Range> pending{{0, items.size()}};
    std::vector<IndexEntry> part;
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        part.assign(std::make_move_iterator(items.begin() + std::ptrdiff_t(from)),
                    std::make_move_iterator(items.begin() + std::ptrdiff_t(to)));
        if (fits(part, page.leaf)) {
            groups.push_back(std::move(part));
            part = {};
            continue;
        }
        std::move(part.begin(), part.end(), items.begin() + std::ptrdiff_t(from));
        if (to - from < 2)
            throw Error(hr::kInvalidArg, "An index entry is too long for an index page.");
        uint32_t total = 0;
        for (size_t i = from; i < to; ++i)
            total += IndexPage::fullEntrySize(items[i], page.leaf);
        size_t k = from;
        uint32_t run = 0;
        while (k + 1 < to && run + IndexPage::fullEntrySize(items[k], page.leaf) <= total / 2)
            run += IndexPage::fullEntrySize(items[k++], page.leaf);
        k = std::clamp<size_t>(k, from + 1, to - 1);
        // the left part is taken first
        pending.push_back({k, to});
        pending.push_back({from, k});
    }
    return groups;
}

void IndexTreeEditor::store(IndexPage page, std::vector<IndexEntry>&& items) {
    page.setItems(std::move(items));
    const std::vector<uint8_t> bytes = page.serialize(m_format);
    m_sink.writePage(page.number, bytes);
    page.noteStored(bytes, m_format);
    // the next walk through this page needs it as written, not parsed again
    auto written = std::make_shared<const IndexPage>(std::move(page));
    if (ParsedIndexPages* kept = m_sink.parsedPages()) kept->keep(written->number, bytes, written);
    if (m_parsed.size() > kParsedPages) m_parsed.clear();
    m_parsed.insert_or_assign(written->number, std::move(written));
}

void IndexTreeEditor::setLink(uint32_t page, bool next, uint32_t value) {
    checkPage(page);
    std::vector<uint8_t> bytes = m_sink.readPage(page);
    const IndexPageLayout& layout = IndexPageLayout::of(m_format);
    if (bytes.size() != layout.pageSize ||
        (bytes[0] != kIndexLeafPage && bytes[0] != kIndexNodePage))
        throwCorrupt(pageName(page) + " is linked as a neighbour but is no index page");
    const uint32_t off = next ? layout.nextPage : layout.prevPage;
    for (int i = 0; i < 4; ++i)
        bytes[off + i] = static_cast<uint8_t>(value >> (8 * i));
    m_parsed.erase(page);
    m_sink.writePage(page, bytes);
}

void IndexTreeEditor::rebuild(Path& path, size_t level, bool lastIsNew) {
    std::vector<IndexEntry>& items = itemsOf(path, level);
    const IndexPage& page = *path[level].page;
    const bool isRoot = level == 0;
    if (items.empty()) {
        if (isRoot) {
            // an index with no entries is one empty leaf
            IndexPage p = headerOf(page);
            p.leaf = true;
            p.prevPage = p.nextPage = 0;
            store(p, {});
            return;
        }
        if (page.prevPage != 0) setLink(page.prevPage, true, page.nextPage);
        if (page.nextPage != 0) setLink(page.nextPage, false, page.prevPage);
        m_parsed.erase(page.number);
        m_sink.freePage(page.number);
        std::vector<IndexEntry>& parentItems = itemsOf(path, level - 1);
        parentItems.erase(parentItems.begin() + static_cast<std::ptrdiff_t>(path[level - 1].at));
        rebuild(path, level - 1, false);
        return;
    }

    std::vector<std::vector<IndexEntry>> groups;
    if (fits(items, page.leaf))
        groups.push_back(std::move(items));
    else
        groups = split(page, std::move(items), lastIsNew);

    std::vector<uint32_t> numbers{page.number};
    for (size_t g = 1; g < groups.size(); ++g)
        numbers.push_back(m_sink.allocatePage());
    const uint32_t oldNext = page.nextPage;
    std::vector<IndexEntry> separators;
    for (size_t g = 0; g < groups.size(); ++g) {
        IndexPage p;
        if (g == 0) {
            p = headerOf(page);
        } else {
            p.leaf = page.leaf;
            p.level = page.level;
            p.owner = m_owner;
            p.prevPage = numbers[g - 1];
        }
        p.number = numbers[g];
        p.nextPage = g + 1 < groups.size() ? numbers[g + 1] : oldNext;
        IndexEntry sep = groups[g].back();
        sep.child = numbers[g];
        store(p, std::move(groups[g]));
        separators.push_back(std::move(sep));
    }
    if (groups.size() > 1 && oldNext != 0) setLink(oldNext, false, numbers.back());

    if (isRoot) {
        if (groups.size() == 1) return;
        IndexPage root;
        root.number = m_sink.allocatePage();
        root.leaf = false;
        root.level = static_cast<uint8_t>(page.level + 1);
        root.owner = m_owner;
        store(root, std::move(separators));
        m_root = root.number;
        m_sink.rootMoved(m_root);
        return;
    }
    const size_t parentAt = path[level - 1].at;
    if (separators.size() == 1 && sameEntry(separators[0], itemOf(path, level - 1, parentAt)))
        return;
    std::vector<IndexEntry>& parentItems = itemsOf(path, level - 1);
    const bool parentLastNew =
        separators.size() > 1 && lastIsNew && parentAt + 1 == parentItems.size();
    parentItems.erase(parentItems.begin() + static_cast<std::ptrdiff_t>(parentAt));
    parentItems.insert(parentItems.begin() + static_cast<std::ptrdiff_t>(parentAt),
                       separators.begin(), separators.end());
    rebuild(path, level - 1, parentLastNew);
}

}  // namespace jet::index
