// Tables, fields and indexes made and dropped on built databases: rows stay readable by us and
// by mdbtools and mdb-reader, refusals change nothing, and the file stays sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;

namespace {

void expectClean(Database& db, const std::string& when) {
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << when << ": " << problems.front() << " (" << problems.size()
                                  << " findings)";
}

std::vector<Value> keyedRow(int32_t code, const std::string& label) {
    return {Value(code), Value(label), Value(DateTime{45000.5 + code})};
}

NewColumn column(const std::string& name, ColumnType type, uint16_t length = 255) {
    NewColumn c;
    c.name = name;
    c.type = type;
    c.length = length;
    return c;
}

NewIndex indexOn(const std::string& name, std::vector<std::string> columns, bool primary = false,
                 bool unique = false) {
    NewIndex x;
    x.name = name;
    for (auto& c : columns)
        x.columns.push_back({c, true});
    x.primary = primary;
    x.unique = unique;
    return x;
}

// The text of a value as the foreign readers print it, for the types compared here.
std::string cellText(const Value& v) {
    if (v.isNull()) return "";
    if (auto s = v.getIf<std::string>()) return *s;
    if (auto i = v.getIf<int32_t>()) return std::to_string(*i);
    if (auto i = v.getIf<int16_t>()) return std::to_string(*i);
    return "?";
}

// Both foreign readers see the table's columns and, for Long and Text columns, the same values.
void expectReadersAgree(const std::filesystem::path& file, Database& db, const std::string& table) {
    TableData ours = db.readTable(table);
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file, table);
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << table << ": " << t.output.substr(0, 2000);
        ASSERT_EQ(t.header.size(), ours.def.columns.size()) << table << ": " << t.output;
        ASSERT_EQ(t.rows.size(), ours.rows.size()) << table;
        std::multiset<std::string> theirs, mine;
        for (size_t r = 0; r < ours.rows.size(); ++r) {
            std::string a, b;
            for (size_t c = 0; c < ours.def.columns.size(); ++c) {
                const ColumnDef& col = ours.def.columns[c];
                if (col.type != ColumnType::Long && col.type != ColumnType::Text) continue;
                int at = t.column(col.name);
                ASSERT_GE(at, 0) << col.name << " missing: " << t.output.substr(0, 500);
                a += t.rows[r].at(at) + "|";
                b += cellText(ours.rows[r][c]) + "|";
            }
            theirs.insert(a);
            mine.insert(b);
        }
        EXPECT_EQ(theirs, mine) << table;
    }
}

std::unique_ptr<Database> openFile(const std::filesystem::path& p) {
    OpenOptions rw;
    rw.readOnly = false;
    return Database::open(p, rw);
}

}  // namespace

TEST(SchemaChange, NewTableTakesRowsAndAPrimaryKeyAndReadsBackEverywhere) {
    TempFile file(buildPeopleImage(), "made.mdb");
    {
        auto db = openFile(file.path());
        NewTable t;
        t.name = "Cards";
        NewColumn id = column("Id", ColumnType::Long);
        id.autoNumber = true;
        t.columns = {id,
                     column("Name", ColumnType::Text, 50),
                     column("Born", ColumnType::DateTime),
                     column("Seen", ColumnType::Bool),
                     column("Score", ColumnType::Double),
                     column("Notes", ColumnType::Memo),
                     column("Picture", ColumnType::Text, 120)};
        t.indexes = {indexOn("PrimaryKey", {"Id"}, true), indexOn("ByName", {"Name"})};
        db->createTable(t);
        const StoredTableDef& def = implOf(*db).tableDef("cards");
        ASSERT_EQ(def.columns.size(), 7u);
        EXPECT_EQ(def.columns[0].flags, 0x07);      // fixed, updatable, AutoNumber
        EXPECT_EQ(def.columns[3].fixedOffset, 0);   // Yes/No lives in the null mask
        EXPECT_EQ(def.columns[4].fixedOffset, 12);  // after Long (4) and DateTime (8)
        EXPECT_EQ(def.columns[1].varIndex, 0);
        EXPECT_EQ(def.columns[5].varIndex, 1);
        EXPECT_EQ(def.columns[6].varIndex, 2);
        ASSERT_NE(def.primaryKey(), nullptr);
        EXPECT_EQ(def.primaryKey()->name, "PrimaryKey");
        EXPECT_EQ(def.realIndexes[def.primaryKey()->realIndex].flags, 0x89);
        expectClean(*db, "after create");
        for (int i = 0; i < 300; ++i)
            db->insertRow("Cards", {Value(), Value("card " + std::to_string(i % 50)),
                                    Value(DateTime{30000.0 + i}), Value(i % 3 == 0), Value(i * 0.5),
                                    Value(std::string(i % 7 == 0 ? 3000 : 10, 'm')),
                                    Value("pic" + std::to_string(i) + ".png")});
        expectClean(*db, "after inserts");
        auto names = db->tableNames();
        EXPECT_NE(std::find(names.begin(), names.end(), "Cards"), names.end());
    }
    auto db = openFile(file.path());
    EXPECT_EQ(db->readTable("Cards").rows.size(), 300u);
    expectReadersAgree(file.path(), *db, "Cards");
    expectReadersAgree(file.path(), *db, "People");
}

