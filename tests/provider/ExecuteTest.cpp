// Statements run on a connection, as the field commands, the password dialog and the new-database
// wizard run them: they reach the file at once, or are refused with the engine's description and
// leave it as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "provider/Connection.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "jet/Database.h"

using namespace tessor::provider;
using B = jettest::Jet4ImageBuilder;
namespace fs = std::filesystem;

namespace {

fs::path writeBuilt(const std::string& name) {
    B b;
    const int t = b.addTable("Cards", {{"ID", jet::ColumnType::Long, true, 0, 0x04},
                                       {"Name", jet::ColumnType::Text, false, 100, 0, 0x01}});
    b.addRow(t, {B::i32(1), B::utf16(u"Ann")});
    const std::vector<uint8_t> bytes = b.build();
    fs::path dir = fs::temp_directory_path() / ("tessor-execute-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::shared_ptr<Connection> connect(const fs::path& path, const std::string& password = {}) {
    auto c = Connection::create();
    c->setMode(ado::kModeShareExclusive);
    std::string text = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path.string();
    if (!password.empty()) text += ";Jet OLEDB:Database Password=" + password;
    c->open(text, "", "", -1);
    return c;
}

std::vector<std::string> columnNames(const std::shared_ptr<Connection>& c,
                                     const std::string& table) {
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->open("Select * From [" + table + "]", c, ado::kOpenStatic, ado::kLockPessimistic,
             ado::kCmdText);
    std::vector<std::string> names;
    for (size_t i = 0; i < rs->fields().count(); ++i)
        names.push_back(rs->fields().item(i).name());
    return names;
}

}  // namespace

TEST(ConnectionExecute, StatementsChangeTheFileAtOnceAndRefusalsChangeNothing) {
    const fs::path path = writeBuilt("execute.mdb");
    {
        auto c = connect(path);
        c->execute("ALTER TABLE [Cards] ADD COLUMN [Print Count] LONG", 128);
        c->execute("INSERT INTO Cards (Name, [Print Count]) VALUES ('Bo', 3)", 128);
        EXPECT_EQ(columnNames(c, "Cards"), (std::vector<std::string>{"ID", "Name", "Print Count"}));

        const std::vector<uint8_t> before = jettest::readFileBytes(path);
        const std::vector<std::string> refused = {
            "ALTER TABLE Cards ADD COLUMN Name TEXT(10)", "ALTER TABLE Cards ADD COLUMN",
            "DROP TABLE Missing",
            "INSERT INTO Cards (Name) VALUES ('" + std::string(200, 'x') + "')",
            "UPDATE Cards SET [Print Count] = 'many'"};
        for (const std::string& bad : refused) {
            try {
                c->execute(bad, 128);
                ADD_FAILURE() << "accepted: " << bad;
            } catch (const ProviderError& e) {
                EXPECT_FALSE(e.description().empty()) << bad;
            }
            EXPECT_EQ(jettest::readFileBytes(path), before) << bad;
        }
        c->close();
        EXPECT_THROW(c->execute("DROP TABLE Cards", 128), ProviderError);
    }
    // What the statements did is in the file, for the engine opened afresh.
    auto db = jet::Database::open(path);
    auto data = db->readTable("Cards");
    ASSERT_EQ(data.rows.size(), 2u);
    EXPECT_EQ(data.rows[1][1], jet::Value(std::string("Bo")));
    EXPECT_EQ(data.rows[1][2], jet::Value(int32_t(3)));
    EXPECT_TRUE(data.rows[0][2].isNull());
    std::error_code ec;
    fs::remove_all(path.parent_path(), ec);
}

TEST(ConnectionExecute, PasswordStatementTakesEffectForTheNextOpen) {
    const fs::path path = writeBuilt("password.mdb");
    {
        auto c = connect(path);
        c->execute("ALTER DATABASE PASSWORD [s3cret] NULL", 128);
    }
    try {
        connect(path);
        ADD_FAILURE() << "opened without the new password";
    } catch (const ProviderError& e) {
        EXPECT_EQ(e.code(), 0x80040E4Du);
    }
    {
        auto c = connect(path, "s3cret");
        EXPECT_THROW(c->execute("ALTER DATABASE PASSWORD NULL [wrong]", 128), ProviderError);
        c->execute("ALTER DATABASE PASSWORD NULL [s3cret]", 128);
    }
    EXPECT_NO_THROW(connect(path));
    std::error_code ec;
    fs::remove_all(path.parent_path(), ec);
}
