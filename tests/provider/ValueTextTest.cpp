#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "provider/ProviderError.h"
#include "provider/ValueText.h"

#include "jet/Value.h"

using namespace tessor::provider;

namespace {

std::string dateText(double days) {
    return ValueText::toText(Variant(Date{days}));
}

}  // namespace

namespace {

// Dates are read by the engine's one calendar.
bool parseDate(std::string_view text, double& days) {
    jet::DateTime d;
    if (!jet::DateTime::parse(text, d)) return false;
    days = d.days;
    return true;
}

double chronological(double days) {
    return jet::DateTime{days}.chronological();
}

}  // namespace

TEST(ValueText, NullEmptyAndZeroDateGiveEmptyText) {
    EXPECT_EQ(ValueText::toText(Variant()), "");
    EXPECT_EQ(ValueText::toText(Variant::null()), "");
    EXPECT_EQ(dateText(0.0), "");
    EXPECT_EQ(dateText(-0.0), "");
}

TEST(ValueText, DatesAfterTheEpoch) {
    EXPECT_EQ(dateText(1.0), "1899/12/31 00:00:00");
    EXPECT_EQ(dateText(0.5), "1899/12/30 12:00:00");
    EXPECT_EQ(dateText(36526.5), "2000/01/01 12:00:00");
    EXPECT_EQ(dateText(36585.0), "2000/02/29 00:00:00");
    EXPECT_EQ(dateText(2958465.0 + 86399.0 / 86400.0), "9999/12/31 23:59:59");
    // A time a hair below midnight rounds into the next day, not to 24:00:00.
    EXPECT_EQ(dateText(1.0 - 1e-9), "1899/12/31 00:00:00");
}

TEST(ValueText, DatesBeforeTheEpochCountTheTimeForward) {
    EXPECT_EQ(dateText(-1.25), "1899/12/29 06:00:00");
    EXPECT_EQ(dateText(-1.0), "1899/12/29 00:00:00");
    EXPECT_EQ(dateText(-0.5), "1899/12/30 12:00:00");
    EXPECT_EQ(dateText(-2.75), "1899/12/28 18:00:00");
    EXPECT_EQ(dateText(-36522.0), "1800/01/01 00:00:00");
    EXPECT_EQ(dateText(-657434.0), "0100/01/01 00:00:00");
    // 1899-12-29 23:59:59.99 rounds up into the following calendar day, which on this side
    // of the epoch is the day whose number is nearer zero.
    EXPECT_EQ(dateText(-1.0 - (1.0 - 1e-9)), "1899/12/30 00:00:00");
}

