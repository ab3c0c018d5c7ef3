// NOT NULL fields: kept as the field's Required property in the table's property blob, where
// Access and the other readers look for it, and held by the write path afterwards. Also the
// blob edits themselves, and the table's DateUpdate after design changes.
#include <gtest/gtest.h>

#include <filesystem>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "catalog/PropertyBlob.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "page/SlotPage.h"
#include "row/RowCodec.h"
#include "table/ColumnRules.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;

namespace {

// The catalog row of a table: its property blob and its dates.
struct CatalogInfo {
    std::vector<uint8_t> properties;
    double created = 0, updated = 0;
};

CatalogInfo catalogOf(Database& db, const std::string& table) {
    TableData sys = db.readTable("MSysObjects");
    const StoredTableDef& def = implOf(db).tableDef("MSysObjects");
    auto at = [&](const char* name) { return size_t(def.findColumn(name) - def.columns.data()); };
    CatalogInfo info;
    for (const auto& row : sys.rows) {
        const std::string* name = row[at("Name")].getIf<std::string>();
        const int16_t* type = row[at("Type")].getIf<int16_t>();
        if (!name || !type || *type != 1 || !namesEqual(*name, table)) continue;
        if (auto b = row[at("LvProp")].getIf<std::vector<uint8_t>>()) info.properties = *b;
        info.created = row[at("DateCreate")].getIf<DateTime>()->days;
        info.updated = row[at("DateUpdate")].getIf<DateTime>()->days;
    }
    return info;
}

bool required(Database& db, const std::string& table, const std::string& column) {
    const StoredTableDef& def = implOf(db).tableDef(table);
    ColumnRules rules = ColumnRules::parse(catalogOf(db, table).properties, def);
    const StoredColumn* c = def.findColumn(column);
    return c && rules.required(size_t(c - def.columns.data()));
}

// The in-row field of MSysObjects.LvProp for the table: how its blob is stored (0x80 in the
// row, 0x40 on one LVAL page, 0x00 chained).
uint8_t propertyFieldKind(SimDisk& disk, Database& db, const std::string& table) {
    const StoredTableDef& sys = implOf(db).tableDef("MSysObjects");
    const std::vector<uint8_t> image = disk.current("db");
    const size_t prop = size_t(sys.findColumn("LvProp") - sys.columns.data());
    const uint32_t tdef = implOf(db).tableDef(table).tdefPage;
    auto slot = [&](uint32_t page, uint32_t row) {
        std::vector<uint8_t> bytes(image.begin() + long(page) * 4096,
                                   image.begin() + long(page + 1) * 4096);
        return SlotPage(bytes, page).slots().at(row);
    };
    uint8_t kind = 0xFF;
    db.forEachRow("MSysObjects", [&](RowId id, const std::vector<Value>& row) {
        const int32_t* objectId = row[0].getIf<int32_t>();
        if (!objectId || uint32_t(*objectId) != tdef) return true;
        SlotPage::Slot s = slot(id.page, id.row);
        if (s.flags & SlotPage::kOverflow) {
            const uint32_t to =
                s.bytes[0] | (s.bytes[1] << 8) | (s.bytes[2] << 16) | (uint32_t(s.bytes[3]) << 24);
            s = slot(to >> 8, to & 0xFF);
        }
        RowCodec::Fields fields = RowCodec::split(sys, ByteView(s.bytes.data(), s.bytes.size()));
        if (fields[prop]) kind = (*fields[prop])[3] & 0xC0;
        return false;
    });
    return kind;
}

}  // namespace

