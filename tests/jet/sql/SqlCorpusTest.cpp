// Queries over the real files: ORDER BY must put rows in the order of the indexes that Access
// itself wrote (text by the database's collation, case and accents included), and a query of
// every table must read what the table reader reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexTree.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "tdef/StoredTableDef.h"

namespace fs = std::filesystem;
using namespace jet;
using namespace jettest;

namespace {

std::vector<fs::path> corpusFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(corpusDir()))
        if (entry.path().extension() == ".mdb") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

bool sortable(ColumnType t) {
    return t != ColumnType::Ole && t != ColumnType::Memo && t != ColumnType::Binary &&
           t != ColumnType::Complex && t != ColumnType::BigInt && t != ColumnType::Unknown0D &&
           t != ColumnType::Unknown11;
}

}  // namespace

TEST(SqlCorpus, OrderByFollowsTheIndexesAccessWrote) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    size_t checked = 0, textIndexes = 0;
    for (const fs::path& file : corpusFiles()) {
        std::unique_ptr<Database> db;
        try {
            db = Database::open(file);
        } catch (const Error&) {
            continue;  // password-protected or deliberately damaged files
        }
        for (const std::string& table : db->tableNames()) {
            if (table.find(']') != std::string::npos) continue;
            const StoredTableDef& def = implOf(*db).tableDef(table);
            for (const IndexDef& ix : def.indexes) {
                if (ix.realIndex >= def.realIndexes.size()) continue;
                const StoredRealIndex& ri = def.realIndexes[ix.realIndex];
                if (ri.columns.size() != 1 || ri.ignoresNulls()) continue;
                const StoredColumn* c = def.columnById(ri.columns[0].columnId);
                if (!c || !sortable(c->type) || c->name.find(']') != std::string::npos) continue;
                if (c->type == ColumnType::Text &&
                    !index::IndexKeyEncoder::textSortOrder(*c, db->format(), db->sortOrder()))
                    continue;
                std::vector<index::IndexEntry> entries;
                try {
                    entries = index::IndexTree(implOf(*db).pager(), ri.firstPage).readEntries();
                } catch (const Error&) {
                    continue;
                }
                const TableData data = db->readTable(table);
                if (entries.size() != data.rows.size()) continue;
                const size_t col = size_t(c - def.columns.data());
                std::map<std::pair<uint32_t, uint8_t>, const Value*> byRow;
                for (size_t i = 0; i < data.rows.size(); ++i)
                    byRow[{data.rowIds[i].page, data.rowIds[i].row}] = &data.rows[i][col];
                std::vector<Value> expected;
                for (const auto& e : entries) {
                    auto it = byRow.find({e.row.page, e.row.row});
                    ASSERT_NE(it, byRow.end()) << file.filename() << " " << table;
                    expected.push_back(*it->second);
                }
                const std::string statement = "SELECT [" + c->name + "] FROM [" + table +
                                              "] ORDER BY [" + c->name + "]" +
                                              (ri.columns[0].ascending ? "" : " DESC");
                const sql::Result r = sql::execute(*db, statement);
                std::vector<Value> got;
                for (const auto& row : r.rows)
                    got.push_back(row.at(0));
                EXPECT_EQ(got, expected) << file.filename() << ": " << statement;
                ++checked;
                textIndexes += c->type == ColumnType::Text;
            }
            // Every table reads the same through a query as through the table reader.
            const sql::Result all = sql::execute(*db, "Select * From [" + table + "]");
            EXPECT_EQ(all.rows, db->readTable(table).rows) << file.filename() << " " << table;
        }
    }
    EXPECT_GT(checked, 30u);
    EXPECT_GT(textIndexes, 10u);
}
