#include <gtest/gtest.h>

#include <random>

#include "index/IndexPage.h"
#include "jet/Error.h"

using jet::Format;
using jet::Page;
using jet::RowId;
using jet::index::IndexEntry;
using jet::index::IndexPage;
using jet::index::IndexPageLayout;

namespace {

IndexEntry leafEntry(std::vector<uint8_t> key, uint32_t page, uint8_t row) {
    IndexEntry e;
    e.key = std::move(key);
    e.row = RowId{page, row};
    return e;
}

IndexPage sampleLeaf(size_t count) {
    IndexPage p;
    p.leaf = true;
    p.owner = 0x21;
    p.prevPage = 7;
    p.nextPage = 9;
    for (size_t i = 0; i < count; ++i)
        p.entries.push_back(leafEntry({0x7F, 0x80, 0x00, 0x01, static_cast<uint8_t>(i / 8)}, 0x14,
                                      static_cast<uint8_t>(i)));
    return p;
}

IndexPage reparse(const IndexPage& p, Format format, std::optional<uint16_t> prefix = {}) {
    return IndexPage::parse(Page(5, p.serialize(format, prefix)), format);
}

void expectCorrupt(std::vector<uint8_t> bytes, Format format) {
    try {
        IndexPage::parse(Page(3, std::move(bytes)), format);
        ADD_FAILURE() << "damaged page was accepted";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::hr::kCorrupt);
        EXPECT_NE(std::string(e.what()).find("index page 3"), std::string::npos) << e.what();
    }
}

}  // namespace

TEST(IndexPage, LeafRoundTripsWithSharedPrefix) {
    for (Format format : {Format::Jet4, Format::Jet3}) {
        const IndexPage p = sampleLeaf(40);
        const std::vector<uint8_t> bytes = p.serialize(format);
        const IndexPageLayout& layout = IndexPageLayout::of(format);
        // 40 entries share four key bytes
        EXPECT_EQ(IndexPage::commonPrefix(p.entries, true), 4);
        const IndexPage q = IndexPage::parse(Page(5, bytes), format);
        EXPECT_EQ(q.prefixLength, 4);
        EXPECT_EQ(q.storedEntryBytes, 9u + 39u * 5u);
        EXPECT_EQ(q.freeSpace, layout.pageSize - layout.entries - q.storedEntryBytes);
        EXPECT_TRUE(q.leaf);
        EXPECT_EQ(q.owner, 0x21u);
        EXPECT_EQ(q.prevPage, 7u);
        EXPECT_EQ(q.nextPage, 9u);
        ASSERT_EQ(q.entries.size(), p.entries.size());
        for (size_t i = 0; i < p.entries.size(); ++i) {
            EXPECT_EQ(q.entries[i].key, p.entries[i].key);
            EXPECT_EQ(q.entries[i].row, p.entries[i].row);
        }
        // without sharing the same entries come back too
        EXPECT_EQ(reparse(p, format, 0).entries.size(), 40u);
    }
}

TEST(IndexPage, PrefixReachesIntoTheRowPointerForDuplicateKeys) {
    IndexPage p = sampleLeaf(8);  // one key, rows 0..7 of one data page
    EXPECT_EQ(IndexPage::commonPrefix(p.entries, true), 8);
    const IndexPage q = reparse(p, Format::Jet4);
    EXPECT_EQ(q.prefixLength, 8);
    EXPECT_EQ(q.storedEntryBytes, 9u + 7u);
    ASSERT_EQ(q.entries.size(), 8u);
    EXPECT_EQ(q.entries[7].row, (RowId{0x14, 7}));
    EXPECT_EQ(q.entries[7].key, p.entries[7].key);
    // one entry alone shares nothing
    EXPECT_EQ(IndexPage::commonPrefix(sampleLeaf(1).entries, true), 0);
}

TEST(IndexPage, NodeKeepsChildPointersAndTail) {
    IndexPage p;
    p.leaf = false;
    p.level = 1;
    p.tailPage = 0x0102;
    p.entries.push_back(leafEntry({0x7F, 0x10}, 0x30, 1));
    p.entries.back().child = 0x00AB0011;
    p.entries.push_back(leafEntry({0x7F, 0x20}, 0x31, 2));
    p.entries.back().child = 0x12;
    const IndexPage q = reparse(p, Format::Jet4);
    EXPECT_FALSE(q.leaf);
    EXPECT_EQ(q.prefixLength, 0);  // nodes share no prefix, as Access writes them
    EXPECT_EQ(q.level, 1);
    EXPECT_EQ(q.tailPage, 0x0102u);
    ASSERT_EQ(q.entries.size(), 2u);
    EXPECT_EQ(q.entries[0].child, 0x00AB0011u);
    EXPECT_EQ(q.entries[1].key, (std::vector<uint8_t>{0x7F, 0x20}));
    EXPECT_EQ(q.entries[1].row, (RowId{0x31, 2}));
}

