// Expressions worked out as Jet does: wildcards, case, nulls, dates and numbers in text.
#include <gtest/gtest.h>

#include <limits>

#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "jet/Text.h"
#include "sql/Evaluator.h"
#include "sql/ExprText.h"
#include "sql/Parser.h"
#include "sql/ValueConverter.h"

using namespace jet;
using namespace jet::sql;

namespace {

Datum constant(const std::string& text) {
    ExprPtr e = Parser::parseExpression(text);
    Evaluator ev(nullptr, index::TextSortOrder::GeneralLegacy);
    ev.bind(*e);
    return ev.evaluate(*e, {});
}

// "T", "F" or "N" (null) for a condition.
std::string truth(const std::string& text) {
    Datum d = constant(text);
    if (d.isNull()) return "N";
    EXPECT_EQ(d.kind, Datum::Kind::Bool) << text;
    return d.flag ? "T" : "F";
}

}  // namespace

TEST(SqlExpression, LikeWildcards) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"A*", "apple", true},
        {"a*", "BANANA", false},
        {"*an*", "BANANA", true},
        {"?at", "Cat", true},
        {"?at", "Chat", false},
        {"#-##", "5-42", true},
        {"#-##", "5-4x", false},
        {"[abc]*", "Cello", true},
        {"[!abc]*", "Cello", false},
        {"[!abc]*", "dog", true},
        {"[a-f]#", "E7", true},
        {"[a-f]#", "g7", false},
        {"*[*]", "five*", true},
        {"*[*]", "five", false},
        {"[?]", "?", true},
        {"[#]1", "#1", true},
        {"", "", true},
        {"*", "", true},
        {"a**b", "ab", true},
        {"caf\xc3\xa9", "CAF\xc3\x89", true},
        {"*x*y*z*", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxyyyyyyyyyyyyyyyyyyyyyyyyy", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LikePattern(c.pattern).matches(c.text), c.match)
            << "'" << c.text << "' LIKE '" << c.pattern << "'";
    EXPECT_THROW(LikePattern("[abc"), Error);
}

TEST(SqlExpression, TextComparesWithoutRegardToCase) {
    EXPECT_TRUE(CaseFold::equal("M\xc3\xbcller", "M\xc3\x9cLLER"));
    EXPECT_TRUE(CaseFold::equal("\xd0\x9c\xd0\xb8\xd1\x80", "\xd0\xbc\xd0\x98\xd0\xa0"));
    EXPECT_FALSE(CaseFold::equal("resume", "r\xc3\xa9sum\xc3\xa9"));
    EXPECT_FALSE(CaseFold::equal("abc", "abcd"));
    EXPECT_EQ(truth("'Apple' = 'APPLE'"), "T");
    EXPECT_EQ(truth("'apple' < 'Banana'"), "T");
    EXPECT_EQ(truth("'Banana' < 'apple'"), "F");
    EXPECT_EQ(truth("'b' BETWEEN 'A' AND 'C'"), "T");
    EXPECT_EQ(truth("'x' IN ('a', 'X')"), "T");
}

TEST(SqlExpression, NullIsNeverTrue) {
    EXPECT_EQ(truth("Null = Null"), "N");
    EXPECT_EQ(truth("Null <> 1"), "N");
    EXPECT_EQ(truth("NOT (Null = 1)"), "N");
    EXPECT_EQ(truth("Null = 1 OR 1 = 1"), "T");
    EXPECT_EQ(truth("Null = 1 AND 1 = 2"), "F");
    EXPECT_EQ(truth("Null = 1 AND 1 = 1"), "N");
    EXPECT_EQ(truth("Null IS NULL"), "T");
    EXPECT_EQ(truth("1 IS NOT NULL"), "T");
    EXPECT_EQ(truth("2 IN (1, Null)"), "N");
    EXPECT_EQ(truth("2 NOT IN (1, 3)"), "T");
    EXPECT_EQ(truth("Null LIKE '*'"), "N");
    EXPECT_EQ(constant("Null & 'a'").text, "a");
    EXPECT_TRUE(constant("Null + 1").isNull());
}

