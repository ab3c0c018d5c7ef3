#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/IndexEntry.h"
#include "index/IndexKeyEncoder.h"
#include "index/KeyWriter.h"
#include "index/TextCodeTable.h"

using jet::index::CharCodes;
using jet::index::IndexEntry;
using jet::index::IndexKeyEncoder;
using jet::index::KeyWriter;
using jet::index::TextCodeTable;
using jet::index::TextSortOrder;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes textKey(const std::string& utf8, bool ascending = true,
              TextSortOrder order = TextSortOrder::GeneralLegacy) {
    Bytes out;
    KeyWriter(out).appendText(IndexKeyEncoder::toUtf16(utf8), order, ascending);
    return out;
}

}  // namespace

// Keys that Access wrote into real files.
TEST(TextKeyGeneralLegacy, MatchesKeysAccessWrote) {
    EXPECT_EQ(textKey("a"), (Bytes{0x7F, 0x4A, 0x01, 0x00}));
    EXPECT_EQ(textKey("abcdefg"),
              (Bytes{0x7F, 0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x01, 0x00}));
    EXPECT_EQ(textKey("DataAccessPages"),
              (Bytes{0x7F, 0x4F, 0x4A, 0x6D, 0x4A, 0x4A, 0x4D, 0x4D, 0x51, 0x6B, 0x6B, 0x66, 0x4A,
                     0x55, 0x51, 0x6B, 0x01, 0x00}));
    EXPECT_EQ(textKey("México D.F."), (Bytes{0x7F, 0x60, 0x51, 0x75, 0x59, 0x4D, 0x64, 0x07, 0x4F,
                                             0x1C, 0x53, 0x1C, 0x01, 0x02, 0x0E, 0x00}));
    EXPECT_EQ(textKey("A", false), (Bytes{0x80, 0xB5, 0xFE, 0xFF, 0x00}));
}

TEST(TextKeyGeneralLegacy, UnprintablePositionsCountSortWeights) {
    // ß sorts as two letters, so the hyphen after it sits at weight position 3
    EXPECT_EQ(textKey("Aß-B"), (Bytes{0x7F, 0x4A, 0x6B, 0x6B, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80,
                                      0x13, 0x06, 0x82, 0x00}));
    const Bytes anne = textKey("ANNE-MARIE");
    const Bytes record{0x80, 0x17, 0x06, 0x82};
    EXPECT_NE(std::search(anne.begin(), anne.end(), record.begin(), record.end()), anne.end());
}

TEST(TextKeyGeneralLegacy, FoldsCaseAndDropsTrailingSpaces) {
    EXPECT_EQ(textKey("Smith"), textKey("SMITH"));
    EXPECT_EQ(textKey("Smith   "), textKey("Smith"));
    EXPECT_NE(textKey(" Smith"), textKey("Smith"));
    // only the first 255 characters count
    EXPECT_EQ(textKey(std::string(255, 'x') + "abc"), textKey(std::string(255, 'x') + "xyz"));
    EXPECT_NE(textKey(std::string(254, 'x') + "abc"), textKey(std::string(254, 'x') + "xyz"));
}

TEST(TextKeyGeneralLegacy, SortsLikeText) {
    const std::vector<std::string> sorted{"",  "1", "10", "2",  "a",     "à",    "ab",    "abc",
                                          "b", "c", "ç",  "cz", "Zebra", "zulu", "zürich"};
    for (bool asc : {true, false}) {
        for (size_t i = 1; i < sorted.size(); ++i) {
            const Bytes a = textKey(sorted[i - 1], asc);
            const Bytes b = textKey(sorted[i], asc);
            EXPECT_EQ(IndexEntry::compareKeys(a, b) < 0, asc)
                << sorted[i - 1] << " / " << sorted[i] << (asc ? " asc" : " desc");
        }
    }
}

TEST(TextKeyGeneralLegacy, WholeBasicPlaneEncodes) {
    // every code unit has an entry; the frame stays well formed
    size_t ignored = 0;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        const CharCodes codes = TextCodeTable::generalLegacy(static_cast<char16_t>(c));
        if (codes.kind == CharCodes::Kind::Ignored) ++ignored;
        std::u16string s(1, static_cast<char16_t>(c));
        Bytes out;
        KeyWriter(out).appendText(s, TextSortOrder::GeneralLegacy, true);
        ASSERT_GE(out.size(), 3u) << c;
        EXPECT_EQ(out.front(), 0x7F);
        EXPECT_EQ(out.back(), 0x00);
    }
    // the measured table leaves about 19,000 code units (and the surrogates) out
    EXPECT_GT(ignored, 19000u);
    EXPECT_LT(ignored, 23000u);
    // CJK ideographs have two-byte codes that count up with the code unit
    const CharCodes a = TextCodeTable::generalLegacy(u'\u4E00');
    const CharCodes b = TextCodeTable::generalLegacy(u'\u4E01');
    ASSERT_EQ(a.inlineLen, 2);
    ASSERT_EQ(b.inlineLen, 2);
    EXPECT_TRUE(IndexEntry::compareKeys(Bytes(a.inlineBytes().begin(), a.inlineBytes().end()),
                                        Bytes(b.inlineBytes().begin(), b.inlineBytes().end())) < 0);
}

TEST(TextKeyGeneralLegacy, SurrogatePairsAreComputed) {
    // U+1F600 is D83D DE00
    const Bytes k = textKey("\xF0\x9F\x98\x80");
    ASSERT_GE(k.size(), 6u);
    EXPECT_EQ(k[1], (0xD83D - 10238) >> 8);
    EXPECT_EQ(k[2], (0xD83D - 10238) & 0xFF);
}

TEST(TextKeyGeneral97, FoldsCaseAndKeepsAccentsAfterTheLetters) {
    const Bytes a = textKey("abc", true, TextSortOrder::General97);
    EXPECT_EQ(a, (Bytes{0x7F, 0x60, 0x61, 0x62, 0x00}));
    EXPECT_EQ(textKey("ABC", true, TextSortOrder::General97), a);
    const Bytes accented = textKey("abé", true, TextSortOrder::General97);
    // same letters first, then the accent section
    ASSERT_GT(accented.size(), 4u);
    EXPECT_EQ(accented[1], 0x60);
    EXPECT_TRUE(IndexEntry::compareKeys(a, accented) < 0);
    EXPECT_EQ(textKey("abc", false, TextSortOrder::General97),
              (Bytes{0x80, 0x9F, 0x9E, 0x9D, 0xFF}));
    // the euro sign (U+20AC) maps back onto its single-byte code
    EXPECT_EQ(textKey("\xE2\x82\xAC", true, TextSortOrder::General97),
              textKey("\xC2\x80", true, TextSortOrder::General97));
}

TEST(TextKeyEncoding, Utf8ConversionSurvivesBadInput) {
    EXPECT_EQ(IndexKeyEncoder::toUtf16("a\xC3"), (std::u16string{u'a', 0xFFFD}));
    EXPECT_EQ(IndexKeyEncoder::toUtf16("\xE4\xB8\x80"), std::u16string(1, u'\u4E00'));
    EXPECT_EQ(IndexKeyEncoder::toUtf16("\xFF"), std::u16string(1, char16_t(0xFFFD)));
}
