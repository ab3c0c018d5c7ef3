#include <gtest/gtest.h>

#include "db/provider/ConnectionString.h"
#include "db/provider/ProviderError.h"

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
