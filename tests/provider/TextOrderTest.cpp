// One order of text everywhere: the grid's sort, Find's comparisons, SQL's ORDER BY and the
// indexes Access wrote (which ORDER BY is held to by the engine's own corpus test) must agree
// on every text column of the real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "jet/Text.h"
#include "provider/Connection.h"
#include "provider/ConnectionString.h"
#include "provider/Field.h"
#include "provider/Fields.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"

namespace fs = std::filesystem;
using namespace tessor::provider;

namespace {

fs::path corpusDir() {
    const char* env = std::getenv("TESSOR_SHARED_DIR");
    const fs::path dir = fs::path(env ? env : "/work/shared") / "testdata" / "mdb";
    return fs::exists(dir) ? dir : fs::path();
}

// A text literal for a find criterion: in single quotes, inner ones doubled.
std::string literal(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

}  // namespace

TEST(TextOrder, GridSortFindAndOrderByAgreeOnTheCorpus) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    size_t columns = 0, pivots = 0;
    for (const auto& entry : fs::directory_iterator(corpusDir())) {
        if (entry.path().extension() != ".mdb") continue;
        std::unique_ptr<jet::Database> db;
        try {
            db = jet::Database::open(entry.path());
        } catch (const jet::Error&) {
            continue;  // password-protected or deliberately damaged files
        }
        std::vector<std::pair<std::string, std::vector<std::string>>> work;
        for (const std::string& table : db->tableNames()) {
            if (table.find(']') != std::string::npos) continue;
            const jet::TableDef& def = db->tableDef(table);
            if (def.rowCount > 3000) continue;
            std::vector<std::string> texts;
            for (const jet::ColumnDef& c : def.columns)
                if (c.type == jet::ColumnType::Text && c.name.find(']') == std::string::npos)
                    texts.push_back(c.name);
            if (!texts.empty()) work.emplace_back(table, texts);
        }
        if (work.empty()) continue;
        const jet::Collation collation = jet::Collation::of(*db);
        auto connection = Connection::create();
        try {
            connection->open(ConnectionString::format(entry.path().string()), "", "", -1);
        } catch (const ProviderError&) {
            continue;
        }
        for (const auto& [table, texts] : work) {
            auto rs = Recordset::create();
            rs->open("Select * From [" + table + "]", connection);
            for (const std::string& column : texts) {
                const std::string where = entry.path().filename().string() + " " + table + "." +
                                          column;
                // SQL's order.
                const jet::sql::Result r = jet::sql::execute(
                    *db, "SELECT [" + column + "] FROM [" + table + "] ORDER BY [" + column + "]");
                std::vector<std::string> expected;
                for (const auto& row : r.rows)
                    expected.push_back(row.at(0).isNull() ? "<null>" : row.at(0).as<std::string>());
                // The grid's order.
                rs->setSort("[" + column + "] ASC");
                std::vector<std::string> got;
                for (rs->moveFirst(); !rs->isEOF(); rs->moveNext()) {
                    const Field& f = rs->fields().item(column);
                    got.push_back(f.value().isNull() ? "<null>" : f.text());
                }
                ASSERT_EQ(got, expected) << where;
                ++columns;
                // Find's ">": what it finds, walking forward through the sorted records, is
                // exactly the records after the last one that is not greater.
                const size_t n = got.size();
                for (size_t k : {size_t(0), n / 3, n / 2, n - 1}) {
                    if (n == 0 || got[k] == "<null>") continue;
                    const std::string criterion = "[" + column + "] > " + literal(got[k]);
                    rs->moveFirst();
                    rs->find(criterion);
                    long first = rs->isEOF() ? long(n) : rs->position();
                    long found = 0;
                    while (!rs->isEOF()) {
                        ++found;
                        rs->find(criterion, 1);
                    }
                    // Values that tie with the pivot in the database's order are not greater.
                    size_t after = k + 1;
                    while (after < n && collation.compare(got[after], got[k]) == 0)
                        ++after;
                    EXPECT_EQ(first, long(after)) << where << " " << criterion;
                    EXPECT_EQ(found, long(n - after)) << where << " " << criterion;
                    ++pivots;
                }
            }
        }
    }
    EXPECT_GT(columns, 40u);
    EXPECT_GT(pivots, 100u);
}
