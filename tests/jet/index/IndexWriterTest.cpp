#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>

#include "MemoryIndexSink.h"
#include "index/IndexBuilder.h"
#include "index/IndexPage.h"
#include "index/IndexTree.h"
#include "index/IndexTreeEditor.h"
#include "index/IndexWriter.h"
#include "jet/Error.h"
#include "page/Page.h"
#include "tdef/StoredTableDef.h"

using jet::ColumnType;
using jet::Format;
using jet::RowId;
using jet::StoredColumn;
using jet::StoredTableDef;
using jet::Value;
using jet::index::IndexEntry;
using jet::index::IndexPage;
using jet::index::IndexRowChange;
using jet::index::IndexTree;
using jet::index::IndexWriter;
using jettest::MemoryIndexSink;

namespace {

constexpr uint32_t kOwner = 0x30;
constexpr uint32_t kGeneral = 0x0409;

struct Col {
    const char* name;
    ColumnType type;
};

struct KeyCol {
    size_t column;
    bool ascending = true;
};

StoredTableDef makeTable(const std::vector<Col>& cols, const std::vector<KeyCol>& key,
                         uint8_t flags, jet::IndexKind kind = jet::IndexKind::Normal) {
    StoredTableDef t;
    t.name = "Things";
    t.tdefPage = kOwner;
    for (size_t i = 0; i < cols.size(); ++i) {
        StoredColumn c;
        c.name = cols[i].name;
        c.type = cols[i].type;
        c.id = static_cast<uint16_t>(i);
        if (c.type == ColumnType::Text) c.sortOrder = kGeneral;
        t.columns.push_back(c);
    }
    jet::StoredRealIndex real;
    for (const KeyCol& k : key)
        real.columns.push_back({static_cast<uint16_t>(k.column), k.ascending});
    real.flags = flags;
    t.realIndexes.push_back(real);
    jet::IndexDef logical;
    logical.name = kind == jet::IndexKind::Primary ? "PrimaryKey" : "ByKey";
    logical.kind = kind;
    t.indexes.push_back(logical);
    return t;
}

bool entryLess(const IndexEntry& a, const IndexEntry& b) {
    return compareEntries(a, b) < 0;
}

// Reads the whole index back through the engine's reader and checks it the way
// the integrity check does, plus what the reader leaves alone: node levels and
// node sibling links, and that every page is either in the tree or freed.
void verify(const MemoryIndexSink& sink, uint32_t root, std::vector<IndexEntry> expected,
            const std::string& when) {
    SCOPED_TRACE(when);
    std::sort(expected.begin(), expected.end(), entryLess);
    auto pager = sink.pager();
    IndexTree tree(*pager, root, kOwner);
    const std::vector<IndexEntry> got = tree.readEntries();
    ASSERT_TRUE(tree.findings().empty()) << tree.findings().front();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].key, expected[i].key) << "entry " << i;
        ASSERT_EQ(got[i].row, expected[i].row) << "entry " << i;
    }

    // levels: left to right, each linked to its neighbours, level byte = height
    std::vector<uint32_t> level{root};
    std::set<uint32_t> inTree;
    int height = -1;
    while (!level.empty()) {
        std::vector<uint32_t> below;
        std::vector<IndexPage> pages;
        for (uint32_t n : level) {
            inTree.insert(n);
            pages.push_back(IndexPage::parse(*pager->page(n), Format::Jet4));
        }
        const int myHeight = pages.front().level;
        if (height >= 0) {
            ASSERT_EQ(myHeight, height - 1);
        }
        height = myHeight;
        for (size_t i = 0; i < pages.size(); ++i) {
            const IndexPage& p = pages[i];
            ASSERT_EQ(p.level, myHeight);
            ASSERT_EQ(p.leaf, myHeight == 0);
            ASSERT_EQ(p.prevPage, i == 0 ? 0u : level[i - 1]) << "page " << p.number;
            ASSERT_EQ(p.nextPage, i + 1 == pages.size() ? 0u : level[i + 1]) << "page " << p.number;
            if (!p.leaf) {
                // a single child is an entry, more children end with the tail
                ASSERT_FALSE(p.entries.empty());
                ASSERT_TRUE((p.entries.size() == 1 && p.tailPage == 0) || p.tailPage != 0);
                for (const IndexEntry& e : p.entries)
                    below.push_back(e.child);
                if (p.tailPage) below.push_back(p.tailPage);
            } else if (p.number != root) {
                ASSERT_FALSE(p.entries.empty()) << "empty leaf " << p.number << " left in the tree";
            }
        }
        level = std::move(below);
    }
    for (uint32_t n = 1; n < sink.pageCount(); ++n)
        ASSERT_NE(inTree.count(n), sink.freePages().count(n))
            << "page " << n << " leaked or shared";
}