TEST(SqlExpression, NumbersDatesAndMismatches) {
    EXPECT_DOUBLE_EQ(constant("1 + 2 * 3 - 4 / 8").number, 6.5);
    EXPECT_DOUBLE_EQ(constant("7 \\ 2").number, 3);
    EXPECT_DOUBLE_EQ(constant("7 MOD 4").number, 3);
    EXPECT_DOUBLE_EQ(constant("2 ^ 10").number, 1024);
    EXPECT_EQ(constant("-(-3)").text, "3");
    EXPECT_EQ(constant("'n' & 5 & True").text, "n5-1");
    EXPECT_EQ(truth("True = -1"), "T");
    EXPECT_EQ(truth("#2020-01-31# = #1/31/2020#"), "T");
    EXPECT_EQ(truth("#2020-01-31 12:00# > #2020-01-31#"), "T");
    EXPECT_EQ(ExprText::dateText(constant("#2020-02-28# + 1").number), "2020-02-29");
    EXPECT_DOUBLE_EQ(constant("#2020-03-01# - #2020-02-01#").number, 29);
    // Before 1899-12-30 the stored fraction counts forward; order follows the calendar.
    EXPECT_EQ(truth("#1899-12-29 06:00# > #1899-12-29#"), "T");
    EXPECT_EQ(truth("#1899-12-29 18:00# < #1899-12-30#"), "T");
    try {
        constant("1 = 'one'");
        FAIL() << "a number met a text";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Data type mismatch in criteria expression.");
    }
    EXPECT_THROW(constant("1 / 0"), Error);
    EXPECT_THROW(constant("'a' - 1"), Error);
    EXPECT_THROW(constant("Name = 1"), Error);  // no table: no fields
}

TEST(SqlExpression, DateTextForms) {
    DateTime when;
    double& d = when.days;
    ASSERT_TRUE(DateTime::parse("2021-03-04", when));
    EXPECT_EQ(ExprText::dateText(d), "2021-03-04");
    ASSERT_TRUE(DateTime::parse("3/4/2021 1:05:09 PM", when));
    EXPECT_EQ(ExprText::dateText(d), "2021-03-04 13:05:09");
    ASSERT_TRUE(DateTime::parse("12/31/99", when));
    EXPECT_EQ(ExprText::dateText(d), "1999-12-31");
    ASSERT_TRUE(DateTime::parse("1/1/29", when));
    EXPECT_EQ(ExprText::dateText(d), "2029-01-01");
    ASSERT_TRUE(DateTime::parse("2021-03-04T23:59", when));
    EXPECT_EQ(ExprText::dateText(d), "2021-03-04 23:59:00");
    ASSERT_TRUE(DateTime::parse("12:00 AM", when));
    EXPECT_DOUBLE_EQ(d, 0);
    for (const char* bad : {"2021-02-29", "2020-13-01", "13/1/2020", "2020-01-01 24:00", "abc",
                            "2020-01", "1:2:3:4", "12:00 XM", "2020-01-01 10:00 PM extra", ""})
        EXPECT_FALSE(DateTime::parse(bad, when)) << bad;
}