TEST(SchemaChange, NamesAndDefinitionsThatCannotBeAreRefusedAndChangeNothing) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    const std::vector<uint8_t> before = disk.current("db");
    auto refused = [&](const std::function<void()>& f, const std::string& words) {
        try {
            f();
            ADD_FAILURE() << "not refused: " << words;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
        EXPECT_EQ(disk.current("db"), before) << words;
    };
    NewTable t;
    t.name = "people";
    refused([&] { db->createTable(t); }, "Table 'people' already exists.");
    for (std::string bad :
         std::vector<std::string>{"", " lead", "a.b", "a!b", "a`b", "a[b", "a]b",
                                  std::string(65, 'x'), std::string("tab\there")}) {
        t.name = bad;
        refused([&] { db->createTable(t); }, "name");
    }
    t.name = "Twice";
    t.columns = {column("A", ColumnType::Long), column("a", ColumnType::Text)};
    refused([&] { db->createTable(t); }, "Field 'a' already exists in table 'Twice'.");
    t.columns = {column("A", ColumnType::Text, 300)};
    refused([&] { db->createTable(t); }, "1 to 255 characters");
    t.columns = {column("A", ColumnType::Long)};
    t.indexes = {indexOn("PK", {"Nope"}, true)};
    refused([&] { db->createTable(t); }, "'Nope'");
    refused([&] { db->addColumn("People", column("name", ColumnType::Text)); },
            "Field 'name' already exists in table 'People'.");
    refused([&] { db->addColumn("Nowhere", column("X", ColumnType::Text)); }, "does not exist");
    refused([&] { db->addColumn("MSysObjects", column("X", ColumnType::Text)); }, "system table");
    refused([&] { db->dropColumn("People", "Nope"); }, "Field 'Nope' does not exist");
    refused([&] { db->dropColumn("Keyed", "Code"); }, "is part of index 'PrimaryKey'");
    refused([&] { db->createIndex("Keyed", indexOn("Second", {"Label"}, true)); },
            "already has a primary key");
    refused([&] { db->createIndex("Keyed", indexOn("PrimaryKey", {"Label"})); },
            "Index 'PrimaryKey' already exists");
    refused([&] { db->createIndex("People", indexOn("ByNotes", {"Notes"})); }, "cannot be indexed");
    refused([&] { db->dropIndex("Keyed", "Nope"); }, "Index 'Nope' does not exist");
    refused([&] { db->dropTable("MSysObjects"); }, "system table");
    refused([&] { db->dropTable("Nope"); }, "does not exist");
    expectClean(*db, "after refusals");
}

