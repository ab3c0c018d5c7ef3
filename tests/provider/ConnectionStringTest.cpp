#include <gtest/gtest.h>

#include "provider/ConnectionString.h"
#include "provider/ProviderError.h"

using namespace tessor::provider;

namespace {

uint32_t errorCode(std::string_view text) {
    try {
        ConnectionString::parse(text);
    } catch (const ProviderError& e) {
        EXPECT_FALSE(e.description().empty());
        return e.code();
    }
    return 0;
}

}  // namespace

TEST(ConnectionString, BothFormsTheProgramBuilds) {
    // The open command's form has a blank after "Provider="; the record view's has none.
    auto a =
        ConnectionString::parse("Provider= Microsoft.Jet.OLEDB.4.0;Data Source = /tmp/a b.mdb");
    EXPECT_EQ(a.provider(), "Microsoft.Jet.OLEDB.4.0");
    EXPECT_EQ(a.dataSource(), "/tmp/a b.mdb");
    EXPECT_FALSE(a.hasPassword());

    auto b = ConnectionString::parse(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /x/y.mdb;Jet OLEDB:Database Password=pw");
    EXPECT_EQ(b.dataSource(), "/x/y.mdb");
    EXPECT_TRUE(b.hasPassword());
    EXPECT_EQ(b.password(), "pw");
}

TEST(ConnectionString, BlanksCaseAndSeparators) {
    auto c = ConnectionString::parse(
        "  provider = microsoft.jet.oledb.4.0 ;  DATA   SOURCE=/d.mdb ; ;jet oledb:database "
        "password = secret ;");
    EXPECT_EQ(c.dataSource(), "/d.mdb");
    EXPECT_EQ(c.password(), "secret");
    // "=" inside a value belongs to the value; unknown keys are ignored.
    auto d = ConnectionString::parse(
        "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=/e.mdb;"
        "Jet OLEDB:Database Password=a=b");
    EXPECT_EQ(d.password(), "a=b");
    // An empty password clause is a password clause with an empty password.
    auto e = ConnectionString::parse(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/e.mdb;Jet OLEDB:Database Password=");
    EXPECT_TRUE(e.hasPassword());
    EXPECT_EQ(e.password(), "");
}

TEST(ConnectionString, QuotedValuesKeepSemicolonsAndBlanks) {
    auto q = ConnectionString::parse(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/a;b.mdb\";"
        "Jet OLEDB:Database Password=' p''w; '");
    EXPECT_EQ(q.dataSource(), "/a;b.mdb");
    EXPECT_EQ(q.password(), " p'w; ");
}

// What the program formats, parse() gives back whole, whatever the path or password holds.
TEST(ConnectionString, FormattedValuesComeBackWhole) {
    EXPECT_EQ(ConnectionString::quote("/tmp/a b.mdb"), "/tmp/a b.mdb");
    EXPECT_EQ(ConnectionString::quote("/tmp/x;Mode=1.mdb"), "\"/tmp/x;Mode=1.mdb\"");
    EXPECT_EQ(ConnectionString::quote("\"pw"), "\"\"\"pw\"");
    EXPECT_EQ(ConnectionString::quote(" pw "), "\" pw \"");
    const char* values[] = {"/tmp/a b.mdb", "/x;Jet OLEDB:Database Password=x.mdb", "\"q\"",
                            "'q'", " lead", "trail\t", "mid\"dle", "", "a=b", "\xc3\xa9t\xc3\xa9"};
    for (const char* path : values) {
        if (*path == '\0') continue;  // an empty data source is refused, as it must be
        for (const char* pw : values) {
            const std::string secret = pw;
            for (bool blank : {false, true}) {
                const auto parsed =
                    ConnectionString::parse(ConnectionString::format(path, &secret, blank));
                EXPECT_EQ(parsed.dataSource(), path);
                EXPECT_TRUE(parsed.hasPassword());
                EXPECT_EQ(parsed.password(), secret);
            }
        }
        EXPECT_FALSE(ConnectionString::parse(ConnectionString::format(path)).hasPassword());
    }
}

TEST(ConnectionString, MalformedTextsAreRefused) {
    EXPECT_EQ(errorCode(""), hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Data Source=/x.mdb"), hr::kInvalidArgument);  // no provider
    EXPECT_EQ(errorCode("Provider=Microsoft.Jet.OLEDB.4.0"), hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= "), hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x.mdb;garbage"),
              hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Provider=Microsoft.Jet.OLEDB.4.0;=x;Data Source=/x.mdb"),
              hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/x.mdb"),
              hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/x.mdb\" tail"),
              hr::kInvalidArgument);
    EXPECT_EQ(errorCode("Provider=Other.Provider;Data Source=/x.mdb"), hr::kProviderNotFound);
}
