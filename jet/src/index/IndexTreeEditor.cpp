#include "index/IndexTreeEditor.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "index/IndexTree.h"
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

}  // namespace

IndexTreeEditor::IndexTreeEditor(IndexPageSink& sink, Format format, uint32_t owner, uint32_t root)
    : m_sink(sink), m_format(format), m_owner(owner), m_root(root) {}

uint32_t IndexTreeEditor::maxKeyBytes(Format format) {
    return IndexPageLayout::of(format).maxEntryBytes() / 3 - kRowPointerSize - kChildPointerSize;
}

const IndexPage& IndexTreeEditor::load(uint32_t page) {
    checkPage(page);
    // Each walk goes through the same few pages again; parsing them is most of its cost.
    if (auto it = m_parsed.find(page); it != m_parsed.end()) return it->second;
    std::vector<uint8_t> bytes = m_sink.readPage(page);
    if (bytes.size() != IndexPageLayout::of(m_format).pageSize)
        throwCorrupt(pageName(page) + " has the wrong size");
    IndexPage parsed = IndexPage::parse(Page(page, std::move(bytes)), m_format);
    // a reference handed out before stays valid only until the next load
    if (m_parsed.size() > kParsedPages) m_parsed.clear();
    return m_parsed.emplace(page, std::move(parsed)).first->second;
}

bool IndexTreeEditor::isEmpty() {
    if (m_root == 0) return true;
    const IndexPage& p = load(m_root);
    return p.leaf && p.entries.empty();
}

void IndexTreeEditor::checkPage(uint32_t page) const {
    if (page == 0) throwCorrupt("an index refers to page 0");
}