TEST(IndexPage, SerializeRefusesWhatCannotBeStored) {
    IndexPage p = sampleLeaf(3);
    EXPECT_THROW(p.serialize(Format::Jet4, 20), jet::Error);  // longer than what is shared
    IndexPage big;
    for (int i = 0; i < 400; ++i)
        big.entries.push_back(leafEntry(std::vector<uint8_t>(12, static_cast<uint8_t>(i)), 1, 1));
    EXPECT_THROW(big.serialize(Format::Jet4, 0), jet::Error);
    // an exactly full page still fits
    IndexPage full;
    const uint32_t area = IndexPageLayout::of(Format::Jet3).maxEntryBytes();
    for (uint32_t used = 0; used + 10 <= area; used += 10)
        full.entries.push_back(leafEntry(
            {0x7F, static_cast<uint8_t>(used >> 8), static_cast<uint8_t>(used), 1, 2, 3}, 1, 1));
    ASSERT_EQ(area % 10, 0u);
    const IndexPage q = reparse(full, Format::Jet3, 0);
    EXPECT_EQ(q.entries.size(), full.entries.size());
    EXPECT_EQ(q.storedEntryBytes, area);
    EXPECT_EQ(q.freeSpace, 2048u - 0xF8u - area);
    full.entries.push_back(full.entries.back());
    EXPECT_THROW(full.serialize(Format::Jet3, 0), jet::Error);
}

TEST(IndexPage, DamagedPagesAreRefusedWithAClearError) {
    const std::vector<uint8_t> good = sampleLeaf(5).serialize(Format::Jet4);
    const IndexPageLayout& l = IndexPageLayout::of(Format::Jet4);

    auto wrongType = good;
    wrongType[0] = 0x01;
    expectCorrupt(wrongType, Format::Jet4);

    auto pastEnd = good;
    pastEnd[l.mask + l.maskSize - 1] |= 0x80;  // bit 3623 > 3616 bytes of entry area
    expectCorrupt(pastEnd, Format::Jet4);

    auto longPrefix = good;
    longPrefix[l.prefixLength] = 60;
    expectCorrupt(longPrefix, Format::Jet4);

    auto shortEntry = good;
    std::fill(shortEntry.begin() + l.mask, shortEntry.begin() + l.mask + l.maskSize, 0);
    shortEntry[l.prefixLength] = 0;
    shortEntry[l.mask] = 0x08;  // one entry of 3 bytes: too short for a row pointer
    expectCorrupt(shortEntry, Format::Jet4);

    auto prefixNoEntries = good;
    std::fill(prefixNoEntries.begin() + l.mask, prefixNoEntries.begin() + l.mask + l.maskSize, 0);
    expectCorrupt(prefixNoEntries, Format::Jet4);

    expectCorrupt(std::vector<uint8_t>(100, 0x04), Format::Jet4);  // not a whole page
}

TEST(IndexPage, RandomDamageNeverCrashes) {
    std::mt19937 rng(1234);
    for (Format format : {Format::Jet4, Format::Jet3}) {
        const std::vector<uint8_t> good = sampleLeaf(60).serialize(format);
        const IndexPageLayout& l = IndexPageLayout::of(format);
        for (int round = 0; round < 3000; ++round) {
            std::vector<uint8_t> bytes = good;
            const int flips = 1 + static_cast<int>(rng() % 8);
            for (int i = 0; i < flips; ++i) {
                // aim at the header, the mask and the first entries
                const size_t at = rng() % (l.entries + 200);
                bytes[at] = static_cast<uint8_t>(rng());
            }
            try {
                const IndexPage p = IndexPage::parse(Page(1, bytes), format);
                for (const IndexEntry& e : p.entries)
                    EXPECT_LE(e.key.size(), l.pageSize);
            } catch (const jet::Error& e) {
                EXPECT_EQ(e.code(), jet::hr::kCorrupt);
            }
        }
    }
}
