#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "Jet4ImageBuilder.h"
#include "StoredTable.h"
#include "TestSupport.h"
#include "check/IndexChecker.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexPage.h"
#include "tdef/StoredTableDef.h"

using jet::ColumnType;
using jet::index::IndexEntry;
using jet::index::IndexKeyEncoder;
using jet::index::IndexPage;
using jettest::Jet4ImageBuilder;
using B = Jet4ImageBuilder;

namespace {

bool anyContains(const std::vector<std::string>& lines, const std::string& words) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(words) != std::string::npos; });
}

// A database built byte by byte: a table with a unique index on Id and an
// ignore-nulls index on (Name descending, Id); the builder leaves both indexes
// empty, and the test fills them from the rows with this program's own keys.
class IndexCheckBuilt : public ::testing::Test {
protected:
    void SetUp() override {
        B b;
        B::Index byId{"ById", {{0, true}}, jet::indexflag::kUnique};
        B::Index byName{"ByName", {{1, false}, {0, true}}, jet::indexflag::kIgnoreNulls};
        const int t = b.addTable(
            "People", {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, false, 100, 0, 0x01}},
            {byId, byName});
        const char16_t* names[] = {u"Zoë",    u"adam",    u"Ádám", nullptr,
                                   u"Straße", u"O'Brien", u"adam"};
        int id = 10;
        for (const char16_t* n : names)
            b.addRow(t, {B::i32(id--), n ? B::utf16(n) : B::null()});
        b.addRow(t, {B::null(), B::null()});  // all key columns null
        m_image = b.build();
    }

    // Writes each index as one root leaf holding the given rows' keys.
    void fillIndexes(bool skipNullRows = true) {
        auto db = jettest::openImage(m_image);
        const jet::StoredTableData data = jettest::readStored(*db, "People");
        for (const jet::StoredRealIndex& ri : data.def.realIndexes) {
            const IndexKeyEncoder enc(data.def, ri, db->format(), db->sortOrder());
            ASSERT_TRUE(enc.canEncode()) << enc.cannotEncodeReason();
            IndexPage leaf;
            leaf.owner = data.def.tdefPage;
            for (size_t r = 0; r < data.rows.size(); ++r) {
                if (skipNullRows && ri.ignoresNulls() && enc.allNull(data.rows[r])) continue;
                leaf.entries.push_back({enc.encode(data.rows[r]), data.rowIds[r], 0});
            }
            std::sort(
                leaf.entries.begin(), leaf.entries.end(),
                [](const IndexEntry& a, const IndexEntry& b) { return compareEntries(a, b) < 0; });
            m_entries.push_back(leaf.entries);
            const std::vector<uint8_t> bytes = leaf.serialize(jet::Format::Jet4);
            std::copy(bytes.begin(), bytes.end(), m_image.begin() + ri.firstPage * B::kPageSize);
            m_roots.push_back(ri.firstPage);
        }
    }

    void writeLeaf(size_t index, std::vector<IndexEntry> entries) {
        IndexPage leaf;
        leaf.owner = jettest::openImage(m_image)->tableDef("People").tdefPage;
        leaf.entries = std::move(entries);
        const std::vector<uint8_t> bytes = leaf.serialize(jet::Format::Jet4);
        std::copy(bytes.begin(), bytes.end(), m_image.begin() + m_roots[index] * B::kPageSize);
    }

    std::vector<std::string> check(jet::index::IndexCheckStats* stats = nullptr) {
        auto db = jettest::openImage(m_image);
        return jet::index::checkIndexes(*db, stats);
    }

    std::vector<uint8_t> m_image;
    std::vector<uint32_t> m_roots;
    std::vector<std::vector<IndexEntry>> m_entries;
};

}  // namespace

TEST_F(IndexCheckBuilt, EmptyIndexesMissEveryRow) {
    jet::index::IndexCheckStats stats;
    const auto problems = check(&stats);
    // 8 rows in the unique index, 7 in the ignore-nulls one
    EXPECT_EQ(stats.missingRows, 15u);
    EXPECT_TRUE(anyContains(problems, "table \"People\", index \"ById\": the row at page"));
    EXPECT_TRUE(anyContains(problems, "is missing from the index"));
}

TEST_F(IndexCheckBuilt, IndexesBuiltFromTheRowsAreClean) {
    fillIndexes();
    jet::index::IndexCheckStats stats;
    const auto problems = check(&stats);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(stats.keysCompared, 15u);
    EXPECT_EQ(stats.missingRows, 0u);
}