// A node's tail child carries no key of its own: it ends where the node ends,
// which the parent's entry says (or, at the root, the rightmost leaf).
IndexTreeEditor::Frame IndexTreeEditor::frameOf(IndexPage page,
                                                const std::optional<IndexEntry>& bound) {
    Frame f;
    f.items = page.entries;
    if (!page.leaf && page.tailPage != 0) {
        IndexEntry tail = bound ? *bound : lastEntryBelow(page.tailPage);
        tail.child = page.tailPage;
        f.items.push_back(std::move(tail));
    }
    if (!page.leaf && f.items.empty())
        throwCorrupt(pageName(page.number) + " is a node with no children");
    f.page = std::move(page);
    return f;
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
    std::optional<IndexEntry> bound;
    for (;;) {
        if (path.size() > IndexTree::kMaxDepth)
            throwCorrupt("an index is nested deeper than " + std::to_string(IndexTree::kMaxDepth) +
                         " levels");
        if (!seen.insert(page).second)
            throwCorrupt(pageName(page) + " is reached twice in one index (a cycle)");
        Frame f = frameOf(load(page), bound);
        if (f.page.leaf) {
            path.push_back(std::move(f));
            return path;
        }
        size_t at = f.items.size() - 1;
        for (size_t i = 0; i < f.items.size(); ++i) {
            const auto c = keyOnly ? IndexEntry::compareKeys(f.items[i].key, target.key)
                                   : compareEntries(f.items[i], target);
            if (c >= 0) {
                at = i;
                break;
            }
        }
        f.at = at;
        bound = f.items[at];
        bound->child = 0;
        page = f.items[at].child;
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
        const auto it = std::find_if(p.entries.begin(), p.entries.end(), [&](const IndexEntry& e) {
            return IndexEntry::compareKeys(e.key, key) >= 0;
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
    Frame f = frameOf(load(page), bound);
    if (f.page.leaf) {
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
    for (const IndexEntry& e : path.back().items)
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
    std::vector<IndexEntry>& items = path.back().items;
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
    for (size_t i = 0; i < leaf.items.size(); ++i) {
        if (leaf.items[i].key == entry.key && leaf.items[i].row == entry.row) {
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
    Frame& holder = path.back();
    holder.items.erase(holder.items.begin() + static_cast<std::ptrdiff_t>(holder.at));
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
                                                            const std::vector<IndexEntry>& items,
                                                            bool appendAtEnd) const {
    std::vector<std::vector<IndexEntry>> groups;
    // growing at the right edge of the level: keep the page full, start a new one
    if (appendAtEnd && page.nextPage == 0 && items.size() >= 2) {
        std::vector<IndexEntry> head(items.begin(), items.end() - 1);
        if (fits(head, page.leaf)) {
            groups.push_back(std::move(head));
            groups.push_back({items.back()});
            return groups;
        }
    }
    std::vector<std::vector<IndexEntry>> pending{items};
    while (!pending.empty()) {
        std::vector<IndexEntry> part = std::move(pending.front());
        pending.erase(pending.begin());
        if (fits(part, page.leaf)) {
            groups.push_back(std::move(part));
            continue;
        }
        if (part.size() < 2)
            throw Error(hr::kInvalidArg, "An index entry is too long for an index page.");
        uint32_t total = 0;
        for (const IndexEntry& e : part)
            total += IndexPage::fullEntrySize(e, page.leaf);
        size_t k = 0;
        uint32_t run = 0;
        while (k + 1 < part.size() &&
               run + IndexPage::fullEntrySize(part[k], page.leaf) <= total / 2)
            run += IndexPage::fullEntrySize(part[k++], page.leaf);
        k = std::clamp<size_t>(k, 1, part.size() - 1);
        std::vector<IndexEntry> left(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(k));
        std::vector<IndexEntry> right(part.begin() + static_cast<std::ptrdiff_t>(k), part.end());
        pending.insert(pending.begin(), std::move(right));
        pending.insert(pending.begin(), std::move(left));
    }
    return groups;
}

void IndexTreeEditor::store(IndexPage page, const std::vector<IndexEntry>& items) {
    page.setItems(items);
    const std::vector<uint8_t> bytes = page.serialize(m_format);
    m_sink.writePage(page.number, bytes);
    // the next walk through this page needs it as written, not parsed again
    if (m_parsed.size() > kParsedPages) m_parsed.clear();
    m_parsed.insert_or_assign(page.number, std::move(page));
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
    Frame& f = path[level];
    const bool isRoot = level == 0;
    if (f.items.empty()) {
        if (isRoot) {
            // an index with no entries is one empty leaf
            IndexPage p = f.page;
            p.leaf = true;
            p.prevPage = p.nextPage = 0;
            store(p, {});
            return;
        }
        if (f.page.prevPage != 0) setLink(f.page.prevPage, true, f.page.nextPage);
        if (f.page.nextPage != 0) setLink(f.page.nextPage, false, f.page.prevPage);
        m_parsed.erase(f.page.number);
        m_sink.freePage(f.page.number);
        Frame& parent = path[level - 1];
        parent.items.erase(parent.items.begin() + static_cast<std::ptrdiff_t>(parent.at));
        rebuild(path, level - 1, false);
        return;
    }

    std::vector<std::vector<IndexEntry>> groups;
    if (fits(f.items, f.page.leaf))
        groups.push_back(f.items);
    else
        groups = split(f.page, f.items, lastIsNew);

    std::vector<uint32_t> numbers{f.page.number};
    for (size_t g = 1; g < groups.size(); ++g)
        numbers.push_back(m_sink.allocatePage());
    const uint32_t oldNext = f.page.nextPage;
    std::vector<IndexEntry> separators;
    for (size_t g = 0; g < groups.size(); ++g) {
        IndexPage p;
        if (g == 0) {
            p = f.page;
        } else {
            p.leaf = f.page.leaf;
            p.level = f.page.level;
            p.owner = m_owner;
            p.prevPage = numbers[g - 1];
        }
        p.number = numbers[g];
        p.nextPage = g + 1 < groups.size() ? numbers[g + 1] : oldNext;
        store(p, groups[g]);
        IndexEntry sep = groups[g].back();
        sep.child = numbers[g];
        separators.push_back(std::move(sep));
    }
    if (groups.size() > 1 && oldNext != 0) setLink(oldNext, false, numbers.back());

    if (isRoot) {
        if (groups.size() == 1) return;
        IndexPage root;
        root.number = m_sink.allocatePage();
        root.leaf = false;
        root.level = static_cast<uint8_t>(f.page.level + 1);
        root.owner = m_owner;
        store(root, separators);
        m_root = root.number;
        m_sink.rootMoved(m_root);
        return;
    }
    Frame& parent = path[level - 1];
    if (separators.size() == 1 && sameEntry(separators[0], parent.items[parent.at])) return;
    const bool parentLastNew =
        separators.size() > 1 && lastIsNew && parent.at + 1 == parent.items.size();
    parent.items.erase(parent.items.begin() + static_cast<std::ptrdiff_t>(parent.at));
    parent.items.insert(parent.items.begin() + static_cast<std::ptrdiff_t>(parent.at),
                        separators.begin(), separators.end());
    rebuild(path, level - 1, parentLastNew);
}

}  // namespace jet::index