std::string randomText(std::mt19937& rng, size_t minLen, size_t maxLen) {
    static const char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-'";
    std::uniform_int_distribution<size_t> len(minLen, maxLen);
    std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
    std::string s(len(rng), 'a');
    for (char& c : s)
        c = letters[pick(rng)];
    return s;
}

// Drives one index through the writer as the write side will: prepare, apply,
// root changes reported through the sink.
class Harness {
public:
    explicit Harness(StoredTableDef table)
        : m_table(std::move(table)), m_writer(m_table, 0, Format::Jet4, kGeneral) {}

    IndexRowChange insert(const std::vector<Value>& row, RowId id) {
        IndexRowChange c = m_writer.prepare(sink, nullptr, {}, &row, id);
        m_writer.apply(sink, c);
        track(c);
        return c;
    }
    IndexRowChange remove(const std::vector<Value>& row, RowId id) {
        IndexRowChange c = m_writer.prepare(sink, &row, id, nullptr, {});
        m_writer.apply(sink, c);
        track(c);
        return c;
    }
    IndexRowChange update(const std::vector<Value>& oldRow, RowId oldId,
                          const std::vector<Value>& newRow, RowId newId) {
        IndexRowChange c = m_writer.prepare(sink, &oldRow, oldId, &newRow, newId);
        m_writer.apply(sink, c);
        track(c);
        return c;
    }
    void check(const std::string& when) {
        ASSERT_EQ(m_writer.rootPage(), sink.root);
        verify(sink, m_writer.rootPage(), expected, when);
    }
    uint8_t rootLevel() {
        return IndexPage::parse(*sink.pager()->page(m_writer.rootPage()), Format::Jet4).level;
    }

    MemoryIndexSink sink;
    std::vector<IndexEntry> expected;
    long uniqueCount = 0;
    IndexWriter& writer() { return m_writer; }

private:
    void track(const IndexRowChange& c) {
        if (c.remove) {
            auto it = std::find_if(expected.begin(), expected.end(), [&](const IndexEntry& e) {
                return e.key == c.remove->key && e.row == c.remove->row;
            });
            ASSERT_NE(it, expected.end());
            expected.erase(it);
        }
        if (c.insert) expected.push_back(*c.insert);
        uniqueCount += c.uniqueDelta;
    }

    StoredTableDef m_table;
    IndexWriter m_writer;
};

long distinctKeys(const std::vector<IndexEntry>& entries) {
    std::set<std::vector<uint8_t>> keys;
    for (const IndexEntry& e : entries)
        keys.insert(e.key);
    return static_cast<long>(keys.size());
}

RowId rowAt(size_t i) {
    return RowId{static_cast<uint32_t>(100 + i / 200), static_cast<uint8_t>(i % 200)};
}

}  // namespace

TEST(IndexWriter, RandomNumbersThenHalfDeletedReadBackAfterEveryStep) {
    Harness h(makeTable({{"N", ColumnType::Long}}, {{0}}, 0));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> value(-500000, 500000);
    std::vector<std::vector<Value>> rows;
    for (size_t i = 0; i < 3000; ++i) {
        rows.push_back({Value(value(rng))});
        h.insert(rows.back(), rowAt(i));
        if (i < 300 || i % 100 == 0) h.check("insert " + std::to_string(i));
        if (HasFatalFailure()) return;
    }
    h.check("after inserts");
    EXPECT_GE(h.rootLevel(), 1);
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t k = 0; k < order.size() / 2; ++k) {
        h.remove(rows[order[k]], rowAt(order[k]));
        if (k < 100 || k % 50 == 0) h.check("delete " + std::to_string(k));
        if (HasFatalFailure()) return;
    }
    h.check("after deletes");
    EXPECT_EQ(h.expected.size(), 1500u);
    EXPECT_EQ(h.uniqueCount, distinctKeys(h.expected));
}

