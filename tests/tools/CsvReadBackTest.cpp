// Reading exports back: every value CsvWriter writes reads back through CsvReader and
// ValueReader as the same value (floats as the same text), and what is not the export's form
// is refused with the line or the reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "CsvReader.h"
#include "CsvWriter.h"
#include "ValueReader.h"
#include "jet/Error.h"

using jet::ColumnType;
using jet::Value;
using tessor::csv::CsvReader;
using tessor::csv::CsvWriter;
using tessor::csv::ValueReader;

namespace {

std::vector<std::vector<CsvReader::Field>> readAll(const std::string& text, char delimiter = ',',
                                                   std::vector<size_t>* lines = nullptr) {
    std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    if (!f) throw std::runtime_error("fmemopen");
    CsvReader reader(f, delimiter);
    std::vector<std::vector<CsvReader::Field>> records;
    std::vector<CsvReader::Field> fields;
    try {
        while (reader.next(fields)) {
            records.push_back(fields);
            if (lines) lines->push_back(reader.recordLine());
        }
    } catch (...) {
        std::fclose(f);
        throw;
    }
    std::fclose(f);
    return records;
}

std::string errorOf(const std::string& text) {
    try {
        readAll(text);
    } catch (const jet::Error& e) {
        return e.what();
    }
    return "(accepted)";
}

jet::ColumnDef column(ColumnType type, uint8_t precision = 18, uint8_t scale = 0) {
    jet::ColumnDef c;
    c.name = "F";
    c.type = type;
    c.precision = precision;
    c.scale = scale;
    return c;
}

// The value read back from the text CsvWriter writes for v.
Value readBack(const jet::ColumnDef& c, const Value& v, std::string* text = nullptr) {
    std::string line;
    CsvWriter().appendValue(line, v);
    if (text) *text = line;
    line += '\n';
    auto records = readAll(line);
    EXPECT_EQ(records.size(), 1u);
    Value out;
    std::string why;
    EXPECT_TRUE(ValueReader::read(c, records[0][0].text, records[0][0].quoted, out, why))
        << line << why;
    return out;
}

}  // namespace

