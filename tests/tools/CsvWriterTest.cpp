#include <gtest/gtest.h>

#include <set>

#include "CsvWriter.h"

using tessor::csv::CsvWriter;

namespace {

std::string valueText(const jet::Value& v, char delimiter = ',') {
    std::string s;
    CsvWriter(delimiter).appendValue(s, v);
    return s;
}

}  // namespace

// One row per kind of value; the guard below fails when the engine gains a value kind that
// has no row here.
TEST(CsvWriter, EveryValueKindHasItsForm) {
    jet::Guid guid;
    for (int i = 0; i < 16; ++i)
        guid.bytes[i] = uint8_t(i * 17);
    jet::Decimal dec;
    dec.lo = 12345;
    dec.scale = 2;
    dec.negative = true;
    const std::vector<std::pair<jet::Value, std::string>> cases = {
        {jet::Value{}, ""},
        {jet::Value{true}, "1"},
        {jet::Value{false}, "0"},
        {jet::Value{uint8_t(255)}, "255"},
        {jet::Value{int16_t(-32768)}, "-32768"},
        {jet::Value{int32_t(-2147483647 - 1)}, "-2147483648"},
        {jet::Value{jet::Currency{35000}}, "3.5000"},
        {jet::Value{1.1f}, "1.1"},
        {jet::Value{444.555}, "444.555"},
        {jet::Value{jet::DateTime{27293.0}}, "\"1974-09-21 00:00:00\""},
        {jet::Value{std::string("say \"hi\"")}, "\"say \"\"hi\"\"\""},
        {jet::Value{std::vector<uint8_t>{0x15, 0x1c, 0xff}}, "\"151CFF\""},
        {jet::Value{guid}, "\"{33221100-5544-7766-8899-AABBCCDDEEFF}\""},
        {jet::Value{dec}, "-123.45"},
    };
    std::set<size_t> kinds;
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(valueText(value), expected) << "kind " << int(value.type());
        kinds.insert(value.v.index());
    }
    EXPECT_EQ(kinds.size(), std::variant_size_v<jet::Value::Storage>);
}

TEST(CsvWriter, EmptyTextIsNotNull) {
    EXPECT_EQ(valueText(jet::Value{std::string()}), "\"\"");
    EXPECT_EQ(valueText(jet::Value{}), "");
    EXPECT_EQ(valueText(jet::Value{std::vector<uint8_t>{}}), "\"\"");
}

TEST(CsvWriter, RowsAndHeader) {
    std::vector<jet::ColumnDef> cols(3);
    cols[0].name = "OrderID";
    cols[1].name = "Unit Price";
    cols[2].name = "Notes";
    std::string s;
    CsvWriter csv;
    csv.appendHeader(s, cols);
    csv.appendRow(s, {jet::Value{int32_t(10248)}, jet::Value{jet::Currency{140000}}, jet::Value{}});
    csv.appendRow(s, {jet::Value{int32_t(1)}, jet::Value{}, jet::Value{std::string("a\r\nb")}});
    EXPECT_EQ(s, "OrderID,Unit Price,Notes\n10248,14.0000,\n1,,\"a\r\nb\"\n");

    std::string t;
    CsvWriter tsv('\t');
    tsv.appendHeader(t, cols);
    tsv.appendRow(t, {jet::Value{int32_t(1)}, jet::Value{}, jet::Value{std::string("x\ty")}});
    EXPECT_EQ(t, "OrderID\tUnit Price\tNotes\n1\t\t\"x\ty\"\n");
}

TEST(CsvWriter, HeaderQuotesOnlyNamesThatWouldBreakTheLine) {
    std::vector<jet::ColumnDef> cols(4);
    cols[0].name = "Größe";
    cols[1].name = "a,b";
    cols[2].name = "say \"x\"";
    cols[3].name = "tab\there";
    std::string s;
    CsvWriter().appendHeader(s, cols);
    EXPECT_EQ(s, "Größe,\"a,b\",\"say \"\"x\"\"\",tab\there\n");
    std::string t;
    CsvWriter('\t').appendHeader(t, cols);
    EXPECT_EQ(t, "Größe\ta,b\t\"say \"\"x\"\"\"\t\"tab\there\"\n");
}