TEST(IndexWriter, TextAndDescendingMultiColumnKeysSplitEveryLevel) {
    // long texts make few entries per page, so three levels of nodes grow
    Harness h(makeTable({{"Name", ColumnType::Text}, {"N", ColumnType::Long}},
                        {{0, true}, {1, false}}, 0));
    std::mt19937 rng(11);
    std::uniform_int_distribution<int32_t> small(0, 3);
    std::vector<std::vector<Value>> rows;
    int lastLevel = 0;
    for (size_t i = 0; i < 2000; ++i) {
        // a few repeated names, so equal keys run across pages
        const std::string name = i % 7 == 0 ? "same name" : randomText(rng, 220, 255);
        rows.push_back({Value(name), Value(small(rng))});
        h.insert(rows.back(), rowAt(i));
        const int level = h.rootLevel();
        // check every step while the tree is small, and at each new root
        if (i < 120 || level != lastLevel || i % 60 == 0) h.check("insert " + std::to_string(i));
        lastLevel = level;
        if (HasFatalFailure()) return;
    }
    h.check("after inserts");
    EXPECT_GE(h.rootLevel(), 3) << "not every level split";
    EXPECT_EQ(h.uniqueCount, distinctKeys(h.expected));

    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t k = 0; k < order.size(); ++k) {
        h.remove(rows[order[k]], rowAt(order[k]));
        if (k % 60 == 0 || k + 3 > order.size()) h.check("delete " + std::to_string(k));
        if (HasFatalFailure()) return;
        if (k + 1 == order.size() / 2) {
            h.check("half deleted");
            EXPECT_EQ(h.uniqueCount, distinctKeys(h.expected));
        }
    }
    // nothing left: one empty leaf, every other page handed back
    EXPECT_EQ(h.rootLevel(), 0);
    EXPECT_EQ(h.sink.freePages().size(), h.sink.pageCount() - 2);
    EXPECT_EQ(h.uniqueCount, 0);
}

TEST(IndexWriter, SequentialLoadFillsPages) {
    Harness h(makeTable({{"ID", ColumnType::Long}}, {{0}}, jet::indexflag::kUnique));
    for (int32_t i = 1; i <= 3000; ++i)
        h.insert({Value(i)}, rowAt(static_cast<size_t>(i)));
    h.check("sequential");
    // entries of 9 bytes (prefix-shared) on 3616-byte pages: pages stay nearly full
    auto pager = h.sink.pager();
    IndexTree tree(*pager, h.writer().rootPage(), kOwner);
    tree.readEntries();
    size_t leaves = 0;
    for (uint32_t n : tree.pages())
        if (IndexPage::parse(*pager->page(n), Format::Jet4).leaf) ++leaves;
    const size_t perPage = 3616 / 6;  // at least 6 bytes each after the shared prefix
    EXPECT_LE(leaves, 3000 / perPage + 2);
}

TEST(IndexWriter, RefusalsLeaveEveryPageAsItWas) {
    using namespace jet::indexflag;
    Harness h(makeTable({{"ID", ColumnType::Long}, {"Name", ColumnType::Text}}, {{0}, {1}},
                        kUnique | kRequired, jet::IndexKind::Primary));
    for (int32_t i = 0; i < 800; ++i)
        h.insert({Value(i), Value("name " + std::to_string(i))}, rowAt(static_cast<size_t>(i)));
    const auto before = h.sink.pages();
    const int writes = h.sink.writes;
    const int allocations = h.sink.allocations;

    auto refused = [&](const std::vector<Value>* oldRow, RowId oldId, const std::vector<Value>* row,
                       RowId id, uint32_t code, const std::string& words) {
        try {
            h.writer().prepare(h.sink, oldRow, oldId, row, id);
            ADD_FAILURE() << "accepted: " << words;
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.code(), code) << e.what();
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    };
    // case does not make a text key different
    const std::vector<Value> dup{Value(int32_t(17)), Value(std::string("NAME 17"))};
    refused(nullptr, {}, &dup, rowAt(900), jet::index::kIntegrityViolation,
            "index \"PrimaryKey\" of table \"Things\", which allows each value only once: ID = "
            "17, Name = \"NAME 17\" is already present");
    const std::vector<Value> nullName{Value(int32_t(5000)), Value()};
    refused(nullptr, {}, &nullName, rowAt(901), jet::index::kIntegrityViolation,
            "Column \"Name\" is part of the primary key \"PrimaryKey\"");
    // an update onto another row's key, but not onto its own
    const std::vector<Value> row3{Value(int32_t(3)), Value(std::string("name 3"))};
    const std::vector<Value> row4{Value(int32_t(4)), Value(std::string("name 4"))};
    refused(&row3, rowAt(3), &row4, rowAt(3), jet::index::kIntegrityViolation, "ID = 4");
    EXPECT_TRUE(h.writer().prepare(h.sink, &row3, rowAt(3), &row3, rowAt(3)).empty());

    EXPECT_EQ(h.sink.pages(), before);
    EXPECT_EQ(h.sink.writes, writes);
    EXPECT_EQ(h.sink.allocations, allocations);
    h.check("after refusals");
}

