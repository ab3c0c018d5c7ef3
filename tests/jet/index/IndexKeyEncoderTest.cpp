#include <gtest/gtest.h>

#include "index/IndexEntry.h"
#include "index/IndexKeyEncoder.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

using jet::ColumnType;
using jet::Format;
using jet::StoredColumn;
using jet::StoredRealIndex;
using jet::StoredTableDef;
using jet::Value;
using jet::index::IndexEntry;
using jet::index::IndexKeyEncoder;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint32_t kGeneral = 0x0409;

StoredColumn column(const char* name, ColumnType type, uint16_t id, uint16_t lcid = 0) {
    StoredColumn c;
    c.name = name;
    c.type = type;
    c.id = id;
    c.sortOrder = lcid;
    return c;
}

// Columns are kept in id order, as the engine reads them; the index names ids.
StoredTableDef sampleTable() {
    StoredTableDef t;
    t.name = "People";
    t.columns = {column("Id", ColumnType::Long, 0), column("Name", ColumnType::Text, 1, kGeneral),
                 column("Active", ColumnType::Bool, 2), column("Photo", ColumnType::Ole, 3),
                 column("Born", ColumnType::DateTime, 4)};
    return t;
}

StoredRealIndex indexOn(std::vector<std::pair<uint16_t, bool>> cols) {
    StoredRealIndex r;
    for (auto [id, asc] : cols)
        r.columns.push_back({id, asc});
    return r;
}

std::vector<Value> row(Value id, Value name, Value active, Value born = {}) {
    return {std::move(id), std::move(name), std::move(active), Value{}, std::move(born)};
}

}  // namespace

TEST(IndexKeyEncoder, MultiColumnKeysConcatenateInIndexOrder) {
    const StoredTableDef t = sampleTable();
    // name descending first, then id ascending
    const IndexKeyEncoder enc(t, indexOn({{1, false}, {0, true}}), Format::Jet4, kGeneral);
    ASSERT_TRUE(enc.canEncode()) << enc.cannotEncodeReason();
    EXPECT_EQ(enc.encode(row(int32_t(19), std::string("A"), true)),
              (Bytes{0x80, 0xB5, 0xFE, 0xFF, 0x00, 0x7F, 0x80, 0x00, 0x00, 0x13}));
    // a null column is only its flag, in the direction of its column
    EXPECT_EQ(enc.encode(row(Value{}, Value{}, false)), (Bytes{0xFF, 0x00}));
    EXPECT_TRUE(enc.allNull(row(Value{}, Value{}, false)));
    EXPECT_FALSE(enc.allNull(row(int32_t(1), Value{}, false)));
}

TEST(IndexKeyEncoder, RowsSortByTheirKeys) {
    const StoredTableDef t = sampleTable();
    const IndexKeyEncoder enc(t, indexOn({{1, true}, {4, false}}), Format::Jet4, kGeneral);
    // (name asc, born desc): nulls first by name, newest first within a name
    const std::vector<std::vector<Value>> ordered{
        row(int32_t(1), Value{}, true, jet::DateTime{2.0}),
        row(int32_t(2), std::string("adam"), true, jet::DateTime{40000.5}),
        row(int32_t(3), std::string("Adam"), true, jet::DateTime{-700.25}),
        row(int32_t(4), std::string("Adam"), true, Value{}),
        row(int32_t(5), std::string("eve"), true, jet::DateTime{0.0}),
    };
    for (size_t i = 1; i < ordered.size(); ++i)
        EXPECT_TRUE(IndexEntry::compareKeys(enc.encode(ordered[i - 1]), enc.encode(ordered[i])) < 0)
            << "rows " << i - 1 << " and " << i;
}

