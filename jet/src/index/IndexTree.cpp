#include "index/IndexTree.h"

#include "base/ByteView.h"
#include "index/IndexPage.h"
#include "jet/Error.h"

namespace jet::index {
namespace {

constexpr size_t kMaxFindings = 20;

std::string pageName(uint32_t page) {
    return "index page " + std::to_string(page);
}

}  // namespace

IndexTree::IndexTree(Pager& pager, uint32_t rootPage, uint32_t owner)
    : m_pager(pager), m_root(rootPage), m_owner(owner) {}

std::vector<IndexEntry> IndexTree::readEntries() {
    m_seen.clear();
    m_pages.clear();
    m_leaves.clear();
    m_findings.clear();
    m_leafDepthKnown = false;
    std::vector<IndexEntry> out;
    visit(m_root, 0, out);
    checkLeafChain();
    return out;
}

void IndexTree::note(std::string line) {
    if (m_findings.size() < kMaxFindings) m_findings.push_back(std::move(line));
}

void IndexTree::visit(uint32_t page, unsigned depth, std::vector<IndexEntry>& out) {
    if (page == 0 || page >= m_pager.pageCount())
        throwCorrupt("an index refers to page " + std::to_string(page) +
                     ", which is not in the file");
    if (depth > kMaxDepth)
        throwCorrupt("an index is nested deeper than " + std::to_string(kMaxDepth) +
                     " levels at page " + std::to_string(page));
    if (!m_seen.insert(page).second)
        throwCorrupt(pageName(page) + " is reached twice in one index (a cycle)");
    m_pages.push_back(page);

    const PageRef ref = m_pager.page(page);
    const IndexPage p = IndexPage::parse(*ref, m_pager.format());
    const IndexPageLayout& layout = IndexPageLayout::of(m_pager.format());
    if (m_owner != 0 && p.owner != m_owner)
        note(pageName(page) + " names table page " + std::to_string(p.owner) + " as its owner");
    if (p.freeSpace != layout.pageSize - layout.entries - p.storedEntryBytes)
        note(pageName(page) + " records " + std::to_string(p.freeSpace) + " free bytes but has " +
             std::to_string(layout.pageSize - layout.entries - p.storedEntryBytes));

    if (p.leaf) {
        if (p.level != 0) note(pageName(page) + " is a leaf with a non-zero level byte");
        if (!m_leafDepthKnown) {
            m_leafDepth = depth;
            m_leafDepthKnown = true;
        } else if (depth != m_leafDepth) {
            note(pageName(page) + " is a leaf at a different depth from the others");
        }
        m_leaves.push_back({page, p.prevPage, p.nextPage});
        out.insert(out.end(), p.entries.begin(), p.entries.end());
        return;
    }

    if (p.entries.empty() && p.tailPage == 0) note(pageName(page) + " is a node with no children");
    for (const IndexEntry& e : p.entries) {
        const size_t before = out.size();
        visit(e.child, depth + 1, out);
        if (out.size() == before) {
            note(pageName(page) + " has an entry for page " + std::to_string(e.child) +
                 ", which holds no entries");
        } else if (out.back().key != e.key || !(out.back().row == e.row)) {
            note(pageName(page) + " has an entry for page " + std::to_string(e.child) +
                 " that is not the last entry below it");
        }
    }
    if (p.tailPage != 0) visit(p.tailPage, depth + 1, out);
}

// Access walks the leaves through their sibling links, so those must list the
// leaves in tree order.
void IndexTree::checkLeafChain() {
    for (size_t i = 0; i < m_leaves.size(); ++i) {
        const uint32_t wantPrev = i == 0 ? 0 : m_leaves[i - 1].page;
        const uint32_t wantNext = i + 1 == m_leaves.size() ? 0 : m_leaves[i + 1].page;
        if (m_leaves[i].prev != wantPrev)
            note(pageName(m_leaves[i].page) + " links back to page " +
                 std::to_string(m_leaves[i].prev) + " instead of " + std::to_string(wantPrev));
        if (m_leaves[i].next != wantNext)
            note(pageName(m_leaves[i].page) + " links on to page " +
                 std::to_string(m_leaves[i].next) + " instead of " + std::to_string(wantNext));
    }
}

}  // namespace jet::index
