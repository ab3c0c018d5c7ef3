#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "index/IndexEntry.h"
#include "index/KeyWriter.h"

using jet::index::IndexEntry;
using jet::index::KeyWriter;
using Bytes = std::vector<uint8_t>;

namespace {

template <typename F>
Bytes key(F&& f) {
    Bytes out;
    KeyWriter w(out);
    f(w);
    return out;
}

bool less(const Bytes& a, const Bytes& b) {
    return IndexEntry::compareKeys(a, b) < 0;
}

// Encodes every value both ways and checks that byte order is value order
// ascending and the reverse descending.
template <typename T, typename Append>
void expectOrderPreserved(std::vector<T> values, Append append) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (size_t i = 1; i < values.size(); ++i) {
        const Bytes a0 = key([&](KeyWriter& w) { append(w, values[i - 1], true); });
        const Bytes a1 = key([&](KeyWriter& w) { append(w, values[i], true); });
        const Bytes d0 = key([&](KeyWriter& w) { append(w, values[i - 1], false); });
        const Bytes d1 = key([&](KeyWriter& w) { append(w, values[i], false); });
        EXPECT_TRUE(less(a0, a1)) << "ascending " << +values[i - 1] << " vs " << +values[i];
        EXPECT_TRUE(less(d1, d0)) << "descending " << +values[i - 1] << " vs " << +values[i];
    }
}

}  // namespace

TEST(KeyWriter, KnownIntegerKeys) {
    EXPECT_EQ(key([](KeyWriter& w) { w.appendInteger(19, 4, true); }),
              (Bytes{0x7F, 0x80, 0x00, 0x00, 0x13}));
    // MSysObjects ids have the top bit set and sort below zero
    EXPECT_EQ(key([](KeyWriter& w) { w.appendInteger(int32_t(0x80000000u), 4, true); }),
              (Bytes{0x7F, 0x00, 0x00, 0x00, 0x00}));
    // a descending Long as Access stores it (value 4813)
    EXPECT_EQ(key([](KeyWriter& w) { w.appendInteger(4813, 4, false); }),
              (Bytes{0x80, 0x7F, 0xFF, 0xED, 0x32}));
    EXPECT_EQ(key([](KeyWriter& w) { w.appendInteger(-1, 2, true); }), (Bytes{0x7F, 0x7F, 0xFF}));
}

TEST(KeyWriter, NullsSortFirstAscendingAndLastDescending) {
    const Bytes nullAsc = key([](KeyWriter& w) { w.appendNull(true); });
    const Bytes nullDesc = key([](KeyWriter& w) { w.appendNull(false); });
    const Bytes minAsc = key([](KeyWriter& w) { w.appendInteger(INT32_MIN, 4, true); });
    const Bytes maxDesc = key([](KeyWriter& w) { w.appendInteger(INT32_MIN, 4, false); });
    EXPECT_EQ(nullAsc, Bytes{0x00});
    EXPECT_EQ(nullDesc, Bytes{0xFF});
    EXPECT_TRUE(less(nullAsc, minAsc));
    EXPECT_TRUE(less(maxDesc, nullDesc));
}

TEST(KeyWriter, IntegersKeepTheirOrder) {
    std::mt19937_64 rng(7);
    std::vector<int16_t> i16{INT16_MIN, -1, 0, 1, INT16_MAX};
    std::vector<int32_t> i32{INT32_MIN, -256, -1, 0, 1, 255, 256, INT32_MAX};
    std::vector<int64_t> i64{INT64_MIN, -10000, 0, 10000, INT64_MAX};
    for (int i = 0; i < 300; ++i) {
        i16.push_back(static_cast<int16_t>(rng()));
        i32.push_back(static_cast<int32_t>(rng()));
        i64.push_back(static_cast<int64_t>(rng()));
    }
    expectOrderPreserved(i16, [](KeyWriter& w, int16_t v, bool a) { w.appendInteger(v, 2, a); });
    expectOrderPreserved(i32, [](KeyWriter& w, int32_t v, bool a) { w.appendInteger(v, 4, a); });
    expectOrderPreserved(i64, [](KeyWriter& w, int64_t v, bool a) { w.appendInteger(v, 8, a); });
    std::vector<uint8_t> bytes;
    for (int v = 0; v < 256; ++v)
        bytes.push_back(static_cast<uint8_t>(v));
    expectOrderPreserved(bytes, [](KeyWriter& w, uint8_t v, bool a) { w.appendByte(v, a); });
}

