#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "provider/ProviderError.h"
#include "provider/RowIdList.h"
#include "provider/Recordset.h"
#include "provider/RowStore.h"

using namespace tessor::provider;

namespace {

std::vector<ColumnInfo> everyType() {
    const DataType types[] = {
        DataType::Boolean,   DataType::UnsignedTinyInt, DataType::SmallInt, DataType::Integer,
        DataType::Single,    DataType::Double,          DataType::Date,     DataType::Currency,
        DataType::Guid,      DataType::Numeric,         DataType::VarWChar, DataType::LongVarWChar,
        DataType::VarBinary, DataType::LongVarBinary};
    std::vector<ColumnInfo> cols;
    for (DataType t : types) {
        ColumnInfo c;
        c.name = "c" + std::to_string(static_cast<int>(t));
        c.type = t;
        cols.push_back(c);
    }
    return cols;
}

std::vector<Variant> sampleRow(int i) {
    Guid g;
    g.bytes[0] = static_cast<uint8_t>(i);
    g.bytes[15] = 0xEE;
    Decimal d;
    d.precision = 28;
    d.scale = 3;
    d.negative = i % 2 == 1;
    d.magnitude = {static_cast<uint32_t>(i * 1000 + 7), 1, 0, 0x0FFFFFFF};
    return {Variant(i % 2 == 0),
            Variant(static_cast<uint8_t>(i)),
            Variant(static_cast<int16_t>(-i)),
            Variant(int32_t{i * 100000}),
            Variant(i * 0.5f),
            Variant(i / 3.0),
            Variant(Date{-i - 0.25}),
            Variant(Currency{int64_t{i} * 12345}),
            Variant(g),
            Variant(d),
            Variant(std::string(static_cast<size_t>(i), 'x') + "é"),
            Variant(std::string(static_cast<size_t>(i) * 100, 'm')),
            Variant(Bytes(static_cast<size_t>(i), 0xAB)),
            Variant(Bytes(static_cast<size_t>(i) * 300, 0x01))};
}

}  // namespace

TEST(RowStore, EveryTypeReadsBackAsStored) {
    RowStore store(everyType());
    for (int i = 0; i < 200; ++i) {
        auto row = sampleRow(i);
        store.appendRow(row);
    }
    std::vector<Variant> nulls(store.columnCount(), Variant::null());
    store.appendRow(nulls);
    ASSERT_EQ(store.rowCount(), 201u);
    for (int i = 0; i < 200; i += 37) {
        const auto row = sampleRow(i);
        for (size_t c = 0; c < row.size(); ++c)
            EXPECT_EQ(store.value(i, c), row[c]) << i << "/" << c;
    }
    for (size_t c = 0; c < store.columnCount(); ++c) {
        EXPECT_TRUE(store.isNull(200, c));
        EXPECT_TRUE(store.value(200, c).isNull());
    }
}

TEST(RowStore, WrongKindIsRefusedAndLeavesTheStoreAsItWas) {
    RowStore store(everyType());
    auto row = sampleRow(3);
    store.appendRow(row);
    row[5] = Variant("not a double");
    EXPECT_THROW(store.appendRow(row), ProviderError);
    EXPECT_EQ(store.rowCount(), 1u);
    EXPECT_THROW(store.setValue(0, 3, Variant(int16_t{1})), ProviderError);
    EXPECT_EQ(store.value(0, 3), Variant(int32_t{300000}));
    EXPECT_THROW(store.appendRow(std::vector<Variant>(3)), ProviderError);
    // The row after a refused one lines up with its neighbours.
    auto next = sampleRow(4);
    store.appendRow(next);
    EXPECT_EQ(store.value(1, 10), next[10]);
    EXPECT_EQ(store.value(1, 0), next[0]);
}

