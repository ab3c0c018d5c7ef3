// Definition statements end to end, in the forms the program itself sends: tables made empty
// and given text columns one by one, the print-information columns, primary keys made and
// dropped from the grid, indexes, and the database password.
#include <gtest/gtest.h>

#include <filesystem>
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

TEST(SqlSchema, NewTableWithoutColumnsThenTextColumnsOneByOne) {
    TempFile file(buildPeopleImage(), "wizard.mdb");
    {
        auto db = openWritable(file.path());
        sql::execute(*db, "CREATE TABLE [Member Cards]");
        EXPECT_TRUE(db->tableDef("Member Cards").columns.empty());
        for (const char* name : {"Name", "F_Photo", "B_No@1:x"})
            sql::execute(*db,
                         std::string("ALTER TABLE [Member Cards] ADD [") + name + "] VARCHAR(255)");
        const TableDef& def = db->tableDef("member cards");
        ASSERT_EQ(def.columns.size(), 3u);
        EXPECT_EQ(def.columns[2].name, "B_No@1:x");
        EXPECT_EQ(def.columns[0].type, ColumnType::Text);
        EXPECT_EQ(def.columns[0].length, 510);  // 255 characters, two bytes each
        for (int i = 0; i < 25; ++i)
            sql::execute(*db, "INSERT INTO [Member Cards] VALUES ('member " + std::to_string(i) +
                                  "', 'p" + std::to_string(i) + ".jpg', Null)");
        expectSound(*db);
    }
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file.path(), "Member Cards");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        EXPECT_EQ(t.header, (std::vector<std::string>{"Name", "F_Photo", "B_No@1:x"}));
        ASSERT_EQ(t.rows.size(), 25u);
        EXPECT_EQ(t.rows[3][1], "p3.jpg");
    }
}

TEST(SqlSchema, PrintInformationColumnsJoinATableWithRows) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    for (int i = 0; i < 30; ++i)
        db->insertRow("People", peopleRow(i, i % 5 == 0 ? 3000 : 20, 10));
    const auto before = db->readTable("People").rows;
    const char* const columns[][2] = {
        {"Vexa_Print", "Bit"},
        {"Vexa_Print_Count", "int"},
        {"Vexa_Print_Time", "DATETIME"},
        {"Vexa_Total_Print", "int"},
        {"Vexa_ID1_Rect", "varchar(255)"},
        {"Vexa_ID2_Rect", "varchar(255)"},
        {"Vexa_ID1_Image", "IMAGE"},
        {"Vexa_ID2_Image", "IMAGE"},
    };
    for (const auto& c : columns)
        sql::execute(*db, std::string("ALTER TABLE People ADD ") + c[0] + " " + c[1] + " NULL");
    const TableDef& def = db->tableDef("People");
    ASSERT_EQ(def.columns.size(), 23u);
    const ColumnType want[] = {ColumnType::Bool, ColumnType::Long, ColumnType::DateTime,
                               ColumnType::Long, ColumnType::Text, ColumnType::Text,
                               ColumnType::Ole,  ColumnType::Ole};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(def.columns[15 + i].type, want[i]) << def.columns[15 + i].name;
    // The old values stay; the new fields read as null (a Yes/No field as No).
    auto after = db->readTable("People").rows;
    ASSERT_EQ(after.size(), before.size());
    for (size_t r = 0; r < after.size(); ++r) {
        for (size_t c = 0; c < 15; ++c)
            EXPECT_EQ(after[r][c], before[r][c]) << "row " << r << " field " << c;
        EXPECT_EQ(after[r][15], Value(false));
        for (size_t c = 16; c < 23; ++c)
            EXPECT_TRUE(after[r][c].isNull());
    }
    sql::execute(*db,
                 "UPDATE People SET Vexa_Print = True, Vexa_Print_Count = 3, "
                 "Vexa_ID1_Rect = '0,0,10,10' WHERE Small < 10");
    EXPECT_EQ(sql::execute(*db, "SELECT Id FROM People WHERE Vexa_Print").rows.size(), 10u);
    expectSound(*db);

    // The command's second run: every ADD is refused and nothing changes.
    EXPECT_EQ(refused(disk, *db, "ALTER TABLE People ADD Vexa_Print Bit NULL"),
              "Field 'Vexa_Print' already exists in table 'People'.");
    EXPECT_EQ(refused(disk, *db, "ALTER TABLE People ADD vexa_print_count int NULL"),
              "Field 'Vexa_Print_Count' already exists in table 'People'.");
    db.reset();
    auto re = openSim(disk);
    EXPECT_EQ(re->tableDef("People").columns.size(), 23u);
    expectSound(*re);
}

