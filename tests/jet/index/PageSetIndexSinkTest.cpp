#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "Jet4ImageBuilder.h"
#include "StoredTable.h"
#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "index/IndexTree.h"
#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "page/MemoryFile.h"
#include "page/PageSet.h"
#include "tdef/StoredTableDef.h"

using jet::ColumnType;
using jet::index::IndexRowChange;
using jet::index::IndexWriter;
using jet::index::PageSetIndexSink;
using B = jettest::Jet4ImageBuilder;

namespace {

// Runs one change over the image: the body works on a page set, whose pages
// are then written into the image (no journal: the image is only memory).
template <typename Body>
std::vector<uint8_t> change(const std::vector<uint8_t>& image, Body&& body) {
    auto db = jettest::openImage(image);
    jet::PageSet pages(implOf(*db).pager());
    body(*db, pages);
    std::vector<uint8_t> out = image;
    for (const auto& [n, bytes] : pages.dirty()) {
        if ((n + 1) * B::kPageSize > out.size()) out.resize((n + 1) * B::kPageSize);
        std::copy(bytes.begin(), bytes.end(), out.begin() + n * B::kPageSize);
    }
    return out;
}

}  // namespace

// Indexes of a database built empty are filled through the write side's page
// set: pages come from the free map into each index's map, roots move in the
// table definition, and the whole-database check finds nothing wrong, also
// after half the entries were taken out and put back.
TEST(PageSetIndexSink, FillsTheIndexesOfABuiltDatabaseSoTheCheckIsClean) {
    B b;
    B::Index byId{"PrimaryKey",
                  {{0, true}},
                  jet::indexflag::kUnique | jet::indexflag::kRequired,
                  jet::IndexKind::Primary};
    B::Index byName{"ByName", {{1, false}, {0, true}}, 0};
    const int t = b.addTable(
        "People", {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, false, 200, 0, 0x01}},
        {byId, byName});
    std::mt19937 rng(5);
    const size_t kRows = 1200;
    for (size_t i = 0; i < kRows; ++i) {
        std::u16string name;
        for (size_t k = 0, n = 40 + rng() % 50; k < n; ++k)
            name += static_cast<char16_t>(u'a' + rng() % 26);
        b.addRow(t, {B::i32(static_cast<int32_t>(i * 7 % kRows)), B::utf16(name)});
    }
    std::vector<uint8_t> image = b.build();
    const uint32_t pagesBefore = static_cast<uint32_t>(image.size() / B::kPageSize);

    const jet::StoredTableData data = jettest::readStored(*jettest::openImage(image), "People");
    ASSERT_EQ(data.rows.size(), kRows);
    auto forRows = [&](bool (*pick)(size_t), bool insert) {
        image = change(image, [&](jet::Database& db, jet::PageSet& pages) {
            const jet::StoredTableDef& def = implOf(db).tableDef("People");
            for (size_t ri = 0; ri < def.realIndexes.size(); ++ri) {
                // now and then a fresh sink and writer, as made per row: they
                // find the root where this change has moved it
                std::unique_ptr<PageSetIndexSink> sink;
                std::unique_ptr<IndexWriter> writer;
                int unique = 0;
                for (size_t r = 0; r < data.rows.size(); ++r) {
                    if (!pick(r)) continue;
                    if (!sink || r % 97 == 0) {
                        if (sink) sink->addToUniqueCount(unique);
                        unique = 0;
                        sink = std::make_unique<PageSetIndexSink>(pages, def, ri);
                        writer = std::make_unique<IndexWriter>(def, ri, jet::Format::Jet4,
                                                               db.sortOrder());
                        writer->setRootPage(sink->storedRoot());
                    }
                    const IndexRowChange c =
                        insert ? writer->prepare(*sink, nullptr, {}, &data.rows[r], data.rowIds[r])
                               : writer->prepare(*sink, &data.rows[r], data.rowIds[r], nullptr, {});
                    writer->apply(*sink, c);
                    unique += c.uniqueDelta;
                }
                if (sink) sink->addToUniqueCount(unique);
            }
        });
    };
    forRows([](size_t) { return true; }, true);
    {
        auto db = jettest::openImage(image);
        EXPECT_EQ(jet::checkIntegrity(*db), std::vector<std::string>{});
        const jet::StoredTableDef& def = implOf(*db).tableDef("People");
        for (size_t i = 0; i < def.realIndexes.size(); ++i) {
            const jet::StoredRealIndex& ri = def.realIndexes[i];
            jet::index::IndexTree tree(implOf(*db).pager(), ri.firstPage, def.tdefPage);
            EXPECT_EQ(tree.readEntries().size(), kRows);
            EXPECT_GT(tree.pages().size(), 3u);
            // counted on from what the builder stored
            EXPECT_EQ(ri.uniqueCount, data.def.realIndexes[i].uniqueCount + kRows);
        }
        // the text index grew past one level: its root moved in the definition
        EXPECT_NE(def.realIndexes[1].firstPage, data.def.realIndexes[1].firstPage);
        EXPECT_GT(implOf(*db).pager().pageCount(), pagesBefore);
    }
    forRows([](size_t r) { return r % 2 == 1; }, false);
    forRows([](size_t r) { return r % 2 == 1; }, true);
    auto db = jettest::openImage(image);
    EXPECT_EQ(jet::checkIntegrity(*db), std::vector<std::string>{});
    for (size_t i = 0; i < data.def.realIndexes.size(); ++i)
        EXPECT_EQ(implOf(*db).tableDef("People").realIndexes[i].uniqueCount,
                  data.def.realIndexes[i].uniqueCount + kRows);
    // a duplicate key is refused before anything changes
    const std::vector<uint8_t> before = image;
    EXPECT_THROW(change(image,
                        [&](jet::Database& d, jet::PageSet& pages) {
                            const jet::StoredTableDef& def = implOf(d).tableDef("People");
                            PageSetIndexSink sink(pages, def, 0);
                            IndexWriter writer(def, 0, jet::Format::Jet4, d.sortOrder());
                            writer.prepare(sink, nullptr, {}, &data.rows[3], jet::RowId{9, 9});
                            EXPECT_TRUE(pages.dirty().empty());
                        }),
                 jet::Error);
}