TEST(RowStore, ChangesAndDeletionsKeepTheOtherRows) {
    RowStore store(everyType());
    for (int i = 0; i < 150; ++i) {
        auto row = sampleRow(i);
        store.appendRow(row);
    }
    // Rewrite one text many times: the arena reclaims the old values.
    for (int k = 0; k < 2000; ++k)
        store.setValue(10, 11, Variant(std::string(1000 + static_cast<size_t>(k), 'z')));
    EXPECT_EQ(store.value(10, 11).toText().size(), 2999u);
    EXPECT_LT(store.memoryBytes(), 8u * 1024 * 1024);
    store.setValue(11, 10, Variant::null());
    EXPECT_TRUE(store.isNull(11, 10));
    store.setValue(11, 10, Variant("back"));
    EXPECT_EQ(store.value(11, 10).toText(), "back");
    // Delete rows at and around the 64-row boundary of the bit vectors.
    for (size_t r : {149u, 64u, 63u, 0u})
        store.eraseRow(r);
    ASSERT_EQ(store.rowCount(), 146u);
    // Row 0 was sample 1; row 62 was 63 before 0 went: sample 64 and 63 are gone, so 65.
    const int expected[] = {1, 2, 62, 65, 148};
    const size_t at[] = {0, 1, 61, 62, 145};
    for (int k = 0; k < 5; ++k) {
        const auto row = sampleRow(expected[k]);
        for (size_t c = 0; c < row.size(); ++c)
            EXPECT_EQ(store.value(at[k], c), row[c]) << expected[k] << "/" << c;
    }
}

// Random appends, changes and deletions against a plain table of values: texts of every
// length class (empty, one length byte, two), nulls appearing in columns that had none, rows
// crossing block and word boundaries, and enough rewriting that the arenas are compacted.
TEST(RowStore, RandomChangesMatchAPlainModel) {
    const std::vector<ColumnInfo> cols = {{"Id", DataType::Integer},
                                          {"Name", DataType::VarWChar},
                                          {"Blob", DataType::LongVarBinary},
                                          {"Flag", DataType::Boolean},
                                          {"Note", DataType::LongVarWChar}};
    std::mt19937 rng(11);
    auto randomValue = [&](size_t col) -> Variant {
        if (rng() % 6 == 0) return Variant::null();
        const size_t len = rng() % 4 == 0 ? 100 + rng() % 300 : rng() % 9;
        switch (col) {
            case 0:
                return Variant(static_cast<int32_t>(rng()));
            case 2:
                return Variant(Bytes(len, static_cast<uint8_t>(rng())));
            case 3:
                return Variant(rng() % 2 == 0);
            default:
                return Variant(std::string(len, static_cast<char>('a' + rng() % 26)));
        }
    };
    auto randomRow = [&] {
        std::vector<Variant> row;
        for (size_t c = 0; c < cols.size(); ++c)
            row.push_back(c == 0 || rng() % 2 ? randomValue(c) : Variant("same"));
        if (row[2].type() == VariantType::Text) row[2] = Variant::null();
        if (row[3].type() == VariantType::Text) row[3] = Variant(false);
        return row;
    };
    RowStore store(cols);
    std::vector<std::vector<Variant>> model;
    for (int step = 0; step < 6000; ++step) {
        const unsigned op = rng() % 100;
        if (op < 35 || model.size() < 40) {
            model.push_back(randomRow());
            store.appendRow(model.back());
        } else if (op < 95) {
            const size_t r = rng() % model.size();
            const size_t c = 1 + rng() % (cols.size() - 1);
            Variant v = randomValue(c);
            store.setValue(r, c, v);
            model[r][c] = std::move(v);
        } else if (op < 98) {
            const size_t r = rng() % model.size();
            store.eraseRow(r);
            model.erase(model.begin() + static_cast<long>(r));
        } else {
            std::vector<bool> gone(model.size());
            std::vector<std::vector<Variant>> kept;
            for (size_t r = 0; r < model.size(); ++r) {
                gone[r] = rng() % 3 == 0;
                if (!gone[r]) kept.push_back(model[r]);
            }
            store.eraseRows(gone);
            model.swap(kept);
        }
        if (step % 500 != 499) continue;
        ASSERT_EQ(store.rowCount(), model.size());
        size_t data = 0;
        for (size_t r = 0; r < model.size(); ++r) {
            for (size_t c = 0; c < cols.size(); ++c) {
                const Variant& want = model[r][c];
                ASSERT_EQ(store.value(r, c), want) << step << " " << r << "/" << c;
                ASSERT_EQ(store.isNull(r, c), want.isNull()) << r << "/" << c;
                if (want.isNull()) continue;
                if (want.type() == VariantType::Text)
                    data += want.toText().size();
                else if (want.type() == VariantType::Bytes)
                    data += want.toBytes().size();
                else
                    data += c == 0 ? 4 : 1;
            }
        }
        ASSERT_EQ(store.dataBytes(), data);
    }
    // Rewriting has not let the arenas grow past twice their live values.
    EXPECT_LT(store.memoryBytes(), 2 * store.dataBytes() + 64 * 1024);
}