TEST(IndexWriter, NullRulesAndUpdates) {
    using namespace jet::indexflag;
    Harness ignoring(makeTable({{"A", ColumnType::Long}, {"B", ColumnType::Text}}, {{0}, {1}},
                               kUnique | kIgnoreNulls));
    const std::vector<Value> allNull{Value(), Value()};
    EXPECT_TRUE(ignoring.insert(allNull, rowAt(1)).empty());
    EXPECT_TRUE(ignoring.insert(allNull, rowAt(2)).empty());
    const std::vector<Value> half{Value(int32_t(1)), Value()};
    EXPECT_FALSE(ignoring.insert(half, rowAt(3)).empty());
    EXPECT_THROW(ignoring.insert(half, rowAt(4)), jet::Error);  // partly null still duplicates
    // a row gaining its first value gains its entry, losing it drops the entry
    const std::vector<Value> named{Value(), Value(std::string("x"))};
    IndexRowChange c = ignoring.update(allNull, rowAt(1), named, rowAt(1));
    EXPECT_TRUE(c.insert && !c.remove);
    c = ignoring.update(named, rowAt(1), allNull, rowAt(1));
    EXPECT_TRUE(c.remove && !c.insert);
    ignoring.check("ignore nulls");
    EXPECT_EQ(ignoring.expected.size(), 1u);

    // unique without ignore-nulls: all-null keys are listed, any number of times
    Harness listing(makeTable({{"A", ColumnType::Long}}, {{0}}, kUnique));
    listing.insert({Value()}, rowAt(1));
    listing.insert({Value()}, rowAt(2));
    listing.insert({Value(int32_t(9))}, rowAt(3));
    // a moved row keeps its key; a changed key moves the entry
    listing.update({Value(int32_t(9))}, rowAt(3), {Value(int32_t(9))}, rowAt(40));
    listing.update({Value()}, rowAt(1), {Value(int32_t(-4))}, rowAt(1));
    listing.check("unique with nulls");
    ASSERT_EQ(listing.expected.size(), 3u);
    EXPECT_EQ(listing.uniqueCount, 3);

    Harness required(
        makeTable({{"A", ColumnType::Long}, {"B", ColumnType::Long}}, {{0}, {1}}, kRequired));
    EXPECT_THROW(required.insert({Value(int32_t(1)), Value()}, rowAt(1)), jet::Error);
    required.insert({Value(int32_t(1)), Value(int32_t(1))}, rowAt(1));
    required.insert({Value(int32_t(1)), Value(int32_t(1))}, rowAt(2));  // not unique: fine
    required.check("required");
}

TEST(IndexWriter, KeysThatCannotBeBuiltAreRefusedWithTheReason) {
    StoredTableDef t = makeTable({{"Name", ColumnType::Text}}, {{0}}, 0);
    t.columns[0].sortOrder = 2052;  // a sort order with no measured table here
    IndexWriter writer(t, 0, Format::Jet4, kGeneral);
    MemoryIndexSink sink;
    const std::vector<Value> row{Value(std::string("a"))};
    try {
        writer.prepare(sink, nullptr, {}, &row, rowAt(1));
        FAIL() << "accepted";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::hr::kNotSupported);
        EXPECT_NE(std::string(e.what()).find("LCID 2052"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("index \"ByKey\""), std::string::npos) << e.what();
    }
    EXPECT_EQ(sink.pageCount(), 1u);
    EXPECT_EQ(sink.writes, 0);

    // three long texts of two-byte weights make a key no page split could hold
    StoredTableDef wide =
        makeTable({{"A", ColumnType::Text}, {"B", ColumnType::Text}, {"C", ColumnType::Text}},
                  {{0}, {1}, {2}}, 0);
    IndexWriter wideWriter(wide, 0, Format::Jet4, kGeneral);
    const std::string tildes(255, '~');
    const std::vector<Value> big{Value(tildes), Value(tildes), Value(tildes)};
    try {
        wideWriter.prepare(sink, nullptr, {}, &big, rowAt(1));
        FAIL() << "accepted";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::hr::kInvalidArg);
        EXPECT_NE(std::string(e.what()).find("fit on an index page"), std::string::npos)
            << e.what();
    }
    const std::vector<Value> fits{Value(tildes), Value(tildes), Value()};
    EXPECT_TRUE(wideWriter.prepare(sink, nullptr, {}, &fits, rowAt(1)).insert);

    // Access 97 keys are built too (General 97 text): such files take record changes.
    StoredTableDef jet3 = makeTable({{"N", ColumnType::Long}}, {{0}}, 0);
    IndexWriter old(jet3, 0, Format::Jet3, kGeneral);
    const std::vector<Value> n{Value(int32_t(1))};
    EXPECT_TRUE(old.prepare(sink, nullptr, {}, &n, rowAt(1)).insert);
}

