// Totals, groups, DISTINCT and TOP through SQL on a table the test fills. Where Jet and SQLite
// agree (Sum, Avg, Count, Min, Max over numbers, grouping of same-case text), the expected rows
// are what the sqlite3 program gives for the same rows; Jet's own rules (text groups without
// regard to case, TOP keeps ties, result types, refusals) are checked against written rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Database.h"
#include "jet/Sql.h"
#include "jet/ValueText.h"
#include "sql/SqlFixture.h"

using namespace jet;
using namespace jettest;

namespace {

// Numbers to six places, so that a Double from us and a REAL from SQLite compare.
std::string canonical(const std::string& cell) {
    if (cell.empty() || cell == "NULL") return cell;
    char* end = nullptr;
    const double d = std::strtod(cell.c_str(), &end);
    if (*end != '\0') return cell;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", std::fabs(d) < 5e-7 ? 0.0 : d);
    return buf;
}

std::string cellText(const Value& v) {
    if (v.isNull()) return "NULL";
    if (const Currency* c = v.getIf<Currency>()) return ValueText::formatCurrency(c->scaled);
    if (const std::string* s = v.getIf<std::string>()) return *s;
    if (const double* d = v.getIf<double>()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return buf;
    }
    if (const int32_t* i = v.getIf<int32_t>()) return std::to_string(*i);
    if (const DateTime* t = v.getIf<DateTime>()) {
        const auto p = t->toParts();
        return std::to_string(p.year) + "-" + std::to_string(p.month) + "-" +
               std::to_string(p.day);
    }
    return "?";
}

std::string rowsText(const sql::Result& r) {
    std::string out;
    for (const auto& row : r.rows) {
        if (!out.empty()) out += ";";
        for (size_t c = 0; c < row.size(); ++c)
            out += (c ? "|" : "") + canonical(cellText(row[c]));
    }
    return out;
}

// The same rows in both databases: regions with nulls, quantities with nulls, prices in
// Currency with cents.
struct SaleRow {
    int id;
    const char* region;
    int qty;  // -1: null
    int cents;
    int day;
};

std::vector<SaleRow> sales() {
    const char* regions[] = {"North", "South", "East", "West", nullptr, "South"};
    std::vector<SaleRow> rows;
    for (int i = 1; i <= 60; ++i)
        rows.push_back({i, regions[i % 6], i % 7 == 3 ? -1 : (i * 37) % 23,
                        (i * 1301) % 9000 + 25 * (i % 4), 1 + (i * 5) % 28});
    return rows;
}

std::string sqlValues(const SaleRow& r) {
    auto price = std::to_string(r.cents / 100) + "." + (r.cents % 100 < 10 ? "0" : "") +
                 std::to_string(r.cents % 100);
    return std::to_string(r.id) + ", " + (r.region ? "'" + std::string(r.region) + "'" : "NULL") +
           ", " + (r.qty < 0 ? "NULL" : std::to_string(r.qty)) + ", " + price;
}

// What sqlite3 prints for the query over the same rows, one row per line, as rowsText.
std::string bySqlite(const std::string& query, bool& available) {
    std::string out;
    available = runCommand("sqlite3 -version", out);
    if (!available) return {};
    out.clear();
    const auto dir = std::filesystem::temp_directory_path() / ("totals-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream script(dir / "q.sql");
        script << "CREATE TABLE Sales (Id INTEGER PRIMARY KEY, Region TEXT, Qty INTEGER, "
                  "Price REAL);\n";
        for (const SaleRow& r : sales())
            script << "INSERT INTO Sales VALUES (" << sqlValues(r) << ");\n";
        script << query << ";\n";
    }
    const bool ok = runCommand("sqlite3 -batch -noheader -separator '|' -nullvalue NULL :memory: < " +
                                   (dir / "q.sql").string() + " 2>&1",
                               out);
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(ok) << out;
    std::string joined, line;
    for (char c : out) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!joined.empty()) joined += ";";
        size_t start = 0;
        for (size_t bar = line.find('|'); ; bar = line.find('|', start)) {
            joined += (start ? "|" : "") + canonical(line.substr(start, bar - start));
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        line.clear();
    }
    return joined;
}

}  // namespace