TEST(SchemaChange, AddedAndDroppedFieldsLeaveEveryOtherValueIntact) {
    TempFile file(buildPeopleImage(), "cols.mdb");
    std::vector<std::vector<Value>> before;
    {
        auto db = openFile(file.path());
        for (int i = 0; i < 60; ++i)
            db->insertRow("People", peopleRow(i, i % 5 == 0 ? 4000 : 20, i % 6 ? 0 : 3000));
        before = db->readTable("People").rows;
        db->addColumn("People", column("Nick", ColumnType::Text, 30));
        db->addColumn("People", column("Rank", ColumnType::Long));
        db->addColumn("People", column("Diary", ColumnType::Memo));
        TableData now = db->readTable("People");
        ASSERT_EQ(now.def.columns.size(), 18u);
        for (size_t r = 0; r < now.rows.size(); ++r) {
            for (size_t c = 0; c < 15; ++c)
                ASSERT_EQ(now.rows[r][c], before[r][c]) << "row " << r << " column " << c;
            for (size_t c = 15; c < 18; ++c)
                EXPECT_TRUE(now.rows[r][c].isNull());
        }
        // New rows fill the new fields; old ones can be given values too.
        std::vector<Value> row = peopleRow(100, 10, 10);
        row.push_back(Value(std::string("nick")));
        row.push_back(Value(int32_t(7)));
        row.push_back(Value(std::string(5000, 'd')));
        db->insertRow("People", row);
        std::vector<Value> old = now.rows[3];
        old[15] = std::string("set later");
        db->updateRow("People", now.rowIds[3], old);
        expectClean(*db, "after adding");

        // Dropping a fixed, a variable and a long-value field keeps every other value.
        db->dropColumn("People", "Short");
        db->dropColumn("People", "Name");
        db->dropColumn("People", "Notes");
        TableData after = db->readTable("People");
        ASSERT_EQ(after.def.columns.size(), 15u);
        for (size_t r = 0; r < before.size(); ++r) {
            for (size_t c = 0, k = 0; c < 15; ++c) {
                if (c == 3 || c == 10 || c == 12) continue;
                ASSERT_EQ(after.rows[r][k], r == 3 && c == 15 ? Value() : before[r][c])
                    << "row " << r << " column " << c;
                ++k;
            }
        }
        EXPECT_EQ(after.rows[3][12], Value(std::string("set later")));
        expectClean(*db, "after dropping");
        // A field added after a drop takes fresh slots: old rows still read it as null.
        db->addColumn("People", column("Later", ColumnType::Int));
        for (const auto& r : db->readTable("People").rows)
            EXPECT_TRUE(r.back().isNull());
        expectClean(*db, "after adding again");
    }
    auto db = openFile(file.path());
    expectReadersAgree(file.path(), *db, "People");
}