TEST(CsvReadBack, EveryTypeReadsBackAsWritten) {
    std::mt19937_64 rng(8122026);
    auto bits = [&](int n) { return rng() >> (64 - n); };
    for (int i = 0; i < 3000; ++i) {
        const Value byte = uint8_t(bits(8));
        EXPECT_EQ(readBack(column(ColumnType::Byte), byte), byte);
        const Value i16 = int16_t(bits(16));
        EXPECT_EQ(readBack(column(ColumnType::Int), i16), i16);
        const Value i32 = int32_t(bits(32));
        EXPECT_EQ(readBack(column(ColumnType::Long), i32), i32);
        const Value money = jet::Currency{int64_t(rng())};
        EXPECT_EQ(readBack(column(ColumnType::Money), money), money);
        jet::Decimal d{bits(32), rng(), bits(1) == 1, 28, uint8_t(bits(4))};
        if (d.hi == 0 && d.lo == 0) d.negative = false;
        EXPECT_EQ(readBack(column(ColumnType::Numeric, 28, d.scale), d), Value(d));
        jet::Guid g;
        for (auto& b : g.bytes)
            b = uint8_t(bits(8));
        EXPECT_EQ(readBack(column(ColumnType::Guid), g), Value(g));
        std::vector<uint8_t> bytes(bits(5));
        for (auto& b : bytes)
            b = uint8_t(bits(8));
        EXPECT_EQ(readBack(column(ColumnType::Ole), bytes), Value(bytes));
        // Whole seconds on both sides of 1899-12-30, years 100 to 9999.
        const int64_t day = int64_t(rng() % 3615899) - 657434;
        const double seconds = double(rng() % 86400);
        const double days = day >= 0 ? day + seconds / 86400 : day - seconds / 86400;
        std::string dateText;
        Value date = readBack(column(ColumnType::DateTime), jet::DateTime{days}, &dateText);
        EXPECT_NEAR(date.as<jet::DateTime>().days, days, 1e-9) << dateText;
        // Floats: printed with fewer digits than exact, so the text is what must survive.
        uint64_t raw = rng();
        double dbl;
        std::memcpy(&dbl, &raw, 8);
        if (!std::isnan(dbl)) {
            std::string text, again;
            Value v = readBack(column(ColumnType::Double), dbl, &text);
            CsvWriter().appendValue(again, v);
            EXPECT_EQ(again, text);
        }
        auto raw32 = uint32_t(raw);
        float flt;
        std::memcpy(&flt, &raw32, 4);
        if (!std::isnan(flt)) {
            std::string text, again;
            Value v = readBack(column(ColumnType::Float), flt, &text);
            CsvWriter().appendValue(again, v);
            EXPECT_EQ(again, text);
        }
    }
    EXPECT_EQ(readBack(column(ColumnType::Money), jet::Currency{INT64_MIN}),
              Value(jet::Currency{INT64_MIN}));
    for (double extreme : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min()})
        EXPECT_EQ(readBack(column(ColumnType::Double), extreme), Value(extreme));
    EXPECT_EQ(readBack(column(ColumnType::Float), std::numeric_limits<float>::max()),
              Value(std::numeric_limits<float>::max()));
    EXPECT_EQ(readBack(column(ColumnType::Bool), true), Value(true));
    EXPECT_EQ(readBack(column(ColumnType::Bool), false), Value(false));
    EXPECT_EQ(readBack(column(ColumnType::Memo), std::string("")), Value(std::string("")));
    EXPECT_EQ(readBack(column(ColumnType::Binary), std::vector<uint8_t>{}),
              Value(std::vector<uint8_t>{}));
    EXPECT_EQ(readBack(column(ColumnType::Text), Value()), Value());
    EXPECT_EQ(readBack(column(ColumnType::Double), -0.0).as<double>(), 0.0);
    EXPECT_TRUE(std::signbit(readBack(column(ColumnType::Double), -0.0).as<double>()));
    // Dates without a calendar date are written, and read, as their number of days.
    EXPECT_EQ(readBack(column(ColumnType::DateTime), jet::DateTime{-700000.5}),
              Value(jet::DateTime{-700000.5}));
}

