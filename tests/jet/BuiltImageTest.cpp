// Databases built byte by byte in the test: the reader on a fresh clone, with exact control
// over each stored form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;
using B = Jet4ImageBuilder;

namespace {

std::vector<uint8_t> utf16(const std::u16string& s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    return b;
}

// One table with a column of every type the engine reads.
struct TypesImage {
    B b;
    int t;
    std::string bigMemo;
    std::vector<uint8_t> oleBytes;

    TypesImage() {
        t = b.addTable("AllTypes",
                       {
                           {"Flag", ColumnType::Bool},
                           {"Small", ColumnType::Byte},
                           {"Short", ColumnType::Int},
                           {"Counter", ColumnType::Long, true, 0, 0x04},
                           {"Price", ColumnType::Money},
                           {"Ratio", ColumnType::Float},
                           {"Amount", ColumnType::Double},
                           {"When", ColumnType::DateTime},
                           {"Id", ColumnType::Guid},
                           {"Exact", ColumnType::Numeric, true, 0, 0, 0, 18, 2},
                           {"Name", ColumnType::Text, false, 100, 0, 0x01},
                           {"Bin", ColumnType::Binary, false, 20},
                           {"Notes", ColumnType::Memo, false},
                           {"Blob", ColumnType::Ole, false},
                       },
                       {});
        // Index definitions live on a table of their own: its index trees are empty leaves,
        // which stay consistent only while the table has no rows.
        b.addTable("Keyed",
                   {{"Code", ColumnType::Long},
                    {"Label", ColumnType::Text, false, 40},
                    {"Stamp", ColumnType::DateTime}},
                   {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary},
                    {"ByLabel", {{1, true}, {2, false}}, 0x02, IndexKind::Normal}});
        for (int i = 0; i < 700; ++i)
            bigMemo += static_cast<char>('a' + i % 26);
        for (int i = 0; i < 300; ++i)
            oleBytes.push_back(static_cast<uint8_t>(i * 7));
        std::vector<uint8_t> guid(16);
        for (int i = 0; i < 16; ++i)
            guid[i] = static_cast<uint8_t>(i + 1);
        std::vector<uint8_t> dec(17, 0);
        dec[0] = 0x80;   // negative
        dec[13] = 0xE2;  // least significant word, little-endian: 0x04E2 = 1250
        dec[14] = 0x04;
        b.addRow(
            t, {B::yes(true), B::raw({200}), B::i16(-12), B::i32(1), B::i64(35000), B::f32(0.5f),
                B::f64(444.555), B::f64(-1.25), B::raw(guid), B::raw(dec), B::compressed("caf\xE9"),
                B::raw({1, 2, 3}), B::longValueInline(utf16(u"short memo")),
                b.longValueSingle(t, "Blob", oleBytes)});
        b.addRow(
            t, {B::yes(false), B::null(), B::null(), B::i32(2), B::null(), B::null(), B::null(),
                B::null(), B::null(), B::null(), B::utf16(u"\u4E2D\u6587"), B::null(),
                b.longValueChain(t, "Notes", utf16(std::u16string(bigMemo.begin(), bigMemo.end())),
                                 500),
                B::null()});
        // Written before the last six columns existed.
        B::RowOptions old;
        old.columnCount = 8;
        b.addRow(t,
                 {B::yes(true), B::raw({7}), B::i16(7), B::i32(3), B::i64(0), B::f32(0), B::f64(0),
                  B::f64(0)},
                 old);
        B::RowOptions gone;
        gone.deleted = true;
        b.addRow(t,
                 {B::yes(true), B::raw({9}), B::i16(9), B::i32(99), B::null(), B::null(), B::null(),
                  B::null(), B::null(), B::null(), B::utf16(u"deleted"), B::null(), B::null(),
                  B::null()},
                 gone);
        B::RowOptions moved;
        moved.moved = true;
        b.addRow(t,
                 {B::yes(false), B::raw({4}), B::i16(4), B::i32(4), B::null(), B::null(), B::null(),
                  B::null(), B::null(), B::null(), B::utf16(u"moved"), B::null(),
                  B::longValueInline({}), B::null()},
                 moved);
        b.addCatalogRow("SomeQuery", 5);
        b.addCatalogRow("Linked", 6);
    }
};

}  // namespace

