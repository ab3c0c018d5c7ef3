// Queries and row changes through SQL on databases the tests build: read back through our
// reader, checked for integrity, and for written rows also by two readers that are not ours.
#include <gtest/gtest.h>

#include <map>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "sql/SqlFixture.h"

using namespace jet;
using namespace jettest;

namespace {

sql::Result run(Database& db, const std::string& statement) {
    return sql::execute(db, statement);
}

std::vector<std::string> column(const sql::Result& r, size_t c) {
    std::vector<std::string> out;
    for (const auto& row : r.rows)
        out.push_back(row[c].isNull()                     ? "<null>"
                      : row[c].type() == ValueType::Int32 ? std::to_string(row[c].as<int32_t>())
                                                          : row[c].as<std::string>());
    return out;
}

void fillKeyed(Database& db) {
    const char* labels[] = {"pear", "Apple", "banana", nullptr, "apple pie", "Cherry", "date"};
    for (int i = 0; i < 7; ++i) {
        std::string label = labels[i] ? "'" + std::string(labels[i]) + "'" : "Null";
        run(db, "INSERT INTO Keyed (Code, Label, Stamp) VALUES (" + std::to_string(10 - i) + ", " +
                    label + ", #2021-01-" + std::to_string(10 + i) + "#)");
    }
}

}  // namespace

TEST(SqlStatement, InsertStoresEveryFieldType) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    auto r = run(*db,
                 "INSERT INTO People (Flag, Small, Short, Price, Ratio, Amount, [When], [Key], "
                 "Exact, Name, Notes, Code) VALUES (True, 200, -300, 12.3456, 0.5, 1e3, "
                 "#2020-01-31 10:30:00#, '{01234567-89AB-CDEF-0123-456789ABCDEF}', -123.45, "
                 "'O''Brien', 'a long note', 'C1')");
    EXPECT_EQ(r.rowsAffected, 1u);
    // Text for numbers and dates, rounding to the field's precision, and Yes/No words.
    run(*db,
        "insert into People (Flag, Small, Short, Price, Amount, [When], Exact, Name) "
        "values ('No', '7', 2.5, 0.00005, '-1.5', '3/4/2021', 7, 2.50)");
    expectSound(*db);
    db.reset();

    auto re = openSim(disk);
    auto t = re->readTable("People");
    ASSERT_EQ(t.rows.size(), 2u);
    const auto& a = t.rows[0];
    EXPECT_EQ(a[0], Value(int32_t(1)));
    EXPECT_EQ(a[1], Value(true));
    EXPECT_EQ(a[2], Value(uint8_t(200)));
    EXPECT_EQ(a[3], Value(int16_t(-300)));
    EXPECT_EQ(a[4], Value(Currency{123456}));
    EXPECT_EQ(a[5], Value(0.5f));
    EXPECT_EQ(a[6], Value(1000.0));
    EXPECT_EQ(a[7].as<DateTime>().toParts().hour, 10);
    EXPECT_EQ(a[7].as<DateTime>().toParts().day, 31);
    EXPECT_EQ(a[8].as<Guid>().toString(), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(a[9].as<Decimal>().toString(), "-123.45");
    EXPECT_EQ(a[10], Value(std::string("O'Brien")));
    EXPECT_TRUE(a[11].isNull());
    EXPECT_EQ(a[12], Value(std::string("a long note")));
    EXPECT_TRUE(a[13].isNull());
    EXPECT_EQ(a[14], Value(std::string("C1        ")));

    const auto& b = t.rows[1];
    EXPECT_EQ(b[0], Value(int32_t(2)));
    EXPECT_EQ(b[1], Value(false));
    EXPECT_EQ(b[2], Value(uint8_t(7)));
    EXPECT_EQ(b[3], Value(int16_t(2)));   // half to even
    EXPECT_EQ(b[4], Value(Currency{0}));  // 0.00005 rounds to even at four places
    EXPECT_EQ(b[6], Value(-1.5));
    EXPECT_EQ(b[7].as<DateTime>().toParts().month, 3);
    EXPECT_EQ(b[9].as<Decimal>().toString(), "7.00");
    EXPECT_EQ(b[10], Value(std::string("2.5")));
    expectSound(*re);
}