TEST(CsvReadBack, ValuesNotOfTheFieldsTypeAreRefusedWithTheReason) {
    struct Case {
        ColumnType type;
        std::string text;
        std::string why;
    };
    const std::vector<Case> cases = {
        {ColumnType::Byte, "256", "'256' is out of range for a Byte (0 to 255)"},
        {ColumnType::Byte, "-1", "out of range"},
        {ColumnType::Int, "1.5", "'1.5' is not a whole number"},
        {ColumnType::Int, "+3", "not a whole number"},
        {ColumnType::Long, "2147483648", "out of range for a Long Integer"},
        {ColumnType::Long, "12345678901234567890123", "out of range for a Long Integer"},
        {ColumnType::Long, " 1", "not a whole number"},
        {ColumnType::Bool, "yes", "is not a Yes/No value"},
        {ColumnType::Money, "1.00001", "has more than 4 decimal places"},
        {ColumnType::Money, "922337203685477.5808", "out of range for a Currency"},
        {ColumnType::Money, "1e3", "is not a currency amount"},
        {ColumnType::Money, ".5", "is not a currency amount"},
        {ColumnType::Money, "5.", "is not a currency amount"},
        {ColumnType::Money, "-", "is not a currency amount"},
        {ColumnType::Numeric, "1.2.3", "is not a decimal number"},
        {ColumnType::Numeric, std::string(39, '9'), "is not a decimal number"},
        {ColumnType::Float, "1e39", "out of range for a Single"},
        {ColumnType::Double, "0x10", "is not a number"},
        {ColumnType::Double, "", "'' is not a number"},
        {ColumnType::DateTime, "2023-02-29 00:00:00", "is not a date and time"},
        {ColumnType::DateTime, "2023-01-01 24:00:00", "is not a date and time"},
        {ColumnType::DateTime, "0099-12-31 00:00:00", "is not a date and time"},
        {ColumnType::DateTime, "2023-01-01T10:00:00", "is not a date and time"},
        {ColumnType::Guid, "{00112233-4455-6677-8899AABBCCDDEEFF}", "is not a GUID"},
        {ColumnType::Binary, "ABC", "is not binary data"},
        {ColumnType::Ole, "0G", "is not binary data"},
    };
    for (const Case& c : cases) {
        Value v;
        std::string why;
        EXPECT_FALSE(ValueReader::read(column(c.type), c.text, true, v, why)) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << ": " << why;
    }
    // Long texts are cut short in the reason.
    Value v;
    std::string why;
    EXPECT_FALSE(ValueReader::read(column(ColumnType::Long), std::string(500, 'x'), false, v, why));
    EXPECT_LT(why.size(), 80u) << why;
    // Yes/No and GUIDs take a few more spellings than the export writes.
    EXPECT_TRUE(ValueReader::read(column(ColumnType::Bool), "-1", false, v, why));
    EXPECT_EQ(v, Value(true));
    EXPECT_TRUE(ValueReader::read(column(ColumnType::Guid), "00112233-4455-6677-8899-aabbccddeeff",
                                  false, v, why));
    EXPECT_EQ(v.as<jet::Guid>().toString(), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

TEST(CsvReader, ReadsWhatTheWriterWrote) {
    const std::vector<std::vector<Value>> rows = {
        {std::string("plain"), Value(), std::string("")},
        {std::string("a,b"), std::string("say \"hi\""), std::string("two\nlines")},
        {std::string("crlf\r\ninside"), std::string("\t"), std::string("\"")},
    };
    for (char delimiter : {',', '\t'}) {
        std::string text;
        CsvWriter writer(delimiter);
        for (const auto& row : rows)
            writer.appendRow(text, row);
        std::vector<size_t> lines;
        auto records = readAll(text, delimiter, &lines);
        ASSERT_EQ(records.size(), rows.size());
        EXPECT_EQ(lines, (std::vector<size_t>{1, 2, 4}));
        for (size_t r = 0; r < rows.size(); ++r) {
            ASSERT_EQ(records[r].size(), 3u);
            for (size_t c = 0; c < 3; ++c) {
                EXPECT_EQ(records[r][c].quoted, !rows[r][c].isNull());
                EXPECT_EQ(records[r][c].text,
                          rows[r][c].isNull() ? "" : rows[r][c].as<std::string>());
            }
        }
    }
    // An empty line is a record of one empty field (a one-field table's NULL); the last line
    // may lack its line end; '\r\n' ends a line like '\n'.
    auto records = readAll("a\r\n\nb,\"c\"\r\nd");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0][0].text, "a");
    EXPECT_EQ(records[1].size(), 1u);
    EXPECT_EQ(records[1][0].text, "");
    EXPECT_EQ(records[2][1].text, "c");
    EXPECT_EQ(records[3][0].text, "d");
    EXPECT_TRUE(readAll("").empty());
    // Records longer than the reader's buffer.
    std::string big(700000, 'x');
    records = readAll("\"" + big + "\"," + big + "\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0].text, big);
    EXPECT_EQ(records[0][1].text, big);
}

TEST(CsvReader, MalformedInputNamesTheLine) {
    EXPECT_EQ(errorOf("a\nb\n\"open\nstill open\n"), "Line 3: a quoted field is not closed.");
    EXPECT_EQ(errorOf("a\n\"x\"y\n"), "Line 2: text follows a closing quote.");
    EXPECT_EQ(errorOf("a\n\"two\nlines\" x\n"), "Line 3: text follows a closing quote.");
    EXPECT_EQ(errorOf("a\nb\nc\"d\n"), "Line 3: a quote stands inside an unquoted field.");
}