TEST(BuiltImage, CatalogTellsObjectsApart) {
    TypesImage img;
    auto db = openImage(img.b.build());
    EXPECT_EQ(db->format(), Format::Jet4);
    EXPECT_EQ(db->pageSize(), 4096u);
    EXPECT_EQ(db->codePage(), 1252);
    EXPECT_FALSE(db->hasPassword());
    EXPECT_FALSE(db->isEncoded());
    EXPECT_EQ(db->tableNames(), (std::vector<std::string>{"AllTypes", "Keyed"}));
    EXPECT_EQ(db->tableNames(true), (std::vector<std::string>{"MSysObjects", "AllTypes", "Keyed"}));
    int queries = 0, linked = 0;
    for (const auto& e : db->catalog()) {
        if (e.name == "SomeQuery") {
            EXPECT_EQ(e.kind, ObjectKind::Query);
            ++queries;
        }
        if (e.name == "Linked") {
            EXPECT_EQ(e.kind, ObjectKind::LinkedTable);
            ++linked;
        }
        if (e.name == "MSysObjects") {
            EXPECT_EQ(e.kind, ObjectKind::SystemTable);
        }
    }
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(linked, 1);
    EXPECT_THROW(implOf(*db).tableDef("SomeQuery"), Error);
    try {
        implOf(*db).tableDef("Nope");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), hr::kNotFound);
    }
    try {
        implOf(*db).tableDef("Linked");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), hr::kNotSupported);
    }
}

TEST(BuiltImage, TableDefinitionFields) {
    TypesImage img;
    auto db = openImage(img.b.build());
    const StoredTableDef& def = implOf(*db).tableDef("alltypes");  // case-insensitive
    EXPECT_EQ(def.name, "AllTypes");
    EXPECT_EQ(def.rowCount, 4u);
    ASSERT_EQ(def.columns.size(), 14u);
    EXPECT_EQ(def.varColumnCount, 4);
    const StoredColumn* counter = def.findColumn("COUNTER");
    ASSERT_TRUE(counter);
    EXPECT_TRUE(counter->isAutoNumber());
    EXPECT_TRUE(counter->isFixed());
    const StoredColumn* exact = def.findColumn("Exact");
    EXPECT_EQ(exact->precision, 18);
    EXPECT_EQ(exact->scale, 2);
    const StoredColumn* name = def.findColumn("Name");
    EXPECT_FALSE(name->isFixed());
    EXPECT_TRUE(name->isCompressedUnicode());
    EXPECT_EQ(name->length, 100);
    EXPECT_EQ(name->sortOrder, 0x0409);
    EXPECT_NE(def.findColumn("Notes")->lvOwnedMap.raw, 0u);
    EXPECT_TRUE(def.indexes.empty());
    const StoredTableDef& keyed = implOf(*db).tableDef("Keyed");
    ASSERT_EQ(keyed.indexes.size(), 2u);
    ASSERT_EQ(keyed.realIndexes.size(), 2u);
    const IndexDef* pk = keyed.primaryKey();
    ASSERT_TRUE(pk);
    EXPECT_EQ(pk->name, "PrimaryKey");
    const StoredRealIndex& pkReal = keyed.realIndexes[pk->realIndex];
    EXPECT_TRUE(pkReal.isUnique());
    EXPECT_TRUE(pkReal.isRequired());
    EXPECT_NE(pkReal.firstPage, 0u);
    ASSERT_EQ(pkReal.columns.size(), 1u);
    EXPECT_EQ(pkReal.columns[0].columnId, 0);
    const IndexDef* byName = keyed.findIndex("bylabel");
    ASSERT_TRUE(byName);
    const StoredRealIndex& r = keyed.realIndexes[byName->realIndex];
    EXPECT_TRUE(r.ignoresNulls());
    ASSERT_EQ(r.columns.size(), 2u);
    EXPECT_EQ(r.columns[0].columnId, 1);
    EXPECT_TRUE(r.columns[0].ascending);
    EXPECT_FALSE(r.columns[1].ascending);
    EXPECT_EQ(byName->fkRelatedIndex, -1);
}

