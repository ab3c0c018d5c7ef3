#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>

#include "StoredTable.h"
#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexPageSink.h"
#include "index/IndexTree.h"
#include "index/IndexWriter.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

using jet::RowId;
using jet::Value;
using jet::index::IndexEntry;
using jet::index::IndexRowChange;
using jet::index::IndexWriter;

namespace {

constexpr uint32_t kPageSize = 4096;

// The pages of one index, read and written in place in a database file; new
// pages are added at the end of the file.
class FileIndexSink : public jet::index::IndexPageSink {
public:
    explicit FileIndexSink(const std::filesystem::path& path)
        : m_file(path, std::ios::in | std::ios::out | std::ios::binary) {}

    std::vector<uint8_t> readPage(uint32_t page) override {
        if (page == 0 || page >= pageCount()) throw jet::Error(jet::hr::kCorrupt, "no such page");
        std::vector<uint8_t> bytes(kPageSize);
        m_file.seekg(std::streamoff(page) * kPageSize);
        m_file.read(reinterpret_cast<char*>(bytes.data()), kPageSize);
        return bytes;
    }
    void writePage(uint32_t page, std::span<const uint8_t> bytes) override {
        ASSERT_EQ(bytes.size(), kPageSize);
        m_file.seekp(std::streamoff(page) * kPageSize);
        m_file.write(reinterpret_cast<const char*>(bytes.data()), kPageSize);
        ++writes;
    }
    uint32_t allocatePage() override {
        const uint32_t page = pageCount();
        writePage(page, std::vector<uint8_t>(kPageSize, 0));
        return page;
    }
    void freePage(uint32_t page) override { freed.insert(page); }
    void rootMoved(uint32_t page) override { root = page; }

    uint32_t pageCount() {
        m_file.seekg(0, std::ios::end);
        return static_cast<uint32_t>(m_file.tellg() / kPageSize);
    }

    uint32_t root = 0;
    int writes = 0;
    std::set<uint32_t> freed;

private:
    std::fstream m_file;
};

bool entryLess(const IndexEntry& a, const IndexEntry& b) {
    return compareEntries(a, b) < 0;
}

std::string randomText(std::mt19937& rng) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<size_t> len(30, 55);
    std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
    std::string s(len(rng), 'a');
    for (char& c : s)
        c = letters[pick(rng)];
    return s;
}

}  // namespace

