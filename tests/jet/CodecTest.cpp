// Codecs that everything else rests on: RC4, the header mask, text, dates, numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/TextCodec.h"
#include "jet/Error.h"
#include "jet/Value.h"
#include "page/DatabaseHeader.h"
#include "page/Rc4.h"

using namespace jet;

TEST(Rc4, KnownAnswer) {
    // Published test vector: key "Key", plaintext "Plaintext".
    const uint8_t key[] = {'K', 'e', 'y'};
    uint8_t data[] = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
    Rc4(key, 3).apply(data, sizeof data);
    const uint8_t expected[] = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
    EXPECT_EQ(0, std::memcmp(data, expected, sizeof data));
}

TEST(Rc4, HeaderKeystreamDeobfuscatesFreshHeader) {
    uint8_t stream[8] = {};
    Rc4::applyWithKey32(DatabaseHeader::kHeaderKey, stream, 8);
    const uint8_t expected[] = {0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55};
    EXPECT_EQ(0, std::memcmp(stream, expected, 8));
    // Raw bytes of a fresh database at 0x18 come out as the constants 0x100, 0x101.
    uint8_t raw[8];
    const uint8_t plain[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00};
    for (int i = 0; i < 8; ++i)
        raw[i] = plain[i] ^ expected[i];
    Rc4::applyWithKey32(DatabaseHeader::kHeaderKey, raw, 8);
    EXPECT_EQ(0, std::memcmp(raw, plain, 8));
}

TEST(Rc4, PageKeyDependsOnPageNumber) {
    std::vector<uint8_t> a(64, 0), b(64, 0);
    Rc4::applyWithKey32(0xA7B773E0 ^ 5, a.data(), a.size());
    Rc4::applyWithKey32(0xA7B773E0 ^ 6, b.data(), b.size());
    EXPECT_NE(a, b);
    Rc4::applyWithKey32(0xA7B773E0 ^ 5, a.data(), a.size());
    EXPECT_EQ(a, std::vector<uint8_t>(64, 0));
}

namespace {

// A Jet 4 first page with the given creation date and stored password field.
std::vector<uint8_t> jet4Header(double created, const std::u16string& password,
                                uint8_t version = 1) {
    std::vector<uint8_t> p(4096, 0);
    p[1] = 0x01;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[0x14] = version;
    p[0x3C] = 0xE4;
    p[0x3D] = 0x04;
    std::memcpy(p.data() + 0x72, &created, 8);
    int32_t m = static_cast<int32_t>(created);
    for (size_t i = 0; i < 40; ++i) {
        uint8_t c = 0;
        if (i / 2 < password.size()) c = static_cast<uint8_t>(password[i / 2] >> (8 * (i % 2)));
        p[0x42 + i] = c ^ static_cast<uint8_t>(static_cast<uint32_t>(m) >> (8 * (i % 4)));
    }
    DatabaseHeader::obfuscate(p.data(), p.size(), Format::Jet4);
    return p;
}

uint32_t parseError(const std::vector<uint8_t>& bytes) {
    try {
        DatabaseHeader::parse(bytes.data(), bytes.size());
    } catch (const Error& e) {
        return e.code();
    }
    return 0;
}

}  // namespace

TEST(Header, PasswordIsUnmaskedWithCreationDate) {
    auto page = jet4Header(38143.546, u"Secret-20-characters");
    DatabaseHeader h = DatabaseHeader::parse(page.data(), page.size());
    EXPECT_EQ(h.format, Format::Jet4);
    EXPECT_EQ(h.codePage, 1252);
    EXPECT_DOUBLE_EQ(h.creationDate, 38143.546);
    EXPECT_EQ(h.password, "Secret-20-characters");
}