TEST(SqlStatement, SelectFiltersAndSortsAsJetDoes) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    fillKeyed(*db);

    auto all = run(*db, "Select * From Keyed");
    EXPECT_EQ(all.columns, (std::vector<std::string>{"Code", "Label", "Stamp"}));
    EXPECT_EQ(all.columnTypes[2], ColumnType::DateTime);
    EXPECT_EQ(all.rows.size(), 7u);

    // Case does not count in comparisons or LIKE; a null label matches neither = nor <>.
    auto like = run(*db, "SELECT Label FROM Keyed WHERE Label LIKE 'APPLE*' ORDER BY Label");
    EXPECT_EQ(column(like, 0), (std::vector<std::string>{"Apple", "apple pie"}));
    EXPECT_EQ(run(*db, "SELECT Code FROM Keyed WHERE Label <> 'pear'").rows.size(), 5u);
    EXPECT_EQ(run(*db, "SELECT Code FROM Keyed WHERE Label = 'PEAR'").rows.size(), 1u);
    EXPECT_EQ(column(run(*db, "SELECT Code FROM Keyed WHERE Label IS NULL"), 0),
              (std::vector<std::string>{"7"}));
    EXPECT_EQ(run(*db, "SELECT Code FROM Keyed WHERE NOT (Label = 'x')").rows.size(), 6u);

    // Text sorts without regard to case, nulls first; DESC turns the whole order round.
    auto asc = run(*db, "SELECT Label, Code FROM Keyed ORDER BY Label");
    EXPECT_EQ(column(asc, 0), (std::vector<std::string>{"<null>", "Apple", "apple pie", "banana",
                                                        "Cherry", "date", "pear"}));
    auto desc = run(*db,
                    "SELECT [Keyed].Code FROM Keyed WHERE Stamp >= #2021-01-12# AND "
                    "Code BETWEEN 1 AND 100 ORDER BY Keyed.Code DESC");
    EXPECT_EQ(column(desc, 0), (std::vector<std::string>{"8", "7", "6", "5", "4"}));
    auto two = run(*db,
                   "SELECT Code FROM Keyed WHERE Code IN (4, 9, 99) OR Label LIKE '[b-c]*' "
                   "ORDER BY Stamp DESC");
    EXPECT_EQ(column(two, 0), (std::vector<std::string>{"4", "5", "8", "9"}));

    EXPECT_EQ(refused(disk, *db, "SELECT Nope FROM Keyed"),
              "Field 'Nope' does not exist in table 'Keyed'.");
    EXPECT_EQ(refused(disk, *db, "SELECT * FROM Missing"), "Table 'Missing' does not exist.");
    EXPECT_EQ(refused(disk, *db, "SELECT * FROM Keyed WHERE Code = 'ten'"),
              "Data type mismatch in criteria expression.");
    EXPECT_EQ(refused(disk, *db, "SELECT * FROM Keyed WHERE Nope = 1"),
              "Field 'Nope' does not exist in table 'Keyed'.");
    EXPECT_NE(refused(disk, *db, "SELECT * FROM People ORDER BY Blob").find("cannot sort"),
              std::string::npos);
}

TEST(SqlStatement, UpdateWorksFromTheOldRowAndLandsWhole) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    fillKeyed(*db);
    auto r = run(*db,
                 "UPDATE Keyed SET Code = Code + 100, Label = Label & '!', Stamp = Stamp + 1 "
                 "WHERE Code >= 8");
    EXPECT_EQ(r.rowsAffected, 3u);
    auto got = run(*db, "SELECT Code, Label FROM Keyed WHERE Code > 100 ORDER BY Code");
    EXPECT_EQ(column(got, 0), (std::vector<std::string>{"108", "109", "110"}));
    EXPECT_EQ(column(got, 1), (std::vector<std::string>{"banana!", "Apple!", "pear!"}));
    EXPECT_EQ(run(*db, "UPDATE Keyed SET Label = 'none' WHERE Code = 5000").rowsAffected, 0u);
    expectSound(*db);

    // The second row would clash with the first in the primary key: nothing at all changes.
    EXPECT_NE(refused(disk, *db, "UPDATE Keyed SET Code = 1 WHERE Code < 100"), "");
    EXPECT_NE(refused(disk, *db, "UPDATE Keyed SET Code = 'x'").find("Data type mismatch"),
              std::string::npos);
    EXPECT_EQ(refused(disk, *db, "UPDATE Keyed SET Nope = 1"),
              "Field 'Nope' does not exist in table 'Keyed'.");
    EXPECT_NE(refused(disk, *db, "UPDATE Keyed SET Label = '" + std::string(30, 'x') + "'")
                  .find("at most 20"),
              std::string::npos);
    EXPECT_NE(refused(disk, *db, "UPDATE Keyed SET Code = Code / 0"), "");
    db.reset();
    auto re = openSim(disk);
    EXPECT_EQ(run(*re, "SELECT * FROM Keyed WHERE Code > 100").rows.size(), 3u);
    expectSound(*re);
}

