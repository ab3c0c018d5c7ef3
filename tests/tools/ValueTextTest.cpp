// Expected texts come from mdb-export's dumps of the corpus (floats, currency,
// dates) and from the calendar; the printf comparisons guard the fast paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "ValueText.h"

using namespace tessor::csv;

namespace {

template <typename F, typename T>
std::string text(F f, T v) {
    std::string s;
    f(s, v);
    return s;
}

std::string dateText(double d) {
    return text(appendDateTime, d);
}

std::string printfText(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

}  // namespace

TEST(ValueText, FloatsAsTheOracleWritesThem) {
    EXPECT_EQ(text(appendDouble, -94.43000000000001), "-94.43000000000001");
    EXPECT_EQ(text(appendDouble, 0.000345134), "0.000345134");
    EXPECT_EQ(text(appendDouble, -8540982423.45), "-8540982423.45");
    EXPECT_EQ(text(appendDouble, 444.555), "444.555");
    EXPECT_EQ(text(appendDouble, 0.0), "0");
    EXPECT_EQ(text(appendDouble, 1e21), "1e+21");
    EXPECT_EQ(text(appendSingle, -0.00035134f), "-0.00035133999");
    EXPECT_EQ(text(appendSingle, 309840983.0f), "3.0984099e+08");
    EXPECT_EQ(text(appendSingle, 0.05f), "0.050000001");
    EXPECT_EQ(text(appendSingle, 1.1f), "1.1");
    EXPECT_EQ(text(appendSingle, 0.0f), "0");
}

TEST(ValueText, FloatsMatchPrintfBitForBit) {
    std::mt19937_64 rng(20261207);
    for (int i = 0; i < 200000; ++i) {
        uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        ASSERT_EQ(text(appendDouble, d), printfText("%.16g", d)) << std::hex << bits;
        auto fbits = uint32_t(bits >> 32);
        float f;
        std::memcpy(&f, &fbits, sizeof f);
        ASSERT_EQ(text(appendSingle, f), printfText("%.8g", double(f))) << std::hex << fbits;
    }
    // Exact ties at the last kept digit round to even, as glibc does.
    EXPECT_EQ(text(appendSingle, 1048576.25f), printfText("%.8g", 1048576.25));

    // Doubles from 1e-7 to 1e37 are rounded to 16 digits with integer arithmetic: exact ties at
    // the 16th digit (123456789.01953125 stays, ...05859375 goes up), the ends of that range,
    // values just below a power of ten, short decimals and their neighbours, powers of two.
    for (double d : {123456789.01953125, 123456789.05859375, 4503599627370497.5, 0x1p-24, 1e-7,
                     9.99999999999999e-8, 1e37, 1.7e38, 1e23, 9.999999999999999e22, 0.1, 1e22,
                     1e16, 1e15, 0x1p53, 0x1p53 - 1, 5e-324, std::numeric_limits<double>::max(),
                     9.5, 99.99999999999999, 0.3, 1e-5, 123456789012345678.0, 1.0 / 7})
        ASSERT_EQ(text(appendDouble, d), printfText("%.16g", d)) << d;
    for (int i = 0; i < 50000; ++i) {
        const int64_t n = int64_t(rng() % 2000000000000000000ULL) >> (rng() % 60);
        const double candidates[] = {
            double(n) / std::pow(10.0, int(rng() % 40)),
            double(rng() % 100000) / 7.0 * std::pow(10.0, int(rng() % 60) - 30),
            std::pow(10.0, int(rng() % 600) - 300),
            std::ldexp(1.0, int(rng() % 2098) - 1074),
        };
        for (double c : candidates)
            for (double d : {c, -c, std::nextafter(c, 0.0), std::nextafter(c, HUGE_VAL)})
                ASSERT_EQ(text(appendDouble, d), printfText("%.16g", d)) << std::hexfloat << d;
    }
}

TEST(ValueText, CurrencyHasFourDecimals) {
    EXPECT_EQ(text(appendCurrency, int64_t(35000)), "3.5000");
    EXPECT_EQ(text(appendCurrency, int64_t(474200)), "47.4200");
    EXPECT_EQ(text(appendCurrency, int64_t(0)), "0.0000");
    EXPECT_EQ(text(appendCurrency, int64_t(-1)), "-0.0001");
    EXPECT_EQ(text(appendCurrency, int64_t(-123456789)), "-12345.6789");
    EXPECT_EQ(text(appendCurrency, std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
    EXPECT_EQ(text(appendCurrency, std::numeric_limits<int64_t>::max()), "922337203685477.5807");
}

TEST(ValueText, DecimalKeepsScaleAndOneIntegerDigit) {
    auto dec = [](bool neg, unsigned __int128 m, int scale) {
        std::string s;
        appendDecimal(s, neg, m, scale);
        return s;
    };
    EXPECT_EQ(dec(false, 1, 0), "1");
    EXPECT_EQ(dec(true, 1, 0), "-1");
    EXPECT_EQ(dec(false, 0, 0), "0");
    EXPECT_EQ(dec(true, 0, 2), "0.00");  // no "-0.00"
    EXPECT_EQ(dec(false, 5, 1), "0.5");
    EXPECT_EQ(dec(false, 12345, 2), "123.45");
    EXPECT_EQ(dec(true, 7, 4), "-0.0007");
    unsigned __int128 max28 = 1;
    for (int i = 0; i < 28; ++i)
        max28 *= 10;
    EXPECT_EQ(dec(false, max28 - 1, 28), "0.9999999999999999999999999999");
    EXPECT_EQ(dec(false, ~(unsigned __int128)0, 0), "340282366920938463463374607431768211455");
    EXPECT_EQ(dec(false, 5, 99), dec(false, 5, 38));  // out-of-range scale is clamped
}

TEST(ValueText, DatesOnBothSidesOfTheEpoch) {
    EXPECT_EQ(dateText(0.0), "1899-12-30 00:00:00");
    EXPECT_EQ(dateText(2.5), "1900-01-01 12:00:00");
    EXPECT_EQ(dateText(60.0), "1900-02-28 00:00:00");
    EXPECT_EQ(dateText(61.0), "1900-03-01 00:00:00");  // 1900 is no leap year
    EXPECT_EQ(dateText(36526.0), "2000-01-01 00:00:00");
    EXPECT_EQ(dateText(36585.0), "2000-02-29 00:00:00");
    EXPECT_EQ(dateText(27293.0), "1974-09-21 00:00:00");
    EXPECT_EQ(dateText(44532.0), "2021-12-02 00:00:00");
    // Before 1899-12-30 the fraction still counts forwards from midnight.
    EXPECT_EQ(dateText(-1.25), "1899-12-29 06:00:00");
    EXPECT_EQ(dateText(-0.5), "1899-12-30 12:00:00");
    EXPECT_EQ(dateText(-94.43), "1899-09-27 10:19:12");
    EXPECT_EQ(dateText(-365.0), "1898-12-30 00:00:00");
    EXPECT_EQ(dateText(-657434.0), "0100-01-01 00:00:00");
    EXPECT_EQ(dateText(-463994.0), "0629-08-16 00:00:00");
    EXPECT_EQ(dateText(2958101.0), "9999-01-01 00:00:00");
    EXPECT_EQ(dateText(2958465.0 + 86399.0 / 86400.0), "9999-12-31 23:59:59");
}

TEST(ValueText, DatesRoundToTheSecondAndCarryOverMidnight) {
    EXPECT_EQ(dateText(1.0 + 0.4 / 86400.0), "1899-12-31 00:00:00");
    EXPECT_EQ(dateText(1.0 + 0.6 / 86400.0), "1899-12-31 00:00:01");
    EXPECT_EQ(dateText(1.0 - 0.1 / 86400.0), "1899-12-31 00:00:00");
    EXPECT_EQ(dateText(-1.0 - (86399.9 / 86400.0)), "1899-12-30 00:00:00");
    EXPECT_EQ(dateText(31.0 + 86399.7 / 86400.0), "1900-01-31 00:00:00");
}

TEST(ValueText, DatesWithoutCalendarDateStayNumbers) {
    EXPECT_EQ(dateText(-657435.0), "-657435");
    EXPECT_EQ(dateText(2958466.0), "2958466");
    EXPECT_EQ(dateText(2958465.999999999), "2958465.999999999");  // rounds into year 10000
    EXPECT_EQ(dateText(1e300), "1e+300");
    EXPECT_EQ(dateText(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(dateText(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(ValueText, EveryDayOfFourCenturiesRoundTrips) {
    // Walk day by day and check the calendar advances by exactly one day.
    DateTimeFields prev{};
    ASSERT_TRUE(splitDateTime(-657434.0, prev));
    static const int kDays[] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int d = -657433; d <= -657434 + 146097 * 2; ++d) {
        DateTimeFields f{};
        ASSERT_TRUE(splitDateTime(d, f));
        bool leap = (prev.year % 4 == 0 && prev.year % 100 != 0) || prev.year % 400 == 0;
        int monthLen = kDays[prev.month] + (prev.month == 2 && leap ? 1 : 0);
        if (prev.day < monthLen) {
            ASSERT_TRUE(f.year == prev.year && f.month == prev.month && f.day == prev.day + 1) << d;
        } else if (prev.month < 12) {
            ASSERT_TRUE(f.year == prev.year && f.month == prev.month + 1 && f.day == 1) << d;
        } else {
            ASSERT_TRUE(f.year == prev.year + 1 && f.month == 1 && f.day == 1) << d;
        }
        prev = f;
    }
}

TEST(ValueText, GuidGroupsAndHex) {
    // Stored bytes of {8E39276A-BCA8-4AC4-891E-49911D8438DD}.
    const uint8_t g[16] = {0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A,
                           0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD};
    std::string s;
    appendGuid(s, std::span<const uint8_t, 16>(g));
    EXPECT_EQ(s, "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
    s.clear();
    appendHex(s, std::span<const uint8_t>(g, 4));
    EXPECT_EQ(s, "6A27398E");
    s = "x";
    appendHex(s, {});
    EXPECT_EQ(s, "x");
}

TEST(ValueText, QuotingDoublesInnerQuotesAndKeepsLineBreaks) {
    EXPECT_EQ(text(appendQuoted, std::string_view("")), "\"\"");
    EXPECT_EQ(text(appendQuoted, std::string_view("a\"b")), "\"a\"\"b\"");
    EXPECT_EQ(text(appendQuoted, std::string_view("\"\"")), "\"\"\"\"\"\"");
    EXPECT_EQ(text(appendQuoted, std::string_view("New line\r\nin field")),
              "\"New line\r\nin field\"");
    EXPECT_EQ(text(appendQuoted, std::string_view("a,b\tc")), "\"a,b\tc\"");
}
