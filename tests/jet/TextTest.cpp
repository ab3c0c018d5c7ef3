#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/Error.h"
#include "jet/Text.h"
#include "jet/ValueText.h"

#include <cmath>

using namespace jet;

namespace {

bool like(std::string_view text, std::string_view pattern) {
    return LikePattern(pattern).matches(text);
}

}  // namespace

TEST(LikePattern, StarAndQuestionMark) {
    EXPECT_TRUE(like("Joanna", "*ann*"));
    EXPECT_TRUE(like("ann", "*ann*"));
    EXPECT_FALSE(like("Joan", "*ann*"));
    EXPECT_TRUE(like("", "*"));
    EXPECT_FALSE(like("", "?"));
    EXPECT_TRUE(like("abc", "a?c"));
    EXPECT_FALSE(like("abbc", "a?c"));
    EXPECT_TRUE(like("abc", "a**c"));
    // The whole text must match, not a part of it.
    EXPECT_FALSE(like("xabc", "abc"));
    EXPECT_FALSE(like("abcx", "abc"));
    // A star that must give back characters it took first.
    EXPECT_TRUE(like("aXbXbc", "a*bc"));
    EXPECT_TRUE(like("mississippi", "*sip*"));
}

TEST(LikePattern, IgnoresCaseBeyondAscii) {
    EXPECT_TRUE(like("JOANNA", "*ann*"));
    EXPECT_TRUE(like("ÄRGER", "ärger"));
    EXPECT_TRUE(like("ΣΟΦΙΑ", "σοφια"));
    EXPECT_TRUE(like("Москва", "МОСК*"));
    // Accents still count.
    EXPECT_FALSE(like("resume", "résumé"));
    // A character of several bytes is one character for "?".
    EXPECT_TRUE(like("€", "?"));
    EXPECT_TRUE(like("a€b", "a?b"));
}

TEST(LikePattern, DigitsAndLists) {
    EXPECT_TRUE(like("a1", "a#"));
    EXPECT_FALSE(like("ab", "a#"));
    EXPECT_TRUE(like("cat", "[bc]at"));
    EXPECT_FALSE(like("rat", "[bc]at"));
    EXPECT_TRUE(like("rat", "[!bc]at"));
    EXPECT_FALSE(like("bat", "[!bc]at"));
    EXPECT_TRUE(like("Q", "[a-z]"));  // ranges ignore case too
    EXPECT_TRUE(like("m", "[A-Z]"));
    EXPECT_FALSE(like("5", "[a-z]"));
    EXPECT_TRUE(like("-", "[a-]"));  // a "-" at the end is itself
    // Brackets make the wildcards plain characters.
    EXPECT_TRUE(like("a*b", "a[*]b"));
    EXPECT_FALSE(like("axb", "a[*]b"));
    EXPECT_TRUE(like("100%?", "100%[?]"));
    EXPECT_TRUE(like("#1", "[#]#"));
    EXPECT_TRUE(like("a[b", "a[[]b"));
    EXPECT_TRUE(like("ab", "a[]b"));  // an empty list takes no character
    EXPECT_TRUE(like("a]b", "a]b"));  // "]" alone is a plain character
}

TEST(LikePattern, MalformedPatternsAreErrors) {
    EXPECT_THROW(LikePattern("a[bc"), Error);
    EXPECT_THROW(LikePattern("[z-a]"), Error);
}