TEST(SqlStatement, DeleteRemovesWhatTheConditionPicks) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    fillKeyed(*db);
    EXPECT_EQ(run(*db, "DELETE FROM Keyed WHERE Label LIKE '*a*' AND Code < 10").rowsAffected, 4u);
    EXPECT_EQ(column(run(*db, "SELECT Code FROM Keyed ORDER BY Code"), 0),
              (std::vector<std::string>{"5", "7", "10"}));
    EXPECT_EQ(refused(disk, *db, "DELETE FROM Keyed WHERE"), "Syntax error in DELETE statement.");
    EXPECT_EQ(run(*db, "DELETE * FROM Keyed;").rowsAffected, 3u);
    EXPECT_EQ(db->tableDef("Keyed").rowCount, 0u);
    expectSound(*db);
}

TEST(SqlStatement, RefusedInsertsChangeNothing) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    run(*db, "INSERT INTO Keyed VALUES (1, 'one', Null)");
    EXPECT_EQ(refused(disk, *db, "INSERT INTO Keyed VALUES (1, 'again', Null)").empty(), false);
    EXPECT_EQ(refused(disk, *db, "INSERT INTO Nowhere VALUES (1)"),
              "Table 'Nowhere' does not exist.");
    EXPECT_EQ(refused(disk, *db, "INSERT INTO Keyed (Code, Bogus) VALUES (2, 3)"),
              "The INSERT INTO statement contains the following unknown field name: 'Bogus'.");
    EXPECT_EQ(refused(disk, *db, "INSERT INTO Keyed VALUES (2, 'x')"),
              "Number of query values and destination fields are not the same.");
    EXPECT_EQ(refused(disk, *db, "INSERT INTO Keyed (Code, code) VALUES (2, 3)"),
              "Duplicate output destination 'Code'.");
    EXPECT_EQ(refused(disk, *db, "INSERT INTO People (Small) VALUES (300)"),
              "The value 300 is out of range for field 'Small' of table 'People' (Byte: 0 to "
              "255).");
    EXPECT_EQ(refused(disk, *db, "INSERT INTO People ([When]) VALUES ('someday')"),
              "Data type mismatch: field 'When' of table 'People' (Date/Time) cannot hold "
              "'someday'.");
    // A value given for an AutoNumber is kept; the counter moves on past it.
    run(*db, "INSERT INTO People (Id, Name) VALUES (41, 'given')");
    run(*db, "INSERT INTO People (Name) VALUES ('next')");
    EXPECT_EQ(run(*db, "SELECT Id FROM People WHERE Name = 'NEXT'").rows.at(0).at(0),
              Value(int32_t(42)));
    EXPECT_NE(refused(disk, *db, "INSERT INTO Keyed VALUES (2, Label, Null)").find("'Label'"),
              std::string::npos);
    EXPECT_NE(refused(disk, *db, "INSERT INTO MSysObjects (Name) VALUES ('x')"), "");

    auto ro = openSim(disk, true);
    try {
        run(*ro, "DELETE FROM Keyed");
        ADD_FAILURE() << "a read-only database took a change";
    } catch (const Error&) {
    }
    EXPECT_EQ(run(*db, "SELECT * FROM Keyed").rows.size(), 1u);
    expectSound(*db);
}

TEST(SqlStatement, ForeignReadersReadRowsWrittenThroughSql) {
    TempFile file(buildPeopleImage(), "sql.mdb");
    {
        auto db = openWritable(file.path());
        for (int i = 0; i < 40; ++i)
            run(*db, "INSERT INTO People (Name, Short, Notes) VALUES ('name " + std::to_string(i) +
                         "', " + std::to_string(i * 3) + ", '" + std::string(size_t(i) * 150, 'n') +
                         "')");
        run(*db, "UPDATE People SET Name = 'renamed ' & Short WHERE Short MOD 2 = 0");
        run(*db, "DELETE FROM People WHERE Short > 100");
        fillKeyed(*db);
        expectSound(*db);
    }
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file.path(), "People");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        ASSERT_EQ(t.rows.size(), 34u);
        const int name = t.column("Name"), shortCol = t.column("Short"), notes = t.column("Notes");
        ASSERT_GE(name, 0);
        ASSERT_GE(shortCol, 0);
        ASSERT_GE(notes, 0);
        for (const auto& row : t.rows) {
            const int s = std::stoi(row.at(shortCol));
            const int i = s / 3;
            EXPECT_EQ(row.at(name),
                      s % 2 == 0 ? "renamed " + std::to_string(s) : "name " + std::to_string(i));
            EXPECT_EQ(row.at(notes).size(), size_t(i) * 150);
        }
        ForeignTable k = reader(file.path(), "Keyed");
        ASSERT_TRUE(k.ok) << k.output;
        EXPECT_EQ(k.rows.size(), 7u);
    }
}