TEST(BuiltImage, EveryTypeDecodes) {
    TypesImage img;
    auto db = openImage(img.b.build());
    TableData data = db->readTable("AllTypes");
    ASSERT_EQ(data.rows.size(), 4u);  // the deleted row is skipped
    const auto& r0 = data.rows[0];
    EXPECT_EQ(r0[0].as<bool>(), true);
    EXPECT_EQ(r0[1].as<uint8_t>(), 200);
    EXPECT_EQ(r0[2].as<int16_t>(), -12);
    EXPECT_EQ(r0[3].as<int32_t>(), 1);
    EXPECT_EQ(r0[4].as<Currency>().scaled, 35000);
    EXPECT_EQ(r0[5].as<float>(), 0.5f);
    EXPECT_EQ(r0[6].as<double>(), 444.555);
    EXPECT_EQ(r0[7].as<DateTime>().days, -1.25);
    EXPECT_EQ(r0[8].as<Guid>().toString(), "{04030201-0605-0807-090A-0B0C0D0E0F10}");
    EXPECT_EQ(r0[9].as<Decimal>().toString(), "-12.50");
    EXPECT_EQ(r0[10].as<std::string>(), "caf\xC3\xA9");
    EXPECT_EQ(r0[11].as<std::vector<uint8_t>>(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(r0[12].as<std::string>(), "short memo");
    EXPECT_EQ(r0[13].as<std::vector<uint8_t>>(), img.oleBytes);

    const auto& r1 = data.rows[1];
    EXPECT_EQ(r1[0].as<bool>(), false);  // a yes/no value is never null
    for (int c : {1, 2, 4, 5, 6, 7, 8, 9, 11, 13})
        EXPECT_TRUE(r1[c].isNull()) << c;
    EXPECT_EQ(r1[10].as<std::string>(), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(r1[12].as<std::string>(), img.bigMemo);  // chained over two LVAL rows

    const auto& r2 = data.rows[2];  // older row: later columns read as null
    EXPECT_EQ(r2[1].as<uint8_t>(), 7);
    for (int c = 8; c < 14; ++c)
        EXPECT_TRUE(r2[c].isNull()) << c;

    const auto& r3 = data.rows[3];  // moved row, read through its pointer
    EXPECT_EQ(r3[3].as<int32_t>(), 4);
    EXPECT_EQ(r3[10].as<std::string>(), "moved");
    EXPECT_EQ(r3[12].as<std::string>(), "");  // empty, not null
    // The moved row keeps the id of its original slot; the deleted slot keeps its number.
    EXPECT_EQ(data.rowIds[3].page, img.b.dataPage(img.t));
    EXPECT_EQ(data.rowIds[3].row, 4);
    EXPECT_EQ(data.rowIds[2].row, 2);
}

TEST(BuiltImage, ForEachRowStopsEarlyAndCheckIsClean) {
    TypesImage img;
    auto db = openImage(img.b.build());
    int seen = 0;
    db->forEachRow("AllTypes", [&](RowId, const std::vector<Value>&) { return ++seen < 2; });
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(checkIntegrity(*db), std::vector<std::string>{});
}

TEST(BuiltImage, EncodedPagesReadTheSame) {
    TypesImage plain, encoded;
    encoded.b.setDatabaseKey(0xA7B773E0);
    auto a = openImage(plain.b.build());
    auto bytes = encoded.b.build();
    auto b = openImage(bytes);
    EXPECT_TRUE(b->isEncoded());
    EXPECT_EQ(a->readTable("AllTypes").rows, b->readTable("AllTypes").rows);
    EXPECT_EQ(checkIntegrity(*b), std::vector<std::string>{});
    // The bytes on disk really are scrambled: "moved" in UTF-16 is not in the file.
    auto needle = utf16(u"moved");
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()), bytes.end());
}

TEST(BuiltImage, PasswordProtected) {
    TypesImage img;
    img.b.setPassword(u"Geheim");
    auto bytes = img.b.build();
    for (const char* wrong : {"", "geheim", "Geheim2"}) {
        OpenOptions o;
        o.password = wrong;
        try {
            openImage(bytes, o);
            FAIL() << wrong;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), 0x80040E4Du);
            EXPECT_NE(std::string(e.what()).find("password"), std::string::npos);
        }
    }
    OpenOptions right;
    right.password = "Geheim";
    auto db = openImage(bytes, right);
    EXPECT_TRUE(db->hasPassword());
    EXPECT_EQ(db->readTable("AllTypes").rows.size(), 4u);
}

TEST(BuiltImage, CheckReportsCountMismatch) {
    TypesImage img;
    img.b.setStoredRowCount(img.t, 9);
    auto db = openImage(img.b.build());
    auto problems = checkIntegrity(*db);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("holds 4 rows but its definition says 9"), std::string::npos)
        << problems[0];
}

TEST(BuiltImage, RowsFromBeforeTheFirstVariableColumn) {
    // The table had only fixed columns when these rows were written; a text column came later.
    B b;
    int t = b.addTable("Grown", {{"Id", ColumnType::Long},
                                 {"Amount", ColumnType::Double},
                                 {"Label", ColumnType::Text, false, 40}});
    B::RowOptions old;
    old.columnCount = 2;
    old.noVarTable = true;
    b.addRow(t, {B::i32(1), B::f64(2.5)}, old);
    b.addRow(t, {B::i32(2), B::f64(-1), B::utf16(u"new")});
    auto db = openImage(b.build());
    auto data = db->readTable("Grown");
    ASSERT_EQ(data.rows.size(), 2u);
    EXPECT_EQ(data.rows[0][1].as<double>(), 2.5);
    EXPECT_TRUE(data.rows[0][2].isNull());
    EXPECT_EQ(data.rows[1][2].as<std::string>(), "new");
    EXPECT_EQ(checkIntegrity(*db), std::vector<std::string>{});
}