TEST(SqlExpression, ValuesConvertToTheFieldType) {
    auto col = [](ColumnType t, uint8_t precision = 18, uint8_t scale = 0) {
        ColumnDef c;
        c.name = "F";
        c.type = t;
        c.precision = precision;
        c.scale = scale;
        return c;
    };
    auto to = [&](const std::string& expr, const ColumnDef& c) {
        return ValueConverter::toColumn(constant(expr), c, "T");
    };
    EXPECT_EQ(to("2.5", col(ColumnType::Byte)), Value(uint8_t(2)));
    EXPECT_EQ(to("3.5", col(ColumnType::Int)), Value(int16_t(4)));
    EXPECT_EQ(to("'-12'", col(ColumnType::Long)), Value(int32_t(-12)));
    EXPECT_EQ(to("True", col(ColumnType::Int)), Value(int16_t(-1)));
    EXPECT_EQ(to("1.23455", col(ColumnType::Money)), Value(Currency{12346}));
    EXPECT_EQ(to("-922337203685477.5807", col(ColumnType::Money)),
              Value(Currency{-9223372036854775807LL}));
    // The lowest amount the range names is an amount too.
    EXPECT_EQ(to("-922337203685477.5808", col(ColumnType::Money)),
              Value(Currency{std::numeric_limits<int64_t>::min()}));
    EXPECT_EQ(to("0.1", col(ColumnType::Money)), Value(Currency{1000}));
    EXPECT_EQ(to("12.345", col(ColumnType::Numeric, 10, 2)), Value(Decimal{0, 1234, false, 10, 2}));
    EXPECT_EQ(to("-0.005", col(ColumnType::Numeric, 10, 2)), Value(Decimal{0, 0, false, 10, 2}));
    EXPECT_EQ(to("'yes'", col(ColumnType::Bool)), Value(true));
    EXPECT_EQ(to("0", col(ColumnType::Bool)), Value(false));
    EXPECT_EQ(to("'2020-01-31'", col(ColumnType::DateTime)),
              Value(DateTime{constant("#2020-01-31#").number}));
    EXPECT_EQ(to("12.50", col(ColumnType::Text)), Value(std::string("12.5")));
    const Value g = to("'{01234567-89AB-CDEF-0123-456789ABCDEF}'", col(ColumnType::Guid));
    EXPECT_EQ(g.as<Guid>().toString(), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(to("'0123456789abcdef0123456789ABCDEF'", col(ColumnType::Guid)), g);
    EXPECT_TRUE(to("Null", col(ColumnType::Long)).isNull());

    try {
        to("256", col(ColumnType::Byte));
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(),
                     "The value 256 is out of range for field 'F' of table 'T' (Byte: 0 to 255).");
    }
    try {
        to("'abc'", col(ColumnType::Int));
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(),
                     "Data type mismatch: field 'F' of table 'T' (Integer) cannot hold 'abc'.");
    }
    EXPECT_THROW(to("2147483648", col(ColumnType::Long)), Error);
    EXPECT_THROW(to("922337203685478", col(ColumnType::Money)), Error);
    EXPECT_THROW(to("123456789.1", col(ColumnType::Numeric, 10, 2)), Error);
    EXPECT_THROW(to("1e39", col(ColumnType::Float)), Error);
    EXPECT_THROW(to("'maybe'", col(ColumnType::Bool)), Error);
    EXPECT_THROW(to("'not a guid'", col(ColumnType::Guid)), Error);
    EXPECT_THROW(to("'soon'", col(ColumnType::DateTime)), Error);
}

TEST(SqlExpression, ConditionTestsRowsOfATable) {
    TableDef t;
    t.name = "Cards";
    for (auto [name, type] : {std::pair{"Name", ColumnType::Text},
                              {"Qty", ColumnType::Int},
                              {"Order Date", ColumnType::DateTime}}) {
        ColumnDef c;
        c.name = name;
        c.type = type;
        t.columns.push_back(c);
    }
    const double jan31 = constant("#2020-01-31#").number;
    const std::vector<Value> ann = {Value(std::string("Ann")), Value(int16_t(5)),
                                    Value(DateTime{jan31})};
    const std::vector<Value> bob = {Value(std::string("bob")), Value(), Value(DateTime{jan31 - 1})};
    sql::Condition byName("name like 'A*'", t, Format::Jet4);
    EXPECT_TRUE(byName.matches(ann));
    EXPECT_FALSE(byName.matches(bob));
    sql::Condition byDate("[Order Date] >= #2020/01/31# OR Qty > 1", t, Format::Jet4);
    EXPECT_TRUE(byDate.matches(ann));
    EXPECT_FALSE(byDate.matches(bob));  // null Qty: not true
    sql::Condition negated("NOT Qty > 1", t, Format::Jet4);
    EXPECT_FALSE(negated.matches(ann));
    EXPECT_FALSE(negated.matches(bob));
    EXPECT_THROW(sql::Condition("Qty = 'abc'", t, Format::Jet4), Error);
    EXPECT_THROW(sql::Condition("Price > 1", t, Format::Jet4), Error);
    EXPECT_THROW(sql::Condition("Name = 'x' garbage", t, Format::Jet4), Error);
}