TEST(IndexWriter, EmptyLeafRootAndDamagedPages) {
    // an existing empty index: one leaf with no entries, as Access makes it
    StoredTableDef t = makeTable({{"N", ColumnType::Long}}, {{0}}, 0);
    MemoryIndexSink sink;
    IndexPage empty;
    empty.owner = kOwner;
    sink.setPage(1, empty.serialize(Format::Jet4));
    t.realIndexes[0].firstPage = 1;
    sink.root = 1;
    IndexWriter writer(t, 0, Format::Jet4, kGeneral);
    const std::vector<Value> row{Value(int32_t(1))};
    writer.apply(sink, writer.prepare(sink, nullptr, {}, &row, rowAt(1)));
    EXPECT_EQ(writer.rootPage(), 1u);
    EXPECT_EQ(sink.rootMoves, 0);
    verify(sink, 1, {IndexEntry{{0x7F, 0x80, 0, 0, 1}, rowAt(1), 0}}, "first entry");

    // a node naming a page that is no index page: refused in the first phase
    IndexPage node;
    node.leaf = false;
    node.level = 1;
    node.owner = kOwner;
    node.entries = {IndexEntry{{0x7F, 0x80, 0, 0, 9}, rowAt(1), 2}};
    sink.setPage(1, node.serialize(Format::Jet4));
    sink.setPage(2, std::vector<uint8_t>(MemoryIndexSink::kPageSize, 0));
    const auto before = sink.pages();
    try {
        writer.prepare(sink, nullptr, {}, &row, rowAt(2));
        FAIL() << "accepted";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::hr::kCorrupt) << e.what();
    }
    // a node pointing at itself
    node.entries[0].child = 1;
    sink.setPage(1, node.serialize(Format::Jet4));
    EXPECT_THROW(writer.prepare(sink, nullptr, {}, &row, rowAt(2)), jet::Error);
    EXPECT_EQ(sink.writes, 1);
}

TEST(IndexWriter, RemovesAnEntryWrittenWithAnotherKeyForm) {
    // a key the encoder would not build (another program's), found by its row
    Harness h(makeTable({{"N", ColumnType::Long}}, {{0}}, 0));
    for (int32_t i = 0; i < 1500; ++i)
        h.insert({Value(i)}, rowAt(static_cast<size_t>(i)));
    const uint32_t root = h.writer().rootPage();
    jet::index::IndexTreeEditor editor(h.sink, Format::Jet4, kOwner, root);
    const IndexEntry odd{{0x7F, 0x80, 0x00, 0x01, 0x00, 0x05}, rowAt(5000), 0};
    editor.insert(odd);
    ASSERT_EQ(editor.root(), root);
    const std::vector<Value> row{Value(int32_t(12345))};
    IndexRowChange c = h.writer().prepare(h.sink, &row, rowAt(5000), nullptr, {});
    ASSERT_TRUE(c.remove);
    h.writer().apply(h.sink, c);
    h.check("after removing by row");
    // and a row the index never listed takes nothing out
    c = h.writer().prepare(h.sink, &row, rowAt(6000), nullptr, {});
    EXPECT_TRUE(c.empty());
}