TEST(IndexKeyEncoder, YesNoIsNeverNull) {
    const StoredTableDef t = sampleTable();
    const IndexKeyEncoder enc(t, indexOn({{2, true}}), Format::Jet4, kGeneral);
    EXPECT_EQ(enc.encode(row(Value{}, Value{}, true)), (Bytes{0x7F, 0x00}));
    EXPECT_EQ(enc.encode(row(Value{}, Value{}, Value{})), (Bytes{0x7F, 0xFF}));
    EXPECT_FALSE(enc.allNull(row(Value{}, Value{}, Value{})));
}

TEST(IndexKeyEncoder, SaysClearlyWhatItCannotEncode) {
    StoredTableDef t = sampleTable();
    const IndexKeyEncoder ole(t, indexOn({{3, true}}), Format::Jet4, kGeneral);
    EXPECT_FALSE(ole.canEncode());
    EXPECT_NE(ole.cannotEncodeReason().find("\"Photo\""), std::string::npos);

    t.columns[1].sortOrder = 2052;  // Chinese (PRC): no measured table
    const IndexKeyEncoder chinese(t, indexOn({{0, true}, {1, true}}), Format::Jet4, kGeneral);
    EXPECT_FALSE(chinese.canEncode());
    EXPECT_NE(chinese.cannotEncodeReason().find("2052"), std::string::npos)
        << chinese.cannotEncodeReason();
    try {
        chinese.encode(row(int32_t(1), std::string("x"), true));
        ADD_FAILURE() << "encoded an unsupported sort order";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::hr::kNotSupported);
        EXPECT_NE(std::string(e.what()).find("cannot be built"), std::string::npos);
    }

    t.columns[1].sortOrder = kGeneral;
    t.columns[1].sortVersion = 1;  // the later "General" order of ACE files
    EXPECT_FALSE(IndexKeyEncoder(t, indexOn({{1, true}}), Format::Jet4, kGeneral).canEncode());

    t.realIndexes = {indexOn({{0, true}}), indexOn({{1, true}})};
    t.realIndexes[1].number = 1;
    t.indexes.push_back({"ByName", 0, 1});
    EXPECT_EQ(
        IndexKeyEncoder::tableCannotEncodeReason(t, Format::Jet4, kGeneral),
        "index \"ByName\" of table \"People\" cannot be encoded: column \"Name\" uses "
        "a text sort order (LCID 1033, version 1) whose index keys this program cannot build");
    t.columns[1].sortVersion = 0;
    EXPECT_EQ(IndexKeyEncoder::tableCannotEncodeReason(t, Format::Jet4, kGeneral), "");

    const IndexKeyEncoder missing(t, indexOn({{9, true}}), Format::Jet4, kGeneral);
    EXPECT_FALSE(missing.canEncode());
    EXPECT_NE(missing.cannotEncodeReason().find("column id 9"), std::string::npos);
}

TEST(IndexKeyEncoder, TextSortOrderFollowsFormatAndDatabaseDefault) {
    StoredColumn text = column("T", ColumnType::Text, 0, 0);
    using jet::index::TextSortOrder;
    EXPECT_EQ(IndexKeyEncoder::textSortOrder(text, Format::Jet4, kGeneral),
              TextSortOrder::GeneralLegacy);
    EXPECT_EQ(IndexKeyEncoder::textSortOrder(text, Format::Jet3, kGeneral),
              TextSortOrder::General97);
    EXPECT_FALSE(IndexKeyEncoder::textSortOrder(text, Format::Jet4, 1049).has_value());
    text.sortOrder = kGeneral;
    EXPECT_EQ(IndexKeyEncoder::textSortOrder(text, Format::Jet4, 1049),
              TextSortOrder::GeneralLegacy);
}

TEST(IndexKeyEncoder, ValuesOfTheWrongTypeAreRefused) {
    const StoredTableDef t = sampleTable();
    const IndexKeyEncoder enc(t, indexOn({{0, true}}), Format::Jet4, kGeneral);
    try {
        enc.encode(row(std::string("not a number"), Value{}, true));
        ADD_FAILURE();
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::hr::kInvalidArg);
    }
    EXPECT_THROW(enc.encode({}), jet::Error);  // fewer values than columns
}