TEST(KeyWriter, FloatsAndDatesKeepTheirOrder) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> wide(-1e12, 1e12);
    std::vector<double> doubles{-std::numeric_limits<double>::infinity(),
                                -1e300,
                                -1.25,
                                -1.0,
                                -std::numeric_limits<double>::denorm_min(),
                                0.0,
                                std::numeric_limits<double>::denorm_min(),
                                0.5,
                                36526.75,
                                2958465.99,
                                std::numeric_limits<double>::infinity()};
    std::vector<float> floats{-std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::max(),
                              -1.0f,
                              -1e-30f,
                              0.0f,
                              1e-30f,
                              1.0f,
                              std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 300; ++i) {
        doubles.push_back(wide(rng));
        floats.push_back(static_cast<float>(wide(rng)));
    }
    expectOrderPreserved(doubles, [](KeyWriter& w, double v, bool a) { w.appendDouble(v, a); });
    expectOrderPreserved(floats, [](KeyWriter& w, float v, bool a) { w.appendSingle(v, a); });
}

TEST(KeyWriter, GuidIsCanonicalOrderInTwoChunks) {
    // {01020304-0506-0708-090A-0B0C0D0E0F10} as a row stores it
    const std::array<uint8_t, 16> stored{4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(key([&](KeyWriter& w) { w.appendGuid(stored, true); }),
              (Bytes{0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 0x09, 9, 10, 11, 12, 13, 14, 15, 16, 0x08}));
    const Bytes desc = key([&](KeyWriter& w) { w.appendGuid(stored, false); });
    ASSERT_EQ(desc.size(), 19u);
    EXPECT_EQ(desc[0], 0x80);
    EXPECT_EQ(desc[9], 0x09);  // the chunk marker stays as is
    EXPECT_EQ(desc[1], 0xFE);
    EXPECT_EQ(desc[18], 0xF7);  // the final length is inverted
}

TEST(KeyWriter, BinaryChunksOrderByContentThenLength) {
    const Bytes a = key([](KeyWriter& w) { w.appendBinary(Bytes{1, 2, 3}, true); });
    EXPECT_EQ(a, (Bytes{0x7F, 1, 2, 3, 0, 0, 0, 0, 0, 3}));
    const Bytes ab = key([](KeyWriter& w) { w.appendBinary(Bytes{1, 2, 3, 0}, true); });
    const Bytes nine = key([](KeyWriter& w) {
        w.appendBinary(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}, true);
    });
    EXPECT_EQ(nine, (Bytes{0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 0x09, 9, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(less(a, ab));
    const Bytes empty = key([](KeyWriter& w) { w.appendBinary(Bytes{}, true); });
    EXPECT_EQ(empty, Bytes{0x7F});
}

TEST(KeyWriter, BooleanTrueSortsFirst) {
    EXPECT_EQ(key([](KeyWriter& w) { w.appendBoolean(true, true); }), (Bytes{0x7F, 0x00}));
    EXPECT_EQ(key([](KeyWriter& w) { w.appendBoolean(false, true); }), (Bytes{0x7F, 0xFF}));
    EXPECT_EQ(key([](KeyWriter& w) { w.appendBoolean(true, false); }), (Bytes{0x80, 0xFF}));
    EXPECT_EQ(key([](KeyWriter& w) { w.appendBoolean(false, false); }), (Bytes{0x80, 0x00}));
}

TEST(KeyWriter, DecimalUsesTheLegacyDescendingOrder) {
    const Bytes one = key([](KeyWriter& w) { w.appendDecimal(false, 0, 1, true); });
    const Bytes minusOne = key([](KeyWriter& w) { w.appendDecimal(true, 0, 1, true); });
    const Bytes two = key([](KeyWriter& w) { w.appendDecimal(false, 0, 2, true); });
    ASSERT_EQ(one.size(), 18u);
    EXPECT_EQ(one[1], 0xFF);
    EXPECT_EQ(one[17], 0x01);
    EXPECT_EQ(minusOne[1], 0x00);
    EXPECT_EQ(minusOne[17], 0xFE);
    EXPECT_TRUE(less(minusOne, one));
    EXPECT_TRUE(less(one, two));
    // Jet 4 descending: the sign byte is not inverted, so positives still sort
    // after negatives (the ordering Access 2000-2003 writes)
    const Bytes oneDesc = key([](KeyWriter& w) { w.appendDecimal(false, 0, 1, false); });
    const Bytes twoDesc = key([](KeyWriter& w) { w.appendDecimal(false, 0, 2, false); });
    const Bytes minusDesc = key([](KeyWriter& w) { w.appendDecimal(true, 0, 1, false); });
    EXPECT_EQ(oneDesc[1], 0xFF);
    EXPECT_TRUE(less(twoDesc, oneDesc));
    EXPECT_TRUE(less(minusDesc, oneDesc));
}