// Ids in runs (as a scan reads them), with gaps and pages, then removed one by one and in
// sets: the list gives back what a plain vector does, in a handful of runs.
TEST(RowIdList, RunsGiveBackEveryId) {
    std::mt19937 rng(5);
    RowIdList ids;
    std::vector<uint32_t> model;
    for (uint32_t page = 3; page < 60; ++page)
        for (uint32_t slot = 0; slot < 40; ++slot)
            if (rng() % 30 != 0) {
                model.push_back(page << 8 | slot);
                ids.pushBack(model.back());
            }
    ids.pushBack(7u << 8);  // a row added later, on an older page
    model.push_back(7u << 8);
    EXPECT_LT(ids.memoryBytes(), model.size());  // under a byte a row
    for (int round = 0; round < 40; ++round) {
        if (round % 4 == 3) {
            std::vector<bool> gone(model.size());
            std::vector<uint32_t> kept;
            for (size_t i = 0; i < model.size(); ++i)
                if (!(gone[i] = rng() % 5 == 0)) kept.push_back(model[i]);
            ids.eraseMarked(gone);
            model.swap(kept);
        } else {
            const size_t at = rng() % model.size();
            ids.erase(at);
            model.erase(model.begin() + static_cast<long>(at));
        }
        ASSERT_EQ(ids.size(), model.size());
        for (size_t i = 0; i < model.size(); ++i)
            ASSERT_EQ(ids[i], model[i]) << round << " " << i;
    }
}

// A table of the kind the program holds: an id, a few short texts, a date, a number, a flag.
// The snapshot, with its sort permutation, must stay within 1.3 times the size of the data it
// holds (short texts cost a length byte each, and a null text one byte).
TEST(RowStore, SnapshotOfAHundredThousandRowsCostsLittleMoreThanItsData) {
    std::vector<ColumnInfo> cols = {{"ID", DataType::Integer},     {"First", DataType::VarWChar},
                                    {"Last", DataType::VarWChar},  {"City", DataType::VarWChar},
                                    {"Photo", DataType::VarWChar}, {"Born", DataType::Date},
                                    {"Score", DataType::Double},   {"Printed", DataType::Boolean}};
    auto store = std::make_unique<RowStore>(cols);
    const char* firsts[] = {"Anna", "Benedikt", "Chloé", "Dmitri", "Eva", "François"};
    const char* cities[] = {"Berlin", "Zürich", "Paris", "Wien", "København"};
    std::vector<Variant> row(cols.size());
    const int n = 100000;
    store->reserve(n);
    for (int i = 0; i < n; ++i) {
        row[0] = Variant(int32_t{i});
        row[1] = Variant(firsts[i % 6]);
        row[2] = Variant("Surname" + std::to_string(i));
        row[3] = Variant(cities[i % 5]);
        row[4] = Variant("photos/card" + std::to_string(i) + ".jpg");
        row[5] = Variant(Date{30000.0 + i % 9000});
        row[6] = i % 10 == 0 ? Variant::null() : Variant(i * 0.25);
        row[7] = Variant(i % 3 == 0);
        store->appendRow(row);
    }
    store->shrinkToFit();
    auto rs = Recordset::create();
    rs->openSnapshot(std::move(store));
    const auto t0 = std::chrono::steady_clock::now();
    rs->setSort("City DESC, Last");
    const auto t1 = std::chrono::steady_clock::now();
    rs->find("Photo like '*card99999.jpg'", 0);
    const auto t2 = std::chrono::steady_clock::now();
    EXPECT_FALSE(rs->isEOF());
    // Reading every cell by position, as a grid painting all rows would.
    size_t chars = 0;
    for (long p = 0; p < rs->recordCount(); ++p)
        chars += rs->textAt(p, 2).size();
    const auto t3 = std::chrono::steady_clock::now();
    EXPECT_GT(chars, 0u);
    auto ms = [](auto a, auto b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    std::printf(
        "100k rows: sort by two texts %.1f ms, find by LIKE %.1f ms, read one column %.1f ms\n",
        ms(t0, t1), ms(t1, t2), ms(t2, t3));
    const double ratio = static_cast<double>(rs->memoryBytes()) / rs->dataBytes();
    RecordProperty("memory_bytes", std::to_string(rs->memoryBytes()));
    RecordProperty("data_bytes", std::to_string(rs->dataBytes()));
    std::printf("snapshot: %zu bytes for %zu bytes of data (%.2fx)\n", rs->memoryBytes(),
                rs->dataBytes(), ratio);
    EXPECT_LE(ratio, 1.3);
    EXPECT_EQ(rs->valueAt(0, 3).toText(), "Zürich");
}