TEST(SqlSchema, PrimaryKeyMadeAndDroppedFromTheGrid) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    for (int i = 0; i < 12; ++i)
        sql::execute(*db, "INSERT INTO People (Short, Name) VALUES (" + std::to_string(i % 6) +
                              ", 'n" + std::to_string(i) + "')");
    // Duplicates in Short: the key is refused and the table stays as it was.
    try {
        sql::execute(*db, "ALTER TABLE People ADD CONSTRAINT PrimaryKey PRIMARY KEY (Short)");
        ADD_FAILURE() << "a key over duplicate values was made";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Short"), std::string::npos) << e.what();
    }
    EXPECT_EQ(db->tableDef("People").primaryKey(), nullptr);
    sql::execute(*db, "ALTER TABLE People ADD CONSTRAINT PrimaryKey PRIMARY KEY (Name)");
    const IndexDef* pk = db->tableDef("People").primaryKey();
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->name, "PrimaryKey");
    expectSound(*db);
    EXPECT_EQ(refused(disk, *db, "ALTER TABLE People ADD CONSTRAINT PrimaryKey PRIMARY KEY (Id)"),
              "Index 'PrimaryKey' already exists in table 'People'.");
    EXPECT_NE(refused(disk, *db, "INSERT INTO People (Name) VALUES ('N1')"), "");
    EXPECT_NE(refused(disk, *db, "ALTER TABLE People DROP Name").find("Name"), std::string::npos);
    // Another column: the old constraint goes, a new one comes.
    sql::execute(*db, "ALTER TABLE People DROP CONSTRAINT PrimaryKey");
    sql::execute(*db, "ALTER TABLE People ADD CONSTRAINT PrimaryKey PRIMARY KEY (Id)");
    ASSERT_NE(db->tableDef("People").primaryKey(), nullptr);
    EXPECT_EQ(refused(disk, *db, "ALTER TABLE People DROP CONSTRAINT Nothing"),
              "'Nothing' is not an index in table 'People'.");
    expectSound(*db);
}