TEST(PropertyBlob, EditsKeepEveryOtherByte) {
    // A blob as Access writes one: the pool, the table's block, two fields with properties of
    // several kinds.
    PropertyBlob made = *PropertyBlob::parse({});
    made.setBoolean("Name", "Required", true);
    made.setBoolean("Name", "AllowZeroLength", false);
    made.setBoolean("Städte", "Required", false);
    const std::vector<uint8_t> original = made.bytes();
    ASSERT_EQ(std::vector<uint8_t>(original.begin(), original.begin() + 4),
              (std::vector<uint8_t>{'M', 'R', '2', 0}));

    auto blob = PropertyBlob::parse(original);
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->bytes(), original);
    EXPECT_EQ(blob->boolean("name", "required"), true);
    EXPECT_EQ(blob->boolean("STÄDTE", "Required"), false);
    EXPECT_EQ(blob->boolean("Name", "Caption"), std::nullopt);

    // Changing a value in place changes one byte; changing it back restores the blob.
    blob->setBoolean("Städte", "Required", true);
    std::vector<uint8_t> changed = blob->bytes();
    ASSERT_EQ(changed.size(), original.size());
    size_t differ = 0;
    for (size_t i = 0; i < changed.size(); ++i)
        differ += changed[i] != original[i];
    EXPECT_EQ(differ, 1u);
    blob->setBoolean("Städte", "Required", false);
    EXPECT_EQ(blob->bytes(), original);

    // A field's block goes whole; the rest stays, the names in the pool too.
    ASSERT_TRUE(blob->removeColumn("name"));
    EXPECT_FALSE(blob->removeColumn("Name"));
    EXPECT_EQ(blob->boolean("Name", "Required"), std::nullopt);
    EXPECT_EQ(blob->boolean("Städte", "Required"), false);
    auto again = PropertyBlob::parse(blob->bytes());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->boolean("Städte", "Required"), false);
    EXPECT_LT(blob->bytes().size(), original.size());

    // What the write path reads from it.
    StoredTableDef def;
    def.name = "T";
    def.columns.resize(2);
    def.columns[0].name = "Name";
    def.columns[1].name = "Städte";
    ColumnRules rules = ColumnRules::parse(original, def);
    EXPECT_TRUE(rules.required(0));
    EXPECT_TRUE(rules.refusesEmptyText(0));
    EXPECT_FALSE(rules.required(1));
}

TEST(PropertyBlob, DamagedBlobsAreNotEdited) {
    PropertyBlob made = *PropertyBlob::parse({});
    made.setBoolean("A", "Required", true);
    const std::vector<uint8_t> good = made.bytes();
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back({'K', 'K', 'D', 0, 6, 0, 0, 0, 0x80, 0});  // another signature
    std::vector<uint8_t> b = good;
    b[4] = 0xFF;  // the pool's length past the end
    bad.push_back(b);
    b = good;
    b.resize(b.size() - 3);  // the last entry cut short
    bad.push_back(b);
    b = good;
    b[b.size() - 9] = 0x40;  // an entry longer than its block
    bad.push_back(b);
    for (const auto& x : bad)
        EXPECT_FALSE(PropertyBlob::parse(x)) << x.size();
}