TEST(Header, EmptyPasswordIsTheBareMask) {
    auto page = jet4Header(38143.546, u"");
    // The stored field is the date mask FF 94 00 00 repeated, not zeros.
    std::vector<uint8_t> plain = page;
    DatabaseHeader::obfuscate(plain.data(), plain.size(), Format::Jet4);
    EXPECT_EQ(plain[0x42], 0xFF);
    EXPECT_EQ(plain[0x43], 0x94);
    EXPECT_EQ(DatabaseHeader::parse(page.data(), page.size()).password, "");
}

TEST(Header, RefusesOtherFilesAndLaterFormats) {
    EXPECT_EQ(parseError(std::vector<uint8_t>(4096, 0x41)), hr::kNotSupported);
    EXPECT_EQ(parseError(std::vector<uint8_t>(3, 0)), hr::kNotSupported);
    EXPECT_EQ(parseError(jet4Header(40000, u"", 2)), hr::kNotSupported);
    EXPECT_EQ(parseError(jet4Header(40000, u"", 5)), hr::kNotSupported);
    auto ace = jet4Header(40000, u"");
    std::memcpy(ace.data() + 4, "Standard ACE DB", 15);
    EXPECT_EQ(parseError(ace), hr::kNotSupported);
    try {
        DatabaseHeader::parse(ace.data(), ace.size());
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("2007"), std::string::npos) << e.what();
    }
    // A real signature on a file shorter than one page is damage, not a foreign file.
    auto shortFile = jet4Header(40000, u"");
    shortFile.resize(1000);
    EXPECT_EQ(parseError(shortFile), hr::kCorrupt);
}