// Entries added to and taken from Access-written multi-page indexes, in the
// file itself, read back by the engine's own reader after reopening.
TEST(IndexWriterCorpus, EntriesJoinARealMultiPageIndex) {
    const auto dir = jettest::corpusDir();
    if (dir.empty() || !std::filesystem::exists(dir / "jet4-2003-jackcess-compindex.mdb"))
        GTEST_SKIP() << "no corpus";
    jettest::TempFile copy(jettest::readFileBytes(dir / "jet4-2003-jackcess-compindex.mdb"));

    jet::StoredTableData data;
    uint32_t sortOrder = 0;
    std::vector<std::vector<IndexEntry>> before;
    {
        auto db = jet::Database::open(copy.path(), {});
        ASSERT_FALSE(db->isEncoded());
        data = jettest::readStored(*db, "Table1");
        sortOrder = db->sortOrder();
        for (const jet::StoredRealIndex& index : data.def.realIndexes) {
            jet::index::IndexTree tree(implOf(*db).pager(), index.firstPage, data.def.tdefPage);
            before.push_back(tree.readEntries());
            ASSERT_TRUE(tree.findings().empty());
        }
    }
    ASSERT_EQ(data.rows.size(), 512u);
    ASSERT_FALSE(data.def.realIndexes.empty());

    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> number(-100000, 100000);
    std::vector<uint32_t> roots;
    std::vector<std::vector<IndexEntry>> expected = before;
    size_t multiPage = 0;
    std::vector<size_t> pagesBefore;
    for (size_t ri = 0; ri < data.def.realIndexes.size(); ++ri) {
        SCOPED_TRACE("index " + std::to_string(ri));
        FileIndexSink sink(copy.path());
        IndexWriter writer(data.def, ri, jet::Format::Jet4, sortOrder);
        ASSERT_EQ(jet::index::IndexKeyEncoder::tableCannotEncodeReason(data.def, jet::Format::Jet4,
                                                                       sortOrder),
                  "");
        {
            auto db = jet::Database::open(copy.path(), {});
            jet::index::IndexTree tree(implOf(*db).pager(), writer.rootPage(), data.def.tdefPage);
            tree.readEntries();
            pagesBefore.push_back(tree.pages().size());
            if (tree.pages().size() > 1) ++multiPage;
        }
        // were the index unique, a copy of an existing row would be refused,
        // found among the Access-written keys, and the file left alone
        {
            jet::StoredTableDef strict = data.def;
            strict.realIndexes[ri].flags |= jet::indexflag::kUnique;
            IndexWriter strictWriter(strict, ri, jet::Format::Jet4, sortOrder);
            const auto bytes = jettest::readFileBytes(copy.path());
            const jet::index::IndexKeyEncoder encoder(data.def, data.def.realIndexes[ri],
                                                      jet::Format::Jet4, sortOrder);
            size_t tried = 0;
            for (size_t r = 0; r < data.rows.size(); r += 37) {
                // rows without key values may repeat even in a unique index
                if (encoder.allNull(data.rows[r])) {
                    EXPECT_TRUE(
                        strictWriter.prepare(sink, nullptr, {}, &data.rows[r], RowId{0x7000, 1})
                            .insert);
                    continue;
                }
                ++tried;
                try {
                    strictWriter.prepare(sink, nullptr, {}, &data.rows[r], RowId{0x7000, 1});
                    ADD_FAILURE() << "row " << r << " accepted twice";
                } catch (const jet::Error& e) {
                    EXPECT_EQ(e.code(), jet::index::kIntegrityViolation) << e.what();
                }
                // the row itself, moved to another slot, is no duplicate of itself
                EXPECT_NO_THROW(strictWriter.prepare(sink, &data.rows[r], data.rowIds[r],
                                                     &data.rows[r], RowId{0x7000, 1}));
            }
            EXPECT_GT(tried, 10u);
            EXPECT_EQ(jettest::readFileBytes(copy.path()), bytes);
        }
        // every fourth old row goes, 4000 new rows come (on pages no row uses)
        for (size_t r = 0; r < data.rows.size(); r += 4) {
            const IndexRowChange c =
                writer.prepare(sink, &data.rows[r], data.rowIds[r], nullptr, {});
            ASSERT_TRUE(c.remove) << "row " << r << " not found in the index";
            writer.apply(sink, c);
            auto& list = expected[ri];
            const auto it = std::find_if(list.begin(), list.end(), [&](const IndexEntry& e) {
                return e.key == c.remove->key && e.row == c.remove->row;
            });
            ASSERT_NE(it, list.end());
            list.erase(it);
        }
        for (size_t i = 0; i < 4000; ++i) {
            std::vector<Value> row;
            for (const jet::StoredColumn& col : data.def.columns) {
                if (col.type == jet::ColumnType::Long)
                    row.emplace_back(number(rng));
                else if (col.type == jet::ColumnType::Text)
                    row.emplace_back(randomText(rng));
                else
                    row.emplace_back();
            }
            const RowId id{static_cast<uint32_t>(0x8000 + i / 100), static_cast<uint8_t>(i % 100)};
            IndexRowChange c;
            try {
                c = writer.prepare(sink, nullptr, {}, &row, id);
            } catch (const jet::Error& e) {
                // a random key may meet a unique index's existing one
                EXPECT_EQ(e.code(), jet::index::kIntegrityViolation) << e.what();
                continue;
            }
            writer.apply(sink, c);
            if (c.insert) expected[ri].push_back(*c.insert);
        }
        roots.push_back(writer.rootPage());
        if (writer.rootPage() != data.def.realIndexes[ri].firstPage) {
            EXPECT_EQ(sink.root, writer.rootPage());
        }
    }
    EXPECT_GT(multiPage, 0u) << "no index of the file spans pages";

    auto db = jet::Database::open(copy.path(), {});
    for (size_t ri = 0; ri < roots.size(); ++ri) {
        SCOPED_TRACE("index " + std::to_string(ri));
        jet::index::IndexTree tree(implOf(*db).pager(), roots[ri], data.def.tdefPage);
        const std::vector<IndexEntry> got = tree.readEntries();
        EXPECT_TRUE(tree.findings().empty()) << tree.findings().front();
        std::sort(expected[ri].begin(), expected[ri].end(), entryLess);
        ASSERT_EQ(got.size(), expected[ri].size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].key, expected[ri][i].key) << i;
            ASSERT_EQ(got[i].row, expected[ri][i].row) << i;
        }
        // the Access-written leaves split under the new entries
        EXPECT_GT(tree.pages().size(), pagesBefore[ri] + 5);
    }
}
