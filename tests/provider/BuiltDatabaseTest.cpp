// Databases built byte by byte in the test, so that the connection, the schema rowsets and the
// table snapshot are tested through the engine on a fresh clone too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "Jet4ImageBuilder.h"
#include "provider/Connection.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"

using namespace tessor::provider;
using B = jettest::Jet4ImageBuilder;
using jet::ColumnType;
namespace fs = std::filesystem;

namespace {

// A built database in a file of its own, removed at the end.
class BuiltFile {
public:
    explicit BuiltFile(const std::vector<uint8_t>& bytes, const std::string& name = "built.mdb") {
        static int serial = 0;
        m_dir = fs::temp_directory_path() /
                ("tessor-db-built-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        fs::create_directories(m_dir);
        m_path = (m_dir / name).string();
        std::ofstream(m_path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~BuiltFile() {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    const std::string& path() const { return m_path; }

private:
    fs::path m_dir;
    std::string m_path;
};

// "Card Holders" with one row of each kind of value and a row of nulls; "Keyed" (empty) with a
// primary key, a unique index and a plain one; a select query and an action query.
std::vector<uint8_t> cardImage(const std::u16string& password = {}) {
    B b;
    const int t = b.addTable("Card Holders", {{"Printed", ColumnType::Bool},
                                              {"Level", ColumnType::Byte},
                                              {"Copies", ColumnType::Int},
                                              {"ID", ColumnType::Long, true, 0, 0x04},
                                              {"Fee", ColumnType::Money},
                                              {"Ratio", ColumnType::Float},
                                              {"Weight", ColumnType::Double},
                                              {"Issued", ColumnType::DateTime},
                                              {"Name", ColumnType::Text, false, 100, 0, 0x01},
                                              {"Photo", ColumnType::Text, false, 100}});
    b.addTable("Keyed",
               {{"Code", ColumnType::Long},
                {"Label", ColumnType::Text, false, 40},
                {"Stamp", ColumnType::DateTime}},
               {{"PrimaryKey", {{0, true}}, 0x89, jet::IndexKind::Primary},
                {"ByLabel", {{1, true}, {2, false}}, 0x01, jet::IndexKind::Normal},
                {"ByStamp", {{2, true}}, 0x02, jet::IndexKind::Normal}});
    b.addRow(t,
             {B::yes(true), B::raw({200}), B::i16(-12), B::i32(1), B::i64(35000), B::f32(0.5f),
              B::f64(444.555), B::f64(-1.25), B::compressed("Jos\xE9"), B::utf16(u"photos/1.jpg")});
    b.addRow(t, {B::yes(false), B::null(), B::null(), B::i32(2), B::null(), B::null(), B::null(),
                 B::null(), B::utf16(u"anna"), B::null()});
    b.addRow(t, {B::yes(false), B::raw({3}), B::i16(5), B::i32(3), B::i64(-1), B::f32(-2),
                 B::f64(0), B::f64(0), B::utf16(u"\u00C9mile"), B::utf16(u"")});
    b.addCatalogRow("Recent Cards", 5, 0);
    b.addCatalogRow("Purge Old", 5, 0x20);  // a delete query: a procedure, not a view
    if (!password.empty()) b.setPassword(password);
    return b.build();
}

std::string text(const std::string& path, const std::string& password = {}) {
    std::string t = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = " + path;
    if (!password.empty()) t += ";Jet OLEDB:Database Password=" + password;
    return t;
}

uint32_t codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProviderError& e) {
        EXPECT_FALSE(e.description().empty());
        return e.code();
    }
    return 0;
}

std::shared_ptr<Connection> connect(const std::string& path, int mode = 0) {
    auto c = Connection::create();
    c->setMode(mode);
    c->open(text(path), "", "", -1);
    return c;
}

}  // namespace

TEST(BuiltDatabase, RecordsetReadsEveryKindOfValue) {
    BuiltFile file(cardImage());
    auto c = connect(file.path(), ado::kModeShareExclusive);
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->open("Select * From [Card Holders]", c, ado::kOpenStatic, ado::kLockPessimistic,
             ado::kCmdText);
    ASSERT_EQ(rs->recordCount(), 3);
    Fields& f = rs->fields();
    const std::vector<int> codes = {11, 17, 2, 3, 6, 4, 5, 7, 202, 202};
    ASSERT_EQ(f.count(), codes.size());
    for (size_t i = 0; i < codes.size(); ++i)
        EXPECT_EQ(f.item(i).typeCode(), codes[i]) << i;
    EXPECT_TRUE(f.item("ID").isAutoIncrement());
    EXPECT_EQ(f.item("Name").definedSize(), 50u);
    std::vector<std::string> first;
    for (size_t i = 0; i < f.count(); ++i)
        first.push_back(f.item(i).text());
    EXPECT_EQ(first, (std::vector<std::string>{"True", "200", "-12", "1", "3.5", "0.5", "444.555",
                                               "1899/12/29 06:00:00", "José", "photos/1.jpg"}));
    rs->moveNext();
    EXPECT_TRUE(f.item("Level").value().isNull());
    EXPECT_EQ(f.item("Issued").text(), "");
    rs->moveNext();
    EXPECT_EQ(f.item("Issued").text(), "");  // the zero date
    EXPECT_EQ(f.item("Photo").value(), Variant(""));
    EXPECT_EQ(f.item("Fee").text(), "-0.0001");
    // Sorting by name puts É with E, after "anna" and "José".
    rs->setSort("Name");
    EXPECT_EQ(rs->textAt(0, 8), "anna");
    EXPECT_EQ(rs->textAt(1, 8), "Émile");
    rs->find("Name like '*os*'", 0);
    EXPECT_EQ(rs->bookmark(), 3);
}

TEST(BuiltDatabase, SchemaRowsets) {
    BuiltFile file(cardImage());
    auto c = connect(file.path());
    std::map<std::string, std::string> types;
    for (auto rs = c->openSchema(ado::kSchemaTables); !rs->isEOF(); rs->moveNext())
        types[rs->fields().item("TABLE_NAME").text()] = rs->fields().item("TABLE_TYPE").text();
    EXPECT_EQ(types, (std::map<std::string, std::string>{{"Card Holders", "TABLE"},
                                                         {"Keyed", "TABLE"},
                                                         {"MSysObjects", "SYSTEM TABLE"},
                                                         {"Recent Cards", "VIEW"}}));

    std::vector<std::string> constraints;
    for (auto rs = c->openSchema(ado::kSchemaConstraintColumnUsage); !rs->isEOF(); rs->moveNext())
        constraints.push_back(rs->fields().item("TABLE_NAME").text() + "." +
                              rs->fields().item("COLUMN_NAME").text() + ":" +
                              rs->fields().item("CONSTRAINT_NAME").text());
    EXPECT_EQ(constraints, (std::vector<std::string>{"Keyed.Code:PrimaryKey", "Keyed.Label:ByLabel",
                                                     "Keyed.Stamp:ByLabel"}));

    std::vector<std::string> indexes;
    for (auto rs = c->openSchema(ado::kSchemaIndexes); !rs->isEOF(); rs->moveNext()) {
        Fields& f = rs->fields();
        indexes.push_back(f.item("INDEX_NAME").text() + "(" + f.item("COLUMN_NAME").text() + " " +
                          f.item("ORDINAL_POSITION").text() + " " + f.item("COLLATION").text() +
                          ") pk=" + f.item("PRIMARY_KEY").text() + " unique=" +
                          f.item("UNIQUE").text() + " nulls=" + f.item("NULLS").text());
    }
    EXPECT_EQ(indexes, (std::vector<std::string>{
                           "PrimaryKey(Code 1 1) pk=True unique=True nulls=1",
                           "ByLabel(Label 1 1) pk=False unique=True nulls=0",
                           "ByLabel(Stamp 2 2) pk=False unique=True nulls=0",
                           "ByStamp(Stamp 1 1) pk=False unique=False nulls=2",
                       }));
    EXPECT_EQ(codeOf([&] { c->openSchema(4); }), hr::kNotSupported);
    c->close();
    EXPECT_EQ(codeOf([&] { c->openSchema(ado::kSchemaTables); }), hr::kObjectClosed);
}

TEST(BuiltDatabase, PasswordIsAskedForAndChecked) {
    BuiltFile file(cardImage(u"Geheim 1"));
    auto c = Connection::create();
    EXPECT_EQ(codeOf([&] { c->open(text(file.path()), "", "", 0); }), hr::kAuthFailed);
    EXPECT_EQ(codeOf([&] { c->open(text(file.path(), "geheim 1"), "", "", 0); }), hr::kAuthFailed);
    EXPECT_EQ(c->state(), ado::kStateClosed);
    c->open(text(file.path(), "Geheim 1"), "", "", 0);
    EXPECT_EQ(c->state(), ado::kStateOpen);
    EXPECT_EQ(codeOf([&] { c->open(text(file.path(), "Geheim 1")); }), hr::kObjectOpen);
}

TEST(BuiltDatabase, ExclusiveOpenRefusesASecondOpenUntilClosed) {
    BuiltFile file(cardImage());
    auto view = connect(file.path(), ado::kModeShareExclusive);
    EXPECT_NE(codeOf([&] { connect(file.path()); }), 0u);
    EXPECT_NE(codeOf([&] { connect(file.path(), ado::kModeShareExclusive); }), 0u);
    view->close();
    auto shared = connect(file.path());
    auto other = connect(file.path());
    EXPECT_NE(codeOf([&] { connect(file.path(), ado::kModeShareExclusive); }), 0u);
}

TEST(BuiltDatabase, TableErrorsKeepTheRecordsetClosed) {
    BuiltFile file(cardImage());
    auto c = connect(file.path());
    auto rs = Recordset::create();
    EXPECT_EQ(codeOf([&] { rs->open("Select * From Card Holders", c); }), hr::kSyntaxError);
    EXPECT_EQ(codeOf([&] { rs->open("Select * From Recent Cards", c); }), hr::kSyntaxError);
    EXPECT_EQ(codeOf([&] { rs->open("Select * From [Recent Cards]", c); }), hr::kNoTable);
    EXPECT_EQ(codeOf([&] { rs->open("Select Name From Keyed", c); }), hr::kSyntaxError);
    EXPECT_EQ(rs->state(), ado::kStateClosed);
    rs->open("select   *   from   keyed ;", c);
    EXPECT_EQ(rs->recordCount(), 0);
    EXPECT_TRUE(rs->isBOF() && rs->isEOF());
    // Requery reads the file again.
    rs->requery();
    EXPECT_EQ(rs->fields().count(), 3u);
}

TEST(BuiltDatabase, DamagedFilesAreErrorsNotCrashes) {
    std::vector<uint8_t> bytes = cardImage();
    bytes.resize(bytes.size() / 2);
    BuiltFile half(bytes);
    auto c = Connection::create();
    try {
        c->open(text(half.path()));
        auto rs = Recordset::create();
        rs->open("Select * From [Card Holders]", c);
    } catch (const ProviderError& e) {
        EXPECT_FALSE(e.description().empty());
    }
    BuiltFile noise(std::vector<uint8_t>(8192, 0x5A));
    EXPECT_NE(codeOf([&] { Connection::create()->open(text(noise.path())); }), 0u);
}