TEST_F(IndexCheckBuilt, WrongKeysStrayEntriesAndDisorderAreReported) {
    fillIndexes();
    std::vector<IndexEntry> byName = m_entries[1];
    ASSERT_GE(byName.size(), 3u);
    std::swap(byName[0].row, byName[1].row);  // keys no longer match their rows
    byName.push_back(byName.back());
    byName.back().row.row = 200;  // no such row
    writeLeaf(1, byName);
    jet::index::IndexCheckStats stats;
    const auto problems = check(&stats);
    EXPECT_EQ(stats.keyMismatches, 2u);
    EXPECT_EQ(stats.strayEntries, 1u);
    EXPECT_TRUE(anyContains(problems, "but the row gives"));
    EXPECT_TRUE(anyContains(problems, "which holds no live row"));
    EXPECT_EQ(stats.orderViolations, 0u);  // the keys themselves are still in order

    std::vector<IndexEntry> byId = m_entries[0];
    std::reverse(byId.begin(), byId.end());
    writeLeaf(0, byId);
    jet::index::IndexCheckStats again;
    EXPECT_TRUE(anyContains(check(&again), "is not after the entry before it"));
    EXPECT_EQ(again.orderViolations, byId.size() - 1);
}

TEST_F(IndexCheckBuilt, IgnoreNullsAndUniquenessAreChecked) {
    fillIndexes(false);  // the all-null row gets an entry it should not have
    auto problems = check();
    EXPECT_TRUE(anyContains(problems, "has only null key values but is listed")) << problems.size();

    // a second row with the Id of another: the unique index then holds that key twice
    B b;
    B::Index byId{"ById", {{0, true}}, jet::indexflag::kUnique};
    const int t = b.addTable("People", {{"Id", ColumnType::Long}}, {byId});
    b.addRow(t, {B::i32(5)});
    b.addRow(t, {B::i32(5)});
    b.addRow(t, {B::null()});
    b.addRow(t, {B::null()});  // several null keys are allowed
    m_image = b.build();
    m_roots.clear();
    m_entries.clear();
    fillIndexes();
    problems = check();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("holds key 7F 80 00 00 05 more than once"), std::string::npos)
        << problems[0];
}

// Whatever the damage to an index page, the check reports it in words and
// never crashes, hangs or reads outside the page.
TEST_F(IndexCheckBuilt, RandomDamageToIndexPagesIsReportedNotFatal) {
    fillIndexes();
    const std::vector<uint8_t> good = m_image;
    std::mt19937 rng(99);
    size_t reported = 0;
    for (int round = 0; round < 400; ++round) {
        m_image = good;
        const uint32_t root = m_roots[rng() % m_roots.size()];
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < flips; ++i) {
            // the header, the entry mask and the entries
            const size_t at = root * B::kPageSize + rng() % (0x1E0 + 160);
            m_image[at] = static_cast<uint8_t>(rng());
        }
        std::vector<std::string> problems;
        ASSERT_NO_THROW(problems = check()) << "round " << round;
        if (!problems.empty()) ++reported;
    }
    // most rounds hit something the check can see
    EXPECT_GT(reported, 300u);
}

TEST_F(IndexCheckBuilt, NullsInARequiredIndexAreReported) {
    B b;
    B::Index pk{"PrimaryKey",
                {{0, true}, {1, true}},
                jet::indexflag::kUnique | jet::indexflag::kRequired,
                jet::IndexKind::Primary};
    const int t = b.addTable("Pairs", {{"A", ColumnType::Long}, {"B", ColumnType::Int}}, {pk});
    b.addRow(t, {B::i32(1), B::i16(1)});
    b.addRow(t, {B::i32(1), B::null()});
    m_image = b.build();
    auto db = jettest::openImage(m_image);
    const jet::StoredTableData data = jettest::readStored(*db, "Pairs");
    const IndexKeyEncoder enc(data.def, data.def.realIndexes[0], db->format(), db->sortOrder());
    IndexPage leaf;
    leaf.owner = data.def.tdefPage;
    for (size_t r = 0; r < data.rows.size(); ++r)
        leaf.entries.push_back({enc.encode(data.rows[r]), data.rowIds[r], 0});
    // (1, null) sorts before (1, 1)
    std::swap(leaf.entries[0], leaf.entries[1]);
    const std::vector<uint8_t> bytes = leaf.serialize(jet::Format::Jet4);
    std::copy(bytes.begin(), bytes.end(),
              m_image.begin() + data.def.realIndexes[0].firstPage * B::kPageSize);
    const auto problems = check();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("has a null key value, though the index requires values"),
              std::string::npos)
        << problems[0];
}