// The bottom-up builder against the same entries loaded one by one: the same
// sound tree (every level linked, nodes over their children), pages as full as
// a load in key order leaves them, old pages taken again and the rest freed.
TEST(IndexBuilder, BuildsTheTreeAKeyOrderLoadWouldLeave) {
    std::mt19937 rng(7);
    for (size_t count : {size_t(0), size_t(1), size_t(40), size_t(3000), size_t(9000)}) {
        SCOPED_TRACE(count);
        Harness loaded(
            makeTable({{"Name", ColumnType::Text}, {"N", ColumnType::Long}}, {{0}, {1, false}}, 0));
        std::vector<std::vector<Value>> rows;
        for (size_t i = 0; i < count; ++i)
            rows.push_back({Value(i % 5 == 0 ? std::string("same prefix shared by many ") +
                                                   std::to_string(i % 37)
                                             : randomText(rng, 1, 60)),
                            Value(int32_t(i % 11))});
        // One by one in key order: the editor's growing edge fills its pages.
        std::vector<std::pair<IndexEntry, size_t>> order;
        for (size_t i = 0; i < count; ++i)
            order.push_back({*loaded.writer().entryFor(rows[i], rowAt(i)), i});
        std::sort(order.begin(), order.end(),
                  [](const auto& a, const auto& b) { return entryLess(a.first, b.first); });
        for (const auto& [entry, i] : order)
            loaded.insert(rows[i], rowAt(i));

        std::vector<IndexEntry> sorted;
        for (const auto& [entry, i] : order)
            sorted.push_back(entry);
        MemoryIndexSink sink;
        // pages of a tree being replaced: some reused, the rest freed
        std::vector<uint32_t> old;
        for (int k = 0; k < 5; ++k)
            old.push_back(sink.allocatePage());
        const uint32_t root =
            jet::index::IndexBuilder(sink, Format::Jet4, kOwner).build(sorted, old);
        verify(sink, root, sorted, "built");

        auto pagesOf = [](const MemoryIndexSink& s, uint32_t r) {
            auto pager = s.pager();
            IndexTree tree(*pager, r, kOwner);
            tree.readEntries();
            return tree.pages().size();
        };
        if (count == 0) {
            EXPECT_EQ(root, old.front());
            EXPECT_EQ(sink.freePages().size(), 4u);
        } else {
            EXPECT_LE(pagesOf(sink, root), pagesOf(loaded.sink, loaded.writer().rootPage()));
        }
    }
}

TEST(IndexBuilder, RefusesEntriesOutOfOrderOrTwice) {
    MemoryIndexSink sink;
    IndexEntry a{{0x7F, 0x80, 0, 0, 1}, RowId{5, 1}};
    IndexEntry b{{0x7F, 0x80, 0, 0, 2}, RowId{5, 2}};
    jet::index::IndexBuilder builder(sink, Format::Jet4, kOwner);
    EXPECT_THROW(builder.build({b, a}, {}), jet::Error);
    EXPECT_THROW(builder.build({a, a}, {}), jet::Error);
    EXPECT_EQ(sink.writes, 0);
}

// The sort the bulk path uses gives compareEntries order: keys that share long prefixes, keys
// that are prefixes of others (within and past the eight bytes it sorts by first), keys that
// end in zero bytes, and equal keys told apart by their rows.
TEST(IndexBuilder, SortsEntriesIntoIndexOrder) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const size_t shared = size_t(rng() % 12);
        std::vector<IndexEntry> entries;
        for (int i = 0; i < 300; ++i) {
            IndexEntry e;
            e.key.assign(shared, 0x41);
            const size_t extra = rng() % 14;
            for (size_t k = 0; k < extra; ++k)
                e.key.push_back(uint8_t(rng() % 3));  // few values: many prefixes and ties
            e.row = RowId{uint32_t(rng() % 4 + 3), uint8_t(rng() % 3)};
            entries.push_back(e);
        }
        std::sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
            return compareEntries(a, b) < 0;
        });
        entries.erase(std::unique(entries.begin(), entries.end(),
                                  [](const IndexEntry& a, const IndexEntry& b) {
                                      return compareEntries(a, b) == 0;
                                  }),
                      entries.end());
        std::vector<IndexEntry> shuffled = entries;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        jet::index::IndexBuilder::sortEntries(shuffled);
        ASSERT_EQ(shuffled.size(), entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(shuffled[i].key, entries[i].key) << i;
            EXPECT_TRUE(shuffled[i].row == entries[i].row) << i;
        }
    }
}