TEST(SqlSchema, ColumnsAndIndexesComeAndGo) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    for (int i = 0; i < 20; ++i)
        db->insertRow("People", peopleRow(i, 50, 0));
    const auto before = db->readTable("People").rows;
    sql::execute(*db, "ALTER TABLE People DROP COLUMN Notes");
    const auto after = db->readTable("People");
    ASSERT_EQ(after.def.columns.size(), 14u);
    for (size_t r = 0; r < before.size(); ++r)
        for (size_t c = 0, k = 0; c < 15; ++c) {
            if (c == 12) continue;  // Notes
            EXPECT_EQ(after.rows[r][k], before[r][c]) << "row " << r << " field " << c;
            ++k;
        }
    sql::execute(*db, "CREATE UNIQUE INDEX ByName ON People (Name DESC) WITH DISALLOW NULL");
    ASSERT_NE(db->tableDef("People").findIndex("ByName"), nullptr);
    EXPECT_NE(refused(disk, *db, "INSERT INTO People (Name) VALUES ('NAME-3')"), "");
    EXPECT_NE(refused(disk, *db, "CREATE UNIQUE INDEX ByShort ON People (Flag)"), "");
    EXPECT_EQ(refused(disk, *db, "CREATE INDEX X ON People (Nope)"),
              "Field 'Nope' does not exist in table 'People'.");
    sql::execute(*db, "DROP INDEX ByName ON People");
    EXPECT_EQ(db->tableDef("People").findIndex("ByName"), nullptr);
    expectSound(*db);

    sql::execute(*db,
                 "CREATE TABLE Extra (Id COUNTER CONSTRAINT PK PRIMARY KEY, Label TEXT(30) "
                 "NOT NULL, Amount DECIMAL(12, 2), Seen DATETIME)");
    sql::execute(*db, "INSERT INTO Extra (Label, Amount, Seen) VALUES ('a', 12.5, #2024-05-06#)");
    auto extra = sql::execute(*db, "SELECT * FROM Extra");
    ASSERT_EQ(extra.rows.size(), 1u);
    EXPECT_EQ(extra.rows[0][0], Value(int32_t(1)));
    EXPECT_EQ(extra.rows[0][2].as<Decimal>().toString(), "12.50");
    EXPECT_EQ(refused(disk, *db, "CREATE TABLE extra (A LONG)"), "Table 'Extra' already exists.");
    sql::execute(*db, "DROP TABLE Extra");
    EXPECT_EQ(refused(disk, *db, "DROP TABLE Extra"), "Table 'Extra' does not exist.");
    EXPECT_EQ(refused(disk, *db, "ALTER TABLE Gone ADD A TEXT"), "Table 'Gone' does not exist.");
    EXPECT_EQ(refused(disk, *db, "ALTER TABLE People DROP Gone"),
              "Field 'Gone' does not exist in table 'People'.");
    expectSound(*db);
    db.reset();
    auto re = openSim(disk);
    EXPECT_EQ(re->tableNames(), (std::vector<std::string>{"People", "Keyed"}));
    expectSound(*re);
}

TEST(SqlSchema, AColumnWithItsKeyIsOneChange) {
    // ADD COLUMN with a constraint is two schema calls; a crash at any write between leaves
    // the table as it was or with both.
    SimDisk clean;
    clean.put("db", buildPeopleImage());
    {
        auto db = openSim(clean);
        db->insertRow("Keyed", {Value(int32_t(1)), Value(std::string("a")), Value()});
    }
    const std::string statement =
        "ALTER TABLE Keyed ADD COLUMN Serial LONG CONSTRAINT "
        "SerialIx UNIQUE";
    int writes = 0;
    {
        SimDisk disk;
        disk.put("db", clean.current("db"));
        auto db = openSim(disk);
        const int start = disk.writes();
        sql::execute(*db, statement);
        writes = disk.writes() - start;
        ASSERT_NE(db->tableDef("Keyed").findIndex("SerialIx"), nullptr);
    }
    for (bool keep : {false, true})
        for (int at = 1; at <= writes; ++at) {
            SimDisk disk;
            disk.put("db", clean.current("db"));
            auto db = openSim(disk);
            disk.crashAt(disk.writes() + at);
            EXPECT_THROW(sql::execute(*db, statement), std::exception);
            db.reset();
            SimDisk restart;
            for (auto& [name, bytes] : disk.image(keep))
                restart.put(name, bytes);
            auto re = openSim(restart);
            const TableDef& def = re->tableDef("Keyed");
            EXPECT_EQ(def.findColumn("Serial") != nullptr, def.findIndex("SerialIx") != nullptr)
                << "crash at write " << at;
            expectSound(*re);
        }
}