// A field compared with a literal is worked out from the row's cell directly (the literal's
// key made once); with the literal on the left the same comparison takes the general way
// through Datums. Both must answer alike for every operator, over texts that tie in the
// database's order, texts longer than a key covers, nulls, numbers and dates before 1899-12-30.
TEST(SqlExpression, FieldAgainstLiteralAgreesWithTheGeneralWay) {
    TableDef t;
    t.name = "T";
    for (auto [name, type] : {std::pair{"Name", ColumnType::Memo},
                              {"Qty", ColumnType::Double},
                              {"Born", ColumnType::DateTime}}) {
        ColumnDef c;
        c.name = name;
        c.type = type;
        t.columns.push_back(c);
    }
    const std::string longA = std::string(300, 'x') + "a";
    const std::string longB = std::string(300, 'x') + "B";
    const std::vector<std::string> texts = {"ann", "ANN", "Ann ", "anna", "Zoë", "zoe", "", longA,
                                            longB};
    const std::vector<double> numbers = {-1.5, 0, 2, 2.5};
    const std::vector<double> dates = {-1.25, -1.75, -1, 0, 0.5};  // -1.25: 1899-12-29 06:00
    std::vector<std::vector<Value>> rows;
    for (size_t i = 0; i < texts.size(); ++i)
        rows.push_back({Value(texts[i]), Value(numbers[i % numbers.size()]),
                        Value(DateTime{dates[i % dates.size()]})});
    rows.push_back({Value(), Value(), Value()});
    const std::vector<std::pair<std::string, std::string>> ops = {
        {"=", "="}, {"<>", "<>"}, {"<", ">"}, {"<=", ">="}, {">", "<"}, {">=", "<="}};
    std::vector<std::pair<std::string, std::string>> sides;  // field side, literal
    for (const char* text : {"'ann'", "'Zoe'", "''", "'x'"})
        sides.push_back({"Name", text});
    sides.push_back({"Name", "'" + longA + "'"});
    for (const char* n : {"2", "-1.5", "True"})
        sides.push_back({"Qty", n});
    for (const char* d : {"#1899-12-29 06:00#", "#1899-12-30#", "-1.25"})
        sides.push_back({"Born", d});
    size_t matched = 0;
    for (const auto& [field, literal] : sides) {
        for (const auto& [op, mirrored] : ops) {
            const std::string fast = field + " " + op + " " + literal;
            const std::string general = literal + " " + mirrored + " " + field;
            const sql::Condition a(fast, t, Format::Jet4), b(general, t, Format::Jet4);
            for (size_t r = 0; r < rows.size(); ++r) {
                ASSERT_EQ(a.matches(rows[r]), b.matches(rows[r])) << fast << ", row " << r;
                matched += a.matches(rows[r]);
            }
        }
    }
    EXPECT_GT(matched, 0u);
    // LIKE, and NOT LIKE, directly and with the pattern worked out per row.
    for (const char* pattern : {"a*", "*A", "z?e", "x*b"}) {
        const sql::Condition like(std::string("Name like '") + pattern + "'", t, Format::Jet4);
        const sql::Condition notLike(std::string("Name not like '") + pattern + "'", t,
                                     Format::Jet4);
        const sql::Condition general(std::string("Name like ('' & '") + pattern + "')", t,
                                     Format::Jet4);
        for (const auto& row : rows) {
            EXPECT_EQ(like.matches(row), general.matches(row)) << pattern;
            EXPECT_EQ(notLike.matches(row), !general.matches(row) && !row[0].isNull()) << pattern;
        }
    }
}