// A field added empty leaves the stored rows as they are where it can (they read it as null by
// their own field count) and stores them again where it cannot: Yes/No fields, and the first
// variable-length field of a table whose rows have no table of variable offsets. Either way both
// foreign readers read every old row, with the new fields empty, and then the values set later.
TEST(SchemaChange, FieldsAddedToFilledTablesReadAsEmptyEverywhereThenTakeValues) {
    TempFile file(buildPeopleImage(), "added.mdb");
    struct Case {
        std::string table;
        std::vector<NewColumn> first;  // the table as made
        std::vector<std::pair<NewColumn, std::string>> added;  // with a value set later
    };
    const std::vector<Case> cases = {
        {"Mixed",
         {column("Id", ColumnType::Long), column("Name", ColumnType::Text, 40)},
         {{column("L", ColumnType::Long), "7"},
          {column("X", ColumnType::Text, 20), "ex"},
          {column("M", ColumnType::Memo), "a memo"},
          {column("S", ColumnType::Int), "-3"},
          {column("D", ColumnType::DateTime), ""},
          {column("Y", ColumnType::Bool), "yes"}}},
        {"Fixed",
         {column("Id", ColumnType::Long), column("Amt", ColumnType::Double)},
         {{column("L", ColumnType::Long), "8"},
          {column("T", ColumnType::Text, 20), "tee"},
          {column("B", ColumnType::Byte), "9"}}},
    };
    const auto valueOf = [](const NewColumn& c, const std::string& text) {
        if (c.type == ColumnType::Long) return Value(int32_t(std::stoi(text)));
        if (c.type == ColumnType::Int) return Value(int16_t(std::stoi(text)));
        if (c.type == ColumnType::Byte) return Value(uint8_t(std::stoi(text)));
        if (c.type == ColumnType::Bool) return Value(true);
        return Value(text);
    };
    constexpr int kRows = 400;  // several data pages
    for (const Case& k : cases) {
        SCOPED_TRACE(k.table);
        auto db = openFile(file.path());
        NewTable t;
        t.name = k.table;
        t.columns = k.first;
        db->createTable(t);
        for (int i = 0; i < kRows; ++i)
            db->insertRow(k.table, {Value(int32_t(i)), i % 5 ? Value(k.first[1].type == ColumnType::Text
                                                                         ? Value("n" + std::to_string(i))
                                                                         : Value(i * 0.25))
                                                         : Value()});
        for (const auto& [c, v] : k.added)
            db->addColumn(k.table, c);
        expectClean(*db, "after adding");
        const size_t width = k.first.size() + k.added.size();
        for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
            ForeignTable read = reader(file.path(), k.table);
            if (!read.available) continue;
            ASSERT_TRUE(read.ok) << read.output.substr(0, 500);
            ASSERT_EQ(read.rows.size(), size_t(kRows));
            for (const auto& row : read.rows) {
                ASSERT_EQ(row.size(), width);
                for (const auto& [c, v] : k.added) {
                    if (c.type != ColumnType::Bool) {
                        EXPECT_EQ(row[read.column(c.name)], "") << c.name;
                    }
                }
            }
            expectReadersAgree(file.path(), *db, k.table);
        }
        // Every third old row takes values in the new fields.
        TableData data = db->readTable(k.table);
        for (size_t r = 0; r < data.rows.size(); r += 3) {
            std::vector<Value> row = data.rows[r];
            for (size_t a = 0; a < k.added.size(); ++a)
                if (!k.added[a].second.empty())
                    row[k.first.size() + a] = valueOf(k.added[a].first, k.added[a].second);
            db->updateRow(k.table, data.rowIds[r], row);
        }
        expectClean(*db, "after updates");
        for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
            ForeignTable read = reader(file.path(), k.table);
            if (!read.available) continue;
            ASSERT_TRUE(read.ok) << read.output.substr(0, 500);
            ASSERT_EQ(read.rows.size(), size_t(kRows));
            int set = 0;
            for (const auto& row : read.rows) {
                const bool updated = row[read.column("L")] != "";
                set += updated;
                for (const auto& [c, v] : k.added) {
                    if (c.type != ColumnType::Bool) {
                        EXPECT_EQ(row[read.column(c.name)], updated ? v : "") << c.name;
                    }
                }
            }
            EXPECT_EQ(set, (kRows + 2) / 3);
        }
        // Dropping a field stores every row again, moved ones included: each keeps its place
        // and every other value, Yes/No ones too.
        const TableData before = db->readTable(k.table);
        const size_t gone = k.first.size();  // "L"
        db->dropColumn(k.table, "L");
        expectClean(*db, "after dropping");
        const TableData after = db->readTable(k.table);
        ASSERT_EQ(after.rowIds, before.rowIds);
        for (size_t r = 0; r < before.rows.size(); ++r) {
            std::vector<Value> expected = before.rows[r];
            expected.erase(expected.begin() + gone);
            ASSERT_EQ(after.rows[r], expected) << "row " << r;
        }
        expectReadersAgree(file.path(), *db, k.table);
    }
}