TEST(ValueText, DatesNoCalendarCanShowFallBackToTheNumber) {
    EXPECT_EQ(dateText(3e6), "3e+06");
    EXPECT_EQ(dateText(-1e6), "-1e+06");
    EXPECT_EQ(dateText(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(ValueText, DateTextReadsBackToTheSameSecond) {
    for (double v : {1.0, -1.25, -0.5, 45000.123456, -45000.987654, 2958465.5, -657433.25}) {
        double back = 0;
        ASSERT_TRUE(parseDate(dateText(v), back)) << dateText(v);
        // Same calendar second: compare the texts, since before the epoch a time is not
        // a small difference of the numbers.
        EXPECT_EQ(dateText(back), dateText(v));
        EXPECT_NEAR(chronological(back), chronological(v), 0.6 / 86400);
    }
}

TEST(ValueText, DateParsingForms) {
    double d = 0;
    ASSERT_TRUE(parseDate("1899/12/29 06:00:00", d));
    EXPECT_DOUBLE_EQ(d, -1.25);
    ASSERT_TRUE(parseDate(" 2000-01-01 ", d));
    EXPECT_DOUBLE_EQ(d, 36526.0);
    ASSERT_TRUE(parseDate("1/31/2000 12:30", d));
    EXPECT_DOUBLE_EQ(d, 36556.0 + 12.5 / 24);
    ASSERT_TRUE(parseDate("18:00", d));
    EXPECT_DOUBLE_EQ(d, 0.75);
    for (const char* bad : {"", "2000/02/30", "2000/13/01", "2000/01/01 24:00", "2000/01",
                            "31/01/2000", "2000/01/01x", "abc", "10000/01/01"})
        EXPECT_FALSE(parseDate(bad, d)) << bad;
}

TEST(ValueText, NumbersInOnePlainForm) {
    EXPECT_EQ(ValueText::toText(Variant(true)), "True");
    EXPECT_EQ(ValueText::toText(Variant(false)), "False");
    EXPECT_EQ(ValueText::toText(Variant(uint8_t{255})), "255");
    EXPECT_EQ(ValueText::toText(Variant(int16_t{-32768})), "-32768");
    EXPECT_EQ(ValueText::toText(Variant(int32_t{-5})), "-5");
    EXPECT_EQ(ValueText::toText(Variant(0.1)), "0.1");
    EXPECT_EQ(ValueText::toText(Variant(1e20)), "1e+20");
    EXPECT_EQ(ValueText::toText(Variant(0.1f)), "0.1");
    EXPECT_EQ(ValueText::toText(Variant(Currency{12345000})), "1234.5");
    EXPECT_EQ(ValueText::toText(Variant(Currency{70000})), "7");
    EXPECT_EQ(ValueText::toText(Variant(Currency{-1})), "-0.0001");
    EXPECT_EQ(ValueText::toText(Variant(Currency{std::numeric_limits<int64_t>::min()})),
              "-922337203685477.5808");
}

TEST(ValueText, DoublesReadBackExactly) {
    for (double v : {1.0 / 3, 2.0 / 3 * 1e-300, 123456789.125, -0.000123, 5e-324}) {
        const std::string t = ValueText::toText(Variant(v));
        double back = 0;
        std::from_chars(t.data(), t.data() + t.size(), back);
        EXPECT_EQ(back, v) << t;
    }
}

TEST(ValueText, DecimalsKeepTheirScale) {
    Decimal d;
    d.scale = 2;
    d.magnitude = {1250, 0, 0, 0};
    EXPECT_EQ(ValueText::toText(Variant(d)), "12.50");
    d.negative = true;
    EXPECT_EQ(ValueText::toText(Variant(d)), "-12.50");
    d.magnitude = {5, 0, 0, 0};
    d.scale = 4;
    EXPECT_EQ(ValueText::toText(Variant(d)), "-0.0005");
    d.magnitude = {0, 0, 0, 0};
    EXPECT_EQ(ValueText::toText(Variant(d)), "0.0000");  // no "-0"
    d = Decimal{};
    EXPECT_EQ(ValueText::toText(Variant(d)), "0");
    // 2^96 - 1, the largest magnitude the stored form usually carries.
    d.magnitude = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0};
    d.scale = 28;
    EXPECT_EQ(ValueText::toText(Variant(d)), "7.9228162514264337593543950335");
}

TEST(ValueText, GuidsTextsAndBytes) {
    Guid g;
    for (int i = 0; i < 16; ++i)
        g.bytes[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(ValueText::toText(Variant(g)), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
    EXPECT_EQ(ValueText::toText(Variant("Straße \xE2\x82\xAC")), "Straße \xE2\x82\xAC");
    EXPECT_EQ(ValueText::toText(Variant(Bytes{0x00, 0xAB, 0x1F})), "00AB1F");
}

namespace {

ColumnInfo field(DataType type, uint32_t size = 0, uint8_t precision = 0, uint8_t scale = 0) {
    ColumnInfo c;
    c.name = "F";
    c.type = type;
    c.definedSize = size;
    c.precision = precision;
    c.scale = scale;
    return c;
}

uint32_t refusal(std::string_view text, const ColumnInfo& f) {
    try {
        ValueText::fromText(text, f);
    } catch (const ProviderError& e) {
        EXPECT_NE(e.description().find("\"F\""), std::string::npos) << e.description();
        return e.code();
    }
    return 0;
}

}  // namespace

TEST(ValueText, EveryFormReadsBackToTheSameValue) {
    Guid g;
    for (int i = 0; i < 16; ++i)
        g.bytes[i] = static_cast<uint8_t>(0xF0 - i * 7);
    Decimal dec;
    dec.precision = 18;
    dec.scale = 4;
    dec.negative = true;
    dec.magnitude = {123456789, 7, 0, 0};
    const std::pair<Variant, ColumnInfo> cases[] = {
        {Variant(true), field(DataType::Boolean)},
        {Variant(false), field(DataType::Boolean)},
        {Variant(uint8_t{200}), field(DataType::UnsignedTinyInt)},
        {Variant(int16_t{-32768}), field(DataType::SmallInt)},
        {Variant(int32_t{2147483647}), field(DataType::Integer)},
        {Variant(3.4028235e38f), field(DataType::Single)},
        {Variant(0.1f), field(DataType::Single)},
        {Variant(1.0 / 3), field(DataType::Double)},
        {Variant(-2.5e-300), field(DataType::Double)},
        {Variant(Date{-1.25}), field(DataType::Date)},
        {Variant(Date{45000.5}), field(DataType::Date)},
        {Variant(Currency{std::numeric_limits<int64_t>::min()}), field(DataType::Currency)},
        {Variant(Currency{std::numeric_limits<int64_t>::max()}), field(DataType::Currency)},
        {Variant(Currency{-15}), field(DataType::Currency)},
        {Variant(g), field(DataType::Guid)},
        {Variant(dec), field(DataType::Numeric, 19, 18, 4)},
        {Variant("  keeps blanks  "), field(DataType::VarWChar, 20)},
        {Variant(""), field(DataType::LongVarWChar)},
        {Variant(Bytes{0, 1, 0xFE, 0xFF}), field(DataType::VarBinary)},
    };
    for (const auto& [value, f] : cases) {
        const std::string text = ValueText::toText(value);
        EXPECT_EQ(ValueText::fromText(text, f), value) << text;
    }
}

TEST(ValueText, TypedTextBecomesTheFieldsValue) {
    EXPECT_EQ(ValueText::fromText(" Yes ", field(DataType::Boolean)), Variant(true));
    EXPECT_EQ(ValueText::fromText("-1", field(DataType::Boolean)), Variant(true));
    EXPECT_EQ(ValueText::fromText("0", field(DataType::Boolean)), Variant(false));
    EXPECT_EQ(ValueText::fromText("2.5", field(DataType::Integer)), Variant(int32_t{2}));
    EXPECT_EQ(ValueText::fromText("3.5", field(DataType::Integer)), Variant(int32_t{4}));
    EXPECT_EQ(ValueText::fromText("1e3", field(DataType::SmallInt)), Variant(int16_t{1000}));
    EXPECT_EQ(ValueText::fromText("0.00005", field(DataType::Currency)), Variant(Currency{0}));
    EXPECT_EQ(ValueText::fromText("0.00015", field(DataType::Currency)), Variant(Currency{2}));
    EXPECT_EQ(ValueText::fromText("12", field(DataType::Currency)), Variant(Currency{120000}));
    EXPECT_EQ(ValueText::fromText("2000-01-01", field(DataType::Date)), Variant(Date{36526.0}));
    Decimal d;
    d.precision = 5;
    d.scale = 2;
    d.magnitude = {1234, 0, 0, 0};  // half to even
    EXPECT_EQ(ValueText::fromText("12.345", field(DataType::Numeric, 19, 5, 2)), Variant(d));
    d.magnitude = {1235, 0, 0, 0};
    EXPECT_EQ(ValueText::fromText("12.3451", field(DataType::Numeric, 19, 5, 2)), Variant(d));
    EXPECT_EQ(ValueText::fromText("03020100-0504-0706-0809-0a0b0c0d0e0f", field(DataType::Guid))
                  .toGuid()
                  .bytes[10],
              0x0A);
    // Blank text is null for everything but text.
    EXPECT_TRUE(ValueText::fromText("  ", field(DataType::Double)).isNull());
    EXPECT_EQ(ValueText::fromText("", field(DataType::VarWChar, 5)), Variant(""));
    // Five characters fit a field of five, however many bytes they take.
    EXPECT_EQ(ValueText::fromText("äöüßé", field(DataType::VarWChar, 5)), Variant("äöüßé"));
}

TEST(ValueText, TextThatDoesNotFitIsRefused) {
    EXPECT_EQ(refusal("abc", field(DataType::Integer)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("256", field(DataType::UnsignedTinyInt)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("-1", field(DataType::UnsignedTinyInt)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("32768", field(DataType::SmallInt)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("1e39", field(DataType::Single)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("922337203685477.5808", field(DataType::Currency)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("2000/02/30", field(DataType::Date)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("maybe", field(DataType::Boolean)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("{1234}", field(DataType::Guid)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("1000", field(DataType::Numeric, 19, 5, 2)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("ABC", field(DataType::VarBinary)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("zz", field(DataType::LongVarBinary)), hr::kTypeMismatch);
    EXPECT_EQ(refusal("abcdef", field(DataType::VarWChar, 5)), hr::kTypeMismatch);
    // A character outside the basic plane takes two of the field's places.
    EXPECT_EQ(refusal("abcd\xF0\x9F\x98\x80", field(DataType::VarWChar, 5)), hr::kTypeMismatch);
}