TEST(LikePattern, LongTextsDoNotBlowUp) {
    // Many stars against a long text that nearly matches: quadratic at worst.
    const std::string text(20000, 'a');
    EXPECT_FALSE(like(text, "*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(like(text + "b", "*a*a*a*a*a*a*a*a*b"));
}

TEST(CaseFold, ComparesWithoutCase) {
    EXPECT_EQ(CaseFold::compare("abc", "ABC"), 0);
    EXPECT_LT(CaseFold::compare("abc", "ABD"), 0);
    EXPECT_LT(CaseFold::compare("ab", "ABC"), 0);
    EXPECT_GT(CaseFold::compare("b", "A"), 0);
    EXPECT_EQ(CaseFold::compare("ÉCOLE", "école"), 0);
    // Bytes that are no UTF-8 compare by themselves and do not stop the comparison.
    EXPECT_NE(CaseFold::compare("a\xFF", "a\xFE"), 0);
    EXPECT_EQ(CaseFold::compare("a\xFF", "A\xFF"), 0);
}

// The database's order: accented letters with their plain ones, accents only breaking ties,
// case never counting.
TEST(Collation, AccentedLettersSortWithTheirPlainOnes) {
    for (const Collation& c : {Collation(), Collation::general97()}) {
        EXPECT_LT(c.compare("Ärger", "Bar"), 0);
        EXPECT_LT(c.compare("Zagreb", "Zürich"), 0);
        EXPECT_LT(c.compare("Zürich", "Zz"), 0);
        EXPECT_LT(c.compare("resume", "résumé"), 0);  // accents only break ties
        EXPECT_LT(c.compare("résumé", "resumes"), 0);
        EXPECT_EQ(c.compare("ÉCOLE", "école"), 0);
        EXPECT_GT(c.compare("Bar", "Ärger"), 0);
    }
    EXPECT_LT(Collation().compare("Łódź", "Madrid"), 0);
}

// A sort gathers the keys of all its records in one buffer: each key there is the key made
// alone, and the buffer grows by doubling, not by each key's length (that made sorting 100,000
// records copy the buffer 100,000 times).
TEST(Collation, KeysGatheredInOneBufferAreEachKeyAlone) {
    const auto text = [](int i) {
        return i % 1000 == 7 ? "Zürich straße " + std::to_string(i) : "card " + std::to_string(i);
    };
    for (const Collation& c : {Collation(), Collation::general97()}) {
        std::vector<uint8_t> all;
        std::vector<size_t> ends;
        int reallocations = 0;
        for (int i = 0; i < 20000; ++i) {
            const size_t capacity = all.capacity();
            c.appendKey(text(i), all);
            reallocations += all.capacity() != capacity;
            ends.push_back(all.size());
        }
        EXPECT_LT(reallocations, 40);
        for (int i : {0, 1, 7, 9999, 19999}) {
            std::vector<uint8_t> alone;
            c.appendKey(text(i), alone);
            const size_t begin = i == 0 ? 0 : ends[i - 1];
            EXPECT_EQ(std::vector<uint8_t>(all.begin() + begin, all.begin() + ends[i]), alone);
        }
    }
}

// Values of one kind stored into a field of another go across directly, never through their
// text: a single keeps its exact binary value in a double, whole numbers round half to even,
// and what the field cannot hold is refused with a sentence naming it.
TEST(ValueTextFromValue, ConvertsBetweenKindsDirectly) {
    auto field = [](ColumnType type, uint32_t chars = 0) {
        FieldShape f;
        f.name = "F";
        f.type = type;
        f.maxChars = chars;
        f.precision = 6;
        f.scale = 2;
        return f;
    };
    struct Case {
        Value in;
        ColumnType type;
        Value out;
    };
    const Case cases[] = {
        {Value(0.1f), ColumnType::Double, Value(static_cast<double>(0.1f))},
        {Value(2.5), ColumnType::Long, Value(int32_t{2})},
        {Value(3.5), ColumnType::Int, Value(int16_t{4})},
        {Value(true), ColumnType::Long, Value(int32_t{-1})},
        {Value(int32_t{7}), ColumnType::Money, Value(Currency{70000})},
        {Value(1.23456), ColumnType::Money, Value(Currency{12346})},
        {Value(Currency{15000}), ColumnType::Double, Value(1.5)},
        {Value(DateTime{36526.5}), ColumnType::Double, Value(36526.5)},
        {Value(36526.25), ColumnType::DateTime, Value(DateTime{36526.25})},
        {Value(int16_t{0}), ColumnType::Bool, Value(false)},
        {Value(12.345), ColumnType::Numeric, ValueText::fromText("12.34", field(ColumnType::Numeric))},
        {Value(DateTime{36526.0}), ColumnType::Text, Value(std::string("2000/01/01 00:00:00"))},
        {Value(std::string("42")), ColumnType::Byte, Value(uint8_t{42})},
        {Value(std::vector<uint8_t>{1, 2}), ColumnType::Binary, Value(std::vector<uint8_t>{1, 2})},
        {Value(), ColumnType::Long, Value()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueText::fromValue(c.in, field(c.type)), c.out)
            << ValueText::toText(c.in) << " into " << columnTypeName(c.type);

    const std::pair<Value, FieldShape> refused[] = {
        {Value(300.0), field(ColumnType::Byte)},
        {Value(std::nan("")), field(ColumnType::Long)},
        {Value(1e300), field(ColumnType::Float)},
        {Value(1e20), field(ColumnType::Money)},
        {Value(1e7), field(ColumnType::DateTime)},
        {Value(Guid{}), field(ColumnType::Long)},
        {Value(int32_t{1}), field(ColumnType::Guid)},
        {Value(12345.678), field(ColumnType::Numeric)},  // more than 6 digits
        {Value(123456.0), field(ColumnType::Text, 3)},   // longer than the field
        {Value(std::string("abc")), field(ColumnType::Long)},
    };
    for (const auto& [value, shape] : refused) {
        try {
            ValueText::fromValue(value, shape);
            ADD_FAILURE() << ValueText::toText(value) << " into " << columnTypeName(shape.type);
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), hr::kTypeMismatch);
            EXPECT_NE(std::string(e.what()).find("field \"F\""), std::string::npos) << e.what();
        }
    }
}