TEST(SchemaChange, IndexesBuiltFromRowsRefuseDuplicatesAndNullsAndDropFreesPages) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    for (int i = 0; i < 700; ++i)
        db->insertRow("People", peopleRow(i, 10, 0));
    const std::vector<uint8_t> filled = disk.current("db");
    // Small repeats: refused as a unique index, nothing written.
    try {
        db->createIndex("People", indexOn("BySmall", {"Small"}, false, true));
        ADD_FAILURE() << "duplicates accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("duplicate"), std::string::npos) << e.what();
    }
    EXPECT_EQ(disk.current("db"), filled);
    NewIndex required = indexOn("ByBin", {"Bin"});
    required.required = true;
    db->insertRow("People", [] {
        auto r = peopleRow(900, 1, 0);
        r[11] = Value();
        return r;
    }());
    const std::vector<uint8_t> withNull = disk.current("db");
    EXPECT_THROW(db->createIndex("People", required), Error);
    EXPECT_EQ(disk.current("db"), withNull);

    // A primary key over 701 distinct ids spans several pages.
    db->createIndex("People", indexOn("PK", {"Id"}, true));
    const StoredTableDef& def = implOf(*db).tableDef("People");
    ASSERT_NE(def.primaryKey(), nullptr);
    const StoredRealIndex& real = def.realIndexes[def.primaryKey()->realIndex];
    EXPECT_EQ(real.uniqueCount, 701u);
    EXPECT_NE(implOf(*db).pager().page(real.firstPage)->type(), 0x04);  // grew a node
    expectClean(*db, "after the primary key");
    // Rows inserted later go into it; a duplicate id is refused by it.
    db->insertRow("People", peopleRow(1000, 5, 0));
    EXPECT_THROW(
        db->updateRow("People", db->readTable("People").rowIds[0], db->readTable("People").rows[1]),
        Error);
    // A second name on the same fields and rules shares the real index.
    db->createIndex("People", indexOn("PK2", {"Id"}, false, false));
    db->createIndex("People", indexOn("ByText", {"Name", "When"}));
    expectClean(*db, "after more indexes");
    const uint32_t pagesWithIndexes = db->pageCount();
    db->dropIndex("People", "PK");
    db->dropIndex("People", "ByText");
    db->dropIndex("People", "PK2");
    EXPECT_TRUE(implOf(*db).tableDef("People").realIndexes.empty());
    EXPECT_EQ(db->pageCount(), pagesWithIndexes);
    expectClean(*db, "after dropping the indexes");
}

TEST(SchemaChange, DroppedTablesGiveBackEveryPageAndNewTablesReuseThem) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    for (int i = 0; i < 50; ++i)
        db->insertRow("People", peopleRow(i, i % 4 == 0 ? 6000 : 10, i % 5 ? 0 : 7000));
    for (int i = 0; i < 40; ++i)
        db->insertRow("Keyed", keyedRow(i, "k" + std::to_string(i)));
    db->dropTable("People");
    db->dropTable("keyed");
    EXPECT_TRUE(db->tableNames().empty());
    EXPECT_THROW(implOf(*db).tableDef("People"), Error);
    expectClean(*db, "after dropping");
    const uint32_t pages = db->pageCount();
    NewTable t;
    t.name = "People";
    t.columns = {column("Name", ColumnType::Text, 40), column("Notes", ColumnType::Memo)};
    db->createTable(t);
    for (int i = 0; i < 30; ++i)
        db->insertRow("People", {Value("n" + std::to_string(i)), Value(std::string(3000, 'x'))});
    EXPECT_EQ(db->pageCount(), pages);  // freed pages taken again, file not grown
    expectClean(*db, "after the new table");
    db.reset();
    auto re = openSim(disk);
    EXPECT_EQ(re->readTable("People").rows.size(), 30u);
}

TEST(SchemaChange, StepsOfATransactionLandTogetherOrNotAtAll) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    const std::vector<uint8_t> before = disk.current("db");
    EXPECT_THROW(db->transact([&] {
        NewTable t;
        t.name = "Temp";
        t.columns = {column("A", ColumnType::Long)};
        db->createTable(t);
        db->insertRow("Temp", {Value(int32_t(1))});
        db->addColumn("Keyed", column("Extra", ColumnType::Text));
        db->createTable(t);  // refused: exists by now
    }),
                 Error);
    EXPECT_EQ(disk.current("db"), before);
    EXPECT_THROW(implOf(*db).tableDef("Temp"), Error);
    EXPECT_EQ(implOf(*db).tableDef("Keyed").columns.size(), 3u);
    db->transact([&] {
        NewTable t;
        t.name = "Temp";
        t.columns = {column("A", ColumnType::Long)};
        db->createTable(t);
        db->insertRow("Temp", {Value(int32_t(1))});
        db->createIndex("Temp", indexOn("PrimaryKey", {"A"}, true));
    });
    expectClean(*db, "after the transaction");
    EXPECT_EQ(db->readTable("Temp").rows.size(), 1u);
}