TEST(RequiredField, NotNullIsStoredAndHeldThroughSqlAndTheEngine) {
    SimDisk disk;
    disk.put("db", buildPeopleImage());
    auto db = openSim(disk);
    sql::execute(*db,
                 "CREATE TABLE Members (Id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, "
                 "[Last Name] TEXT(40) NOT NULL, Age SHORT, Joined DATETIME NOT NULL)");
    EXPECT_TRUE(required(*db, "Members", "Last Name"));
    EXPECT_TRUE(required(*db, "Members", "Joined"));
    EXPECT_FALSE(required(*db, "Members", "Age"));
    // Access leaves a key field's Required property alone: the key itself refuses nulls.
    EXPECT_FALSE(required(*db, "Members", "Id"));
    // On an LVAL page, where Access reads property blobs, even when it is small.
    EXPECT_LT(catalogOf(*db, "Members").properties.size(), 200u);
    EXPECT_EQ(propertyFieldKind(disk, *db, "Members"), 0x40);
    expectSound(*db);

    sql::execute(*db, "INSERT INTO Members ([Last Name], Joined) VALUES ('Berger', #2024-02-01#)");
    const std::string sentence =
        "The field 'Members.Last Name' cannot contain a Null value because the Required "
        "property for this field is set to True. Enter a value in this field.";
    EXPECT_EQ(
        refusal(disk,
                [&] { sql::execute(*db, "INSERT INTO Members (Joined) VALUES (#2024-03-01#)"); }),
        sentence);
    EXPECT_EQ(refusal(disk, [&] { sql::execute(*db, "UPDATE Members SET [Last Name] = NULL"); }),
              sentence);
    EXPECT_EQ(
        refusal(
            disk,
            [&] {
                db->insertRow("Members", {Value(), Value("Keller"), Value(int16_t(3)), Value()});
            }),
        "The field 'Members.Joined' cannot contain a Null value because the Required "
        "property for this field is set to True. Enter a value in this field.");

    // Added while the table has records: those records would break the rule at once.
    const std::string why = refusal(
        disk, [&] { sql::execute(*db, "ALTER TABLE Members ADD COLUMN City TEXT(20) NOT NULL"); });
    EXPECT_NE(why.find("has records"), std::string::npos) << why;
    EXPECT_EQ(implOf(*db).tableDef("Members").findColumn("City"), nullptr);
    // A Yes/No field is never null, so it may be added.
    sql::execute(*db, "ALTER TABLE Members ADD COLUMN Active BIT NOT NULL");
    EXPECT_TRUE(required(*db, "Members", "Active"));
    expectSound(*db);

    // On an empty table it is added and held; after DROP COLUMN its block is gone, so a field
    // added later under the same name is free.
    sql::execute(*db, "CREATE TABLE Empty (A LONG)");
    sql::execute(*db, "ALTER TABLE Empty ADD B TEXT(10) NOT NULL");
    EXPECT_TRUE(required(*db, "Empty", "B"));
    EXPECT_THROW(sql::execute(*db, "INSERT INTO Empty (A) VALUES (1)"), Error);
    sql::execute(*db, "ALTER TABLE Empty DROP COLUMN B");
    EXPECT_FALSE(PropertyBlob::parse(catalogOf(*db, "Empty").properties)->boolean("B", "Required"));
    sql::execute(*db, "ALTER TABLE Empty ADD B TEXT(10)");
    EXPECT_FALSE(required(*db, "Empty", "B"));
    sql::execute(*db, "INSERT INTO Empty (A) VALUES (1)");
    expectSound(*db);

    // Dropping another field keeps the rules of the rest.
    sql::execute(*db, "ALTER TABLE Members DROP COLUMN Age");
    EXPECT_TRUE(required(*db, "Members", "Last Name"));
    EXPECT_THROW(sql::execute(*db, "INSERT INTO Members (Joined) VALUES (#2024-03-01#)"), Error);
    expectSound(*db);
}

TEST(RequiredField, OtherReadersSeeTheRuleAndTheRows) {
    TempFile file(buildPeopleImage(), "required.mdb");
    {
        auto db = openWritable(file.path());
        sql::execute(*db, "CREATE TABLE Cards (No LONG NOT NULL, Holder TEXT(30), Note MEMO)");
        for (int i = 0; i < 5; ++i)
            sql::execute(*db, "INSERT INTO Cards (No, Holder) VALUES (" + std::to_string(i) +
                                  ", 'h" + std::to_string(i) + "')");
        sql::execute(*db, "ALTER TABLE Cards ADD Seen BIT NOT NULL");
        sql::execute(*db, "ALTER TABLE Cards DROP Note");
        expectSound(*db);
    }
    const std::string schema = schemaByMdbSchema(file.path());
    if (!schema.empty()) {
        const size_t at = schema.find("CREATE TABLE [Cards]");
        ASSERT_NE(at, std::string::npos) << schema;
        const std::string cards = schema.substr(at, schema.find(");", at) - at);
        EXPECT_NE(cards.find("[No]\t\t\tLong Integer NOT NULL"), std::string::npos) << cards;
        EXPECT_EQ(cards.find("[Holder]\t\t\tText (30) NOT NULL"), std::string::npos) << cards;
        EXPECT_NE(cards.find("[Holder]\t\t\tText (30)"), std::string::npos) << cards;
    }
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file.path(), "Cards");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        ASSERT_EQ(t.rows.size(), 5u);
        ASSERT_GE(t.column("Holder"), 0);
        EXPECT_EQ(t.rows[3][size_t(t.column("Holder"))], "h3");
    }
}

TEST(RequiredField, AccessDoesNotMarkKeyFieldsRequired) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    const auto source = corpusDir() / "jet4-northwind-statdata.mdb";
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "no Northwind";
    auto db = openImage(readFileBytes(source));
    // CustomerID is the primary key; CompanyName is the one the designer made required.
    EXPECT_FALSE(required(*db, "Customers", "CustomerID"));
    EXPECT_TRUE(required(*db, "Customers", "CompanyName"));
}

