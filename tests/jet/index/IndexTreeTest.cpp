#include <gtest/gtest.h>

#include <memory>

#include "PageImageFile.h"
#include "index/IndexPage.h"
#include "index/IndexTree.h"
#include "jet/Error.h"
#include "page/Pager.h"

using jet::Format;
using jet::RowId;
using jet::index::IndexEntry;
using jet::index::IndexPage;
using jet::index::IndexTree;

namespace {

constexpr uint32_t kOwner = 0x40;

IndexEntry entry(uint8_t k, uint8_t row, uint32_t child = 0) {
    IndexEntry e;
    e.key = {0x7F, 0x80, 0x00, 0x00, k};
    e.row = RowId{0x50, row};
    e.child = child;
    return e;
}

// A three-leaf tree: root node 2 over leaves 3, 4 and (as its tail) 5.
class IndexTreeTest : public ::testing::Test {
protected:
    static constexpr size_t kPages = 40;

    void SetUp() override {
        m_file = new jettest::PageImageFile(4096, kPages);
        m_leaves[0] = leaf({entry(1, 1), entry(2, 2)}, 0, 4);
        m_leaves[1] = leaf({entry(3, 3), entry(4, 4)}, 3, 5);
        m_leaves[2] = leaf({entry(5, 5)}, 4, 0);
        m_root.leaf = false;
        m_root.level = 1;
        m_root.owner = kOwner;
        m_root.entries = {entry(2, 2, 3), entry(4, 4, 4)};
        m_root.tailPage = 5;
        store();
    }

    static IndexPage leaf(std::vector<IndexEntry> entries, uint32_t prev, uint32_t next) {
        IndexPage p;
        p.owner = kOwner;
        p.entries = std::move(entries);
        p.prevPage = prev;
        p.nextPage = next;
        return p;
    }

    void store() {
        m_file->setPage(2, m_root.serialize(Format::Jet4));
        for (int i = 0; i < 3; ++i)
            m_file->setPage(3 + i, m_leaves[i].serialize(Format::Jet4));
    }

    std::vector<IndexEntry> read(IndexTree& tree) { return tree.readEntries(); }

    std::unique_ptr<jet::Pager> pager() {
        return std::make_unique<jet::Pager>(std::unique_ptr<jet::FileIO>(m_file), Format::Jet4, 0);
    }

    void expectCorrupt(const std::string& words) {
        auto p = pager();
        IndexTree tree(*p, 2, kOwner);
        try {
            tree.readEntries();
            ADD_FAILURE() << "damaged tree was read";
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.code(), jet::hr::kCorrupt);
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    }

    jettest::PageImageFile* m_file = nullptr;  // owned by the pager once made
    IndexPage m_root;
    IndexPage m_leaves[3];
};

}  // namespace

TEST_F(IndexTreeTest, ReadsLeavesInTreeOrder) {
    auto p = pager();
    IndexTree tree(*p, 2, kOwner);
    const std::vector<IndexEntry> entries = tree.readEntries();
    ASSERT_EQ(entries.size(), 5u);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].row.row, i + 1);
    EXPECT_TRUE(tree.findings().empty()) << tree.findings().front();
    EXPECT_EQ(tree.pages(), (std::vector<uint32_t>{2, 3, 4, 5}));
}

TEST_F(IndexTreeTest, ARootLeafIsAWholeIndex) {
    m_leaves[0].prevPage = m_leaves[0].nextPage = 0;
    store();
    auto p = pager();
    IndexTree tree(*p, 3, kOwner);
    EXPECT_EQ(tree.readEntries().size(), 2u);
    EXPECT_TRUE(tree.findings().empty());
}

TEST_F(IndexTreeTest, CyclesAndBadPageNumbersStopTheRead) {
    m_root.tailPage = 2;  // the root is its own child
    store();
    expectCorrupt("reached twice");
}

TEST_F(IndexTreeTest, ChildPastTheEndOfTheFile) {
    m_root.entries[1].child = 5000;
    store();
    expectCorrupt("not in the file");
}

TEST_F(IndexTreeTest, ChildThatIsNoIndexPage) {
    m_root.entries[0].child = 8;  // an all-zero page
    store();
    expectCorrupt("is not an index page");
}

TEST_F(IndexTreeTest, DeepChainsAreCutOff) {
    // every node points one page further down: deeper than any real tree
    for (uint32_t page = 2; page < 39; ++page) {
        IndexPage node;
        node.leaf = false;
        node.owner = kOwner;
        node.entries = {entry(1, 1, page + 1)};
        m_file->setPage(page, node.serialize(Format::Jet4));
    }
    IndexPage node;
    node.leaf = false;
    node.entries = {entry(1, 1, 2)};  // back to the top
    m_file->setPage(39, node.serialize(Format::Jet4));
    expectCorrupt("deeper than");
}

TEST_F(IndexTreeTest, BrokenLinksAndSeparatorsAreReported) {
    m_leaves[1].nextPage = 0;  // Access would stop after the second leaf
    m_root.entries[0].key = {0x7F, 0x80, 0x00, 0x00, 9};
    m_leaves[2].owner = 0x41;
    store();
    auto p = pager();
    IndexTree tree(*p, 2, kOwner);
    EXPECT_EQ(tree.readEntries().size(), 5u);
    const auto& f = tree.findings();
    ASSERT_EQ(f.size(), 3u);
    EXPECT_NE(f[0].find("not the last entry below it"), std::string::npos) << f[0];
    EXPECT_NE(f[1].find("names table page 65"), std::string::npos) << f[1];
    EXPECT_NE(f[2].find("links on to page 0 instead of 5"), std::string::npos) << f[2];
}

TEST_F(IndexTreeTest, StaleFreeSpaceIsReported) {
    std::vector<uint8_t> bytes = m_leaves[2].serialize(Format::Jet4);
    bytes[2] ^= 0x01;
    m_file->setPage(5, bytes);
    auto p = pager();
    IndexTree tree(*p, 2, kOwner);
    tree.readEntries();
    ASSERT_EQ(tree.findings().size(), 1u);
    EXPECT_NE(tree.findings()[0].find("free bytes"), std::string::npos);
}