TEST(Text, Utf16AndSurrogates) {
    const uint8_t data[] = {'A', 0, 0xE9, 0, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};
    std::string out;
    TextCodec::utf16ToUtf8(data, sizeof data, out);
    // A, é, 中, U+1F600, and an unpaired high surrogate as U+FFFD.
    EXPECT_EQ(out, "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(Text, CompressedUnicodeToggles) {
    TextCodec codec(Format::Jet4, 1252);
    std::string out;
    // "café中": one-byte mode, a zero switches to UTF-16 for the last character.
    const uint8_t mixed[] = {0xFF, 0xFE, 0x63, 0x61, 0x66, 0xE9, 0x00, 0x2D, 0x4E};
    codec.decode(mixed, sizeof mixed, out);
    EXPECT_EQ(out, "caf\xC3\xA9\xE4\xB8\xAD");
    // Back to one-byte mode after a second zero.
    const uint8_t back[] = {0xFF, 0xFE, 'a', 0x00, 0x2D, 0x4E, 0x00, 'b'};
    codec.decode(back, sizeof back, out);
    EXPECT_EQ(out,
              "a\xE4\xB8\xAD"
              "b");
    // Without the mark the same bytes are plain UTF-16.
    const uint8_t plain[] = {'h', 0, 'i', 0};
    codec.decode(plain, sizeof plain, out);
    EXPECT_EQ(out, "hi");
}

TEST(Text, AsciiRunsOfEveryLengthAroundOtherCharacters) {
    // Runs of ASCII are converted several characters at a time: every run length up to two
    // words, followed by a two-byte, a three-byte and a four-byte character, then ASCII again.
    TextCodec codec(Format::Jet4, 1252);
    for (const char* tail : {"", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80z", "\x7F"}) {
        for (size_t run = 0; run <= 17; ++run) {
            const std::string text = std::string(run, 'a') + tail + "0123456789";
            std::vector<uint16_t> units;
            ASSERT_TRUE(TextCodec::toUtf16(text, units));
            std::vector<uint8_t> bytes;
            for (uint16_t u : units) {
                bytes.push_back(uint8_t(u));
                bytes.push_back(uint8_t(u >> 8));
            }
            std::string out = "kept:";
            TextCodec::utf16ToUtf8(bytes.data(), bytes.size(), out);
            EXPECT_EQ(out, "kept:" + text) << run << " " << tail;
            // The compressed form of the same text where it has one (one byte a character).
            if (std::all_of(units.begin(), units.end(), [](uint16_t u) { return u < 0x100; })) {
                std::vector<uint8_t> packed = {0xFF, 0xFE};
                for (uint16_t u : units)
                    packed.push_back(uint8_t(u));
                codec.decode(packed.data(), packed.size(), out);
                EXPECT_EQ(out, text) << run << " " << tail;
            }
        }
    }
}

TEST(Text, Jet3CodePages) {
    TextCodec cp1252(Format::Jet3, 1252);
    std::string out;
    const uint8_t s[] = {'U', 'm', 's', 0xE4, 't', 'z', 'e', 0x80, 0x81};
    cp1252.decode(s, sizeof s, out);
    // 0x80 is the euro sign; 0x81 is unassigned and passes through as U+0081.
    EXPECT_EQ(out, "Ums\xC3\xA4tze\xE2\x82\xAC\xC2\x81");
    TextCodec cp1251(Format::Jet3, 1251);
    const uint8_t ru[] = {0xCF, 0xF0, 0xE8};
    cp1251.decode(ru, sizeof ru, out);
    EXPECT_EQ(out, "\xD0\x9F\xD1\x80\xD0\xB8");
    TextCodec cp936(Format::Jet3, 936);
    const uint8_t zh[] = {0xD6, 0xD0, 'x'};
    cp936.decode(zh, sizeof zh, out);
    EXPECT_EQ(out,
              "\xE4\xB8\xAD"
              "x");
}

TEST(DateTimeCodec, PositiveAndNegativeDays) {
    auto p = DateTime{0}.toParts();
    EXPECT_EQ(p.year, 1899);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 30);
    p = DateTime{36526.75}.toParts();  // 2000-01-01 18:00
    EXPECT_EQ(p.year, 2000);
    EXPECT_EQ(p.month, 1);
    EXPECT_EQ(p.day, 1);
    EXPECT_EQ(p.hour, 18);
    // Before the epoch the fraction still counts forward from midnight.
    p = DateTime{-1.25}.toParts();
    EXPECT_EQ(p.year, 1899);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 6);
    p = DateTime{-657434.0}.toParts();  // earliest Jet date
    EXPECT_EQ(p.year, 100);
    EXPECT_EQ(p.month, 1);
    EXPECT_EQ(p.day, 1);
    p = DateTime{2958465.999988426}.toParts();  // 9999-12-31 23:59:59
    EXPECT_EQ(p.year, 9999);
    EXPECT_EQ(p.second, 59);
    // Rounding up to midnight carries into the next day.
    p = DateTime{1.9999999999}.toParts();
    EXPECT_EQ(p.day, 1);
    EXPECT_EQ(p.month, 1);
    EXPECT_EQ(p.hour, 0);
}

TEST(DateTimeCodec, PartsRoundTrip) {
    for (double d : {0.0, 1.5, 36526.75, -1.25, -400.5, -657434.0, 2958465.5}) {
        EXPECT_DOUBLE_EQ(DateTime::fromParts(DateTime{d}.toParts()).days, d) << d;
    }
}

TEST(Numbers, DecimalGuidCurrencyText) {
    Decimal d;
    d.lo = 1250;
    d.scale = 2;
    d.negative = true;
    EXPECT_EQ(d.toString(), "-12.50");
    d.scale = 6;
    EXPECT_EQ(d.toString(), "-0.001250");
    Decimal big;  // 2^64 + 1: the high half must carry into the digits
    big.hi = 1;
    big.lo = 1;
    big.scale = 4;
    EXPECT_EQ(big.toString(), "1844674407370955.1617");
    Decimal zero;
    zero.negative = true;
    EXPECT_EQ(zero.toString(), "0");
    Guid g;
    for (int i = 0; i < 16; ++i)
        g.bytes[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(g.toString(), "{04030201-0605-0807-090A-0B0C0D0E0F10}");
    EXPECT_EQ(columnTypeName(ColumnType::Money), "Currency");
    EXPECT_EQ(columnTypeName(static_cast<ColumnType>(0x42)), "Unknown (0x42)");
}