TEST(SqlTotals, AnswersAsSqliteWhereTheyAgreeAndAsJetWhereTheyDiffer) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    sql::execute(*db,
                 "CREATE TABLE Sales (Id LONG CONSTRAINT pk PRIMARY KEY, Region TEXT(20), Qty LONG, "
                 "Price CURRENCY, Day DATETIME)");
    for (const SaleRow& r : sales())
        sql::execute(*db, "INSERT INTO Sales VALUES (" + sqlValues(r) + ", #2024-02-" +
                              std::to_string(r.day) + "#)");
    sql::execute(*db, "CREATE TABLE Tags (Label TEXT(20), N LONG)");
    for (const char* v : {"'apple', 1", "'Apple', 2", "'pear', 4", "'APPLE', 3", "'pear', 4"})
        sql::execute(*db, std::string("INSERT INTO Tags VALUES (") + v + ")");

    using T = ColumnType;
    struct Case {
        const char* jet;
        const char* sqlite;    // the same question to SQLite, or null
        const char* expected;  // rows when SQLite is not asked
        std::vector<T> types;
    };
    const Case cases[] = {
        {"SELECT Count(*) FROM Sales", "SELECT count(*) FROM Sales", nullptr, {T::Long}},
        {"SELECT Count(Qty), Sum(Qty), Avg(Qty), Min(Qty), Max(Qty), Sum(Price), Avg(Price) "
         "FROM Sales",
         "SELECT count(Qty), sum(Qty), avg(Qty), min(Qty), max(Qty), sum(Price), "
         "round(avg(Price), 4) FROM Sales",
         nullptr,
         {T::Long, T::Double, T::Double, T::Long, T::Long, T::Money, T::Money}},
        {"SELECT Region, Count(*) AS N, Sum(Price) AS Total, Avg(Qty) FROM Sales GROUP BY Region",
         "SELECT Region, count(*), sum(Price), avg(Qty) FROM Sales GROUP BY Region ORDER BY "
         "Region",
         nullptr,
         {T::Text, T::Long, T::Money, T::Double}},
        {"SELECT Region, Max(Qty) - Min(Qty) AS Spread FROM Sales WHERE Qty > 2 GROUP BY Region "
         "HAVING Count(*) >= 8 ORDER BY Max(Qty) - Min(Qty) DESC, Region",
         "SELECT Region, max(Qty) - min(Qty) FROM Sales WHERE Qty > 2 GROUP BY Region HAVING "
         "count(*) >= 8 ORDER BY 2 DESC, Region",
         nullptr,
         {T::Text, T::Double}},
        {"SELECT Region, Count(Qty) FROM Sales GROUP BY Region ORDER BY Count(Qty), Region DESC",
         "SELECT Region, count(Qty) FROM Sales GROUP BY Region ORDER BY 2, Region DESC",
         nullptr,
         {T::Text, T::Long}},
        {"SELECT DISTINCT Region FROM Sales", "SELECT DISTINCT Region FROM Sales ORDER BY Region",
         nullptr, {T::Text}},
        {"SELECT DISTINCT Qty MOD 5 AS R FROM Sales WHERE Qty < 10",
         "SELECT DISTINCT Qty % 5 FROM Sales WHERE Qty < 10 ORDER BY 1", nullptr, {T::Double}},
        {"SELECT TOP 5 Id, Qty FROM Sales ORDER BY Qty DESC, Id",
         "SELECT Id, Qty FROM Sales ORDER BY Qty DESC, Id LIMIT 5", nullptr, {T::Long, T::Long}},
        {"SELECT TOP 10 PERCENT Id FROM Sales WHERE Region = 'North' ORDER BY Id DESC",
         "SELECT Id FROM Sales WHERE Region = 'North' ORDER BY Id DESC LIMIT 1", nullptr,
         {T::Long}},
        {"SELECT Count(*), Sum(Qty), Max(Region) FROM Sales WHERE Qty > 1000",
         "SELECT count(*), sum(Qty), max(Region) FROM Sales WHERE Qty > 1000", nullptr,
         {T::Long, T::Double, T::Text}},
        {"SELECT Sum(Qty) / Count(Qty) AS Mean, Min(Day), Max(Day) FROM Sales WHERE Id <= 10",
         nullptr, "10.250000|2024-2-3|2024-2-26", {T::Double, T::DateTime, T::DateTime}},
        // Text groups and DISTINCT go without regard to case; a group shows its first row's
        // text. TOP with ORDER BY keeps the rows tied with the last one.
        {"SELECT Label, Count(*), Sum(N) FROM Tags GROUP BY Label", nullptr,
         "apple|3.000000|6.000000;pear|2.000000|8.000000", {T::Text, T::Long, T::Double}},
        {"SELECT DISTINCT Label FROM Tags", nullptr, "apple;pear", {T::Text}},
        {"SELECT TOP 1 Label, N FROM Tags ORDER BY N DESC", nullptr,
         "pear|4.000000;pear|4.000000", {T::Text, T::Long}},
        {"SELECT Label FROM Tags GROUP BY Label HAVING Sum(N) > 7", nullptr, "pear", {T::Text}},
        {"SELECT DISTINCTROW TOP 2 N FROM Tags ORDER BY N", nullptr, "1.000000;2.000000",
         {T::Long}},
        // Groups on worked-out terms; the same term may be shown, sorted on and tested.
        {"SELECT Qty MOD 3 AS R, Count(*), Sum(Qty) FROM Sales GROUP BY Qty MOD 3 HAVING "
         "Qty MOD 3 <> 1 ORDER BY Qty MOD 3 DESC",
         "SELECT Qty % 3, count(*), sum(Qty) FROM Sales GROUP BY Qty % 3 HAVING Qty % 3 <> 1 "
         "ORDER BY 1 DESC",
         nullptr,
         {T::Double, T::Long, T::Double}},
        {"SELECT Qty \\ 10 AS D, Region, Count(*) FROM Sales GROUP BY Qty \\ 10, Region",
         "SELECT Qty / 10, Region, count(*) FROM Sales GROUP BY 1, 2 ORDER BY 1, 2", nullptr,
         {T::Double, T::Text, T::Long}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jet);
        const sql::Result r = sql::execute(*db, c.jet);
        EXPECT_EQ(r.columnTypes, c.types);
        std::string expected = c.expected ? c.expected : "";
        if (c.sqlite) {
            bool available = false;
            expected = bySqlite(c.sqlite, available);
            if (!available) continue;
            ASSERT_FALSE(expected.empty());
        }
        EXPECT_EQ(rowsText(r), expected);
    }

    // Unnamed worked-out columns are called after their place in the list.
    EXPECT_EQ(sql::execute(*db, "SELECT Region, Count(*) FROM Sales GROUP BY Region").columns,
              (std::vector<std::string>{"Region", "Expr1001"}));

    const std::pair<const char*, const char*> refusals[] = {
        {"SELECT Region, Count(*) FROM Sales",
         "You tried to execute a query that does not include the specified expression 'Region' "
         "as part of an aggregate function."},
        {"SELECT Region FROM Sales GROUP BY Region ORDER BY Qty",
         "You tried to execute a query that does not include the specified expression 'Qty' as "
         "part of an aggregate function."},
        {"SELECT Id FROM Sales WHERE Count(*) > 1",
         "Cannot have aggregate function in WHERE clause (Count(*) > 1)."},
        {"SELECT Sum(Count(*)) FROM Sales", "Cannot have aggregate function in expression."},
        {"SELECT Sum(Region) FROM Sales", "Data type mismatch in criteria expression."},
        {"SELECT * FROM Sales GROUP BY Region", "Cannot group on fields selected with '*'."},
        {"SELECT DISTINCT Region FROM Sales ORDER BY Qty",
         "ORDER BY clause (Qty) conflicts with DISTINCT."},
        {"UPDATE Sales SET Qty = Count(*)", "Cannot have aggregate function in expression."},
        {"DELETE FROM Sales WHERE Max(Qty) > 1", "Cannot have aggregate function in expression."},
        {"SELECT TOP 0 Id FROM Sales", "Syntax error in SELECT statement near '0'."},
        {"SELECT Count(*, Id) FROM Sales", "Syntax error in SELECT statement near ','."},
        {"SELECT Qty FROM Sales GROUP BY Qty MOD 3",
         "You tried to execute a query that does not include the specified expression 'Qty' as "
         "part of an aggregate function."},
        {"SELECT Count(*) FROM Sales GROUP BY Count(*)",
         "Cannot have aggregate function in GROUP BY clause (Count(*))."},
    };
    for (const auto& [statement, sentence] : refusals)
        EXPECT_EQ(refused(disk, *db, statement), sentence) << statement;
}