TEST(RequiredField, ACopyOfARealFileKeepsItsOtherProperties) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    const auto source = corpusDir() / "jet4-northwind-statdata.mdb";
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "no Northwind";
    SimDisk disk;
    disk.put("db", readFileBytes(source));
    auto db = openSim(disk);
    const CatalogInfo before = catalogOf(*db, "Customers");
    // A Yes/No field may be required on a table with records.
    sql::execute(*db, "ALTER TABLE Customers ADD COLUMN Rating BIT NOT NULL");
    const CatalogInfo after = catalogOf(*db, "Customers");
    EXPECT_EQ(after.created, before.created);
    EXPECT_GT(after.updated, before.updated);
    // The old blob is the start of the new one up to the added name; every field's block is
    // still there, byte for byte.
    auto old = PropertyBlob::parse(before.properties);
    auto now = PropertyBlob::parse(after.properties);
    ASSERT_TRUE(old && now);
    EXPECT_TRUE(now->boolean("Rating", "Required").value_or(false));
    EXPECT_TRUE(now->removeColumn("Rating"));
    EXPECT_EQ(now->bytes(), old->bytes());
    EXPECT_TRUE(required(*db, "Customers", "CompanyName"));
    EXPECT_FALSE(required(*db, "Customers", "ContactName"));
    expectSound(*db);
}

TEST(TableDates, DesignChangesRefreshDateUpdateOnly) {
    // Each change on a fresh copy whose catalog dates lie in 2009.
    const std::vector<std::pair<std::string, std::string>> changes = {
        {"Keyed", "ALTER TABLE Keyed ADD COLUMN Extra LONG"},
        {"Keyed", "ALTER TABLE Keyed DROP COLUMN Label"},
        {"Keyed", "CREATE INDEX ByLabel ON Keyed (Label)"},
        {"Keyed", "DROP INDEX PrimaryKey ON Keyed"},
        {"People", "ALTER TABLE People ADD CONSTRAINT PrimaryKey PRIMARY KEY (Id)"},
        {"People", "CREATE UNIQUE INDEX ByCode ON People (Code) WITH DISALLOW NULL"}};
    for (const auto& [table, statement] : changes) {
        SimDisk disk;
        disk.put("db", buildPeopleImage());
        auto db = openSim(disk);
        const std::string other = table == "Keyed" ? "People" : "Keyed";
        const CatalogInfo before = catalogOf(*db, table), otherBefore = catalogOf(*db, other);
        ASSERT_LT(before.updated, 45000.0);
        sql::execute(*db, statement);
        const CatalogInfo after = catalogOf(*db, table);
        EXPECT_EQ(after.created, before.created) << statement;
        EXPECT_GT(after.updated, 45000.0) << statement;
        EXPECT_EQ(catalogOf(*db, other).updated, otherBefore.updated) << statement;
        // Row changes are no design change.
        sql::execute(*db, table == "Keyed" ? "INSERT INTO Keyed (Code) VALUES (7)"
                                           : "INSERT INTO People (Code, Short) VALUES ('c1', 1)");
        EXPECT_EQ(catalogOf(*db, table).updated, after.updated) << statement;
        expectSound(*db);
    }
}

TEST(TableDates, ACatalogInAnUnknownSortOrderKeepsItsRowsButTakesFieldChanges) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    const auto source = corpusDir() / "jet4-zblog-cjk-longmemo.mdb";
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "no CJK file";
    SimDisk disk;
    disk.put("db", readFileBytes(source));
    auto db = openSim(disk);
    // The catalog's name index uses the Chinese sort order, whose keys cannot be built here:
    // its rows stay as they are, the table's own change is made.
    const CatalogInfo before = catalogOf(*db, "blog_Article");
    sql::execute(*db, "ALTER TABLE blog_Article ADD COLUMN Extra LONG");
    EXPECT_NE(implOf(*db).tableDef("blog_Article").findColumn("Extra"), nullptr);
    EXPECT_EQ(catalogOf(*db, "blog_Article").updated, before.updated);
    expectSound(*db);
    // A rule that would have to be written there is refused whole.
    const std::string why = refusal(
        disk, [&] { sql::execute(*db, "ALTER TABLE blog_Article ADD COLUMN Seen BIT NOT NULL"); });
    EXPECT_NE(why.find("cannot be changed"), std::string::npos) << why;
    EXPECT_EQ(implOf(*db).tableDef("blog_Article").findColumn("Seen"), nullptr);
}