TEST(SqlSchema, PasswordSetChangedAndCleared) {
    TempFile file(buildPeopleImage(), "secret.mdb");
    OpenOptions rw;
    rw.readOnly = false;
    rw.exclusive = true;
    {
        auto db = Database::open(file.path(), rw);
        sql::execute(*db, "Alter Database Password s3cret NULL");
    }
    EXPECT_THROW(Database::open(file.path()), Error);
    rw.password = "s3cret";
    {
        auto db = Database::open(file.path(), rw);
        EXPECT_TRUE(db->hasPassword());
        try {
            sql::execute(*db, "ALTER DATABASE PASSWORD [other] [wrong]");
            ADD_FAILURE() << "a wrong old password was taken";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), hr::kAuthFailed);
        }
        sql::execute(*db, "ALTER DATABASE PASSWORD [two words] [s3cret]");
    }
    rw.password = "two words";
    {
        auto db = Database::open(file.path(), rw);
        sql::execute(*db, "ALTER DATABASE PASSWORD NULL [two words]");
    }
    OpenOptions plain;
    auto db = Database::open(file.path(), plain);
    EXPECT_FALSE(db->hasPassword());
    expectSound(*db);
}

TEST(SqlSchema, PasswordStatementWithOnlyOnePasswordChangesNothing) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    OpenOptions rw;
    rw.readOnly = false;
    rw.exclusive = true;
    auto db = Database::openFile(disk.open("db"), "db.mdb", rw, disk.journal("db-journal"));
    sql::execute(*db, "ALTER DATABASE PASSWORD s3cret NULL");
    // What the Set Password command sends when the new password is left empty.
    const std::string why = refused(disk, *db, "ALTER DATABASE PASSWORD  s3cret");
    EXPECT_NE(why.find("a password is missing"), std::string::npos) << why;
    EXPECT_NE(why.find("NULL"), std::string::npos) << why;
    EXPECT_TRUE(db->hasPassword());
    sql::execute(*db, "ALTER DATABASE PASSWORD NULL s3cret");
    EXPECT_FALSE(db->hasPassword());
}

TEST(SqlSchema, PrintInformationColumnsOnACopyOfARealFile) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    const auto source = corpusDir() / "jet4-northwind-statdata.mdb";
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "no Northwind";
    TempFile file(readFileBytes(source), "northwind.mdb");
    const ForeignTable before = readWithMdbExport(file.path(), "Customers");
    {
        auto db = openWritable(file.path());
        for (const char* c : {"Vexa_Print Bit", "Vexa_Print_Count int", "Vexa_Print_Time DATETIME",
                              "Vexa_ID1_Rect varchar(255)", "Vexa_ID1_Image IMAGE"})
            sql::execute(*db, std::string("ALTER TABLE Customers ADD ") + c + " NULL");
        EXPECT_EQ(sql::execute(*db,
                               "UPDATE Customers SET Vexa_Print_Count = 1, Vexa_Print = Yes, "
                               "Vexa_Print_Time = #2024-02-29 08:15# WHERE Country = "
                               "'GERMANY'")
                      .rowsAffected,
                  11u);
        sql::execute(*db, "ALTER TABLE Customers DROP Vexa_ID1_Image");
        expectSound(*db);
    }
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file.path(), "Customers");
        if (!t.available || !before.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        ASSERT_EQ(t.rows.size(), before.rows.size());
        const int id = t.column("CustomerID"), count = t.column("Vexa_Print_Count"),
                  country = t.column("Country");
        ASSERT_GE(id, 0);
        ASSERT_GE(count, 0);
        ASSERT_GE(country, 0);
        EXPECT_LT(t.column("Vexa_ID1_Image"), 0);
        std::map<std::string, const std::vector<std::string>*> old;
        for (const auto& row : before.rows)
            old[row.at(size_t(before.column("CustomerID")))] = &row;
        for (const auto& row : t.rows) {
            ASSERT_TRUE(old.count(row.at(size_t(id)))) << row.at(size_t(id));
            const auto& was = *old[row.at(size_t(id))];
            for (size_t c = 0; c < before.header.size(); ++c)
                EXPECT_EQ(row.at(size_t(t.column(before.header[c]))), was.at(c))
                    << row.at(size_t(id)) << " " << before.header[c];
            EXPECT_EQ(row.at(size_t(count)), row.at(size_t(country)) == "Germany" ? "1" : "");
        }
    }
}
