#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <unistd.h>

#include "provider/Connection.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"

using namespace tessor::provider;
namespace fs = std::filesystem;

namespace {

fs::path sharedDir() {
    const char* env = std::getenv("TESSOR_SHARED_DIR");
    return env ? fs::path(env) : fs::path("/work/shared");
}

// The corpus file, or "" when the corpus is not there (the test then skips).
std::string corpus(const std::string& name) {
    const fs::path p = sharedDir() / "testdata" / "mdb" / name;
    return fs::exists(p) ? p.string() : std::string();
}

#define NEED_CORPUS(var, name)            \
    const std::string var = corpus(name); \
    if (var.empty()) GTEST_SKIP() << "corpus file " << name << " is not here"

fs::path scratchDir() {
    return fs::temp_directory_path() / ("tessor-db-tests-" + std::to_string(getpid()));
}

// Removes the copies when the test program ends.
struct ScratchCleanup {
    ~ScratchCleanup() {
        std::error_code ec;
        fs::remove_all(scratchDir(), ec);
    }
} g_cleanup;

// A private copy, so that locks and opens here do not meet other tests' opens.
std::string copyOf(const std::string& path) {
    const fs::path dir = scratchDir();
    fs::create_directories(dir);
    const fs::path to = dir / fs::path(path).filename();
    fs::copy_file(path, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    return to.string();
}

std::string text(const std::string& path, const std::string& password = {}, bool blank = false) {
    std::string t = std::string("Provider=") + (blank ? " " : "") +
                    "Microsoft.Jet.OLEDB.4.0;Data Source = " + path;
    if (!password.empty()) t += ";Jet OLEDB:Database Password=" + password;
    return t;
}

std::shared_ptr<Connection> connect(const std::string& path, int mode = 0,
                                    const std::string& password = {}) {
    auto c = Connection::create();
    if (mode) c->setMode(mode);
    c->open(text(path, password), "", "", -1);
    return c;
}

uint32_t codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProviderError& e) {
        return e.code();
    }
    return 0;
}

// TABLE_NAME -> TABLE_TYPE from the tables rowset, walked as the open dialog walks it.
std::multimap<std::string, std::string> tableTypes(Connection& c) {
    std::multimap<std::string, std::string> out;
    auto rs = c.openSchema(ado::kSchemaTables);
    while (!rs->isEOF()) {
        out.emplace(rs->fields().item("TABLE_NAME").text(), rs->fields().item("TABLE_TYPE").text());
        rs->moveNext();
    }
    return out;
}

}  // namespace

TEST(ProviderCorpus, TablesRowsetListsUserTablesAsTable) {
    NEED_CORPUS(path, "jet4-northwind-statdata.mdb");
    auto c = connect(path);
    EXPECT_EQ(c->state(), ado::kStateOpen);
    const auto types = tableTypes(*c);
    std::set<std::string> user;
    for (const auto& [name, type] : types)
        if (type == "TABLE") user.insert(name);
    EXPECT_EQ(user, (std::set<std::string>{"Categories", "Customers", "Employees", "Order Details",
                                           "Orders", "Products", "Shippers", "Suppliers"}));
    ASSERT_TRUE(types.count("MSysObjects"));
    EXPECT_EQ(types.find("MSysObjects")->second, "SYSTEM TABLE");
    // Northwind's select queries are views.
    size_t views = 0;
    for (const auto& [name, type] : types)
        views += type == "VIEW";
    EXPECT_GT(views, 0u);
    c->close();
    EXPECT_EQ(c->state(), ado::kStateClosed);
}

TEST(ProviderCorpus, ConstraintColumnUsageNamesAccessKeysPrimaryKey) {
    NEED_CORPUS(path, "jet4-northwind-statdata.mdb");
    auto c = connect(path);
    auto rs = c->openSchema(ado::kSchemaConstraintColumnUsage);
    std::multimap<std::string, std::string> keyColumns;  // table -> column of "PrimaryKey"
    while (!rs->isEOF()) {
        if (rs->fields().item("CONSTRAINT_NAME").text() == "PrimaryKey")
            keyColumns.emplace(rs->fields().item("TABLE_NAME").text(),
                               rs->fields().item("COLUMN_NAME").text());
        rs->moveNext();
    }
    auto range = keyColumns.equal_range("Order Details");
    std::set<std::string> od;
    for (auto it = range.first; it != range.second; ++it)
        od.insert(it->second);
    EXPECT_EQ(od, (std::set<std::string>{"OrderID", "ProductID"}));
    ASSERT_EQ(keyColumns.count("Categories"), 1u);
    EXPECT_EQ(keyColumns.find("Categories")->second, "CategoryID");
    EXPECT_EQ(keyColumns.count("Customers"), 1u);
}

TEST(ProviderCorpus, IndexesRowsetHasOneRowPerIndexColumn) {
    NEED_CORPUS(path, "jet4-northwind-statdata.mdb");
    auto c = connect(path);
    auto rs = c->openSchema(ado::kSchemaIndexes);
    std::set<std::string> orderIndexed;
    bool sawUniqueName = false;
    bool sawPrimary = false;
    for (rs->moveFirst(); !rs->isEOF(); rs->moveNext()) {
        Fields& f = rs->fields();
        const std::string table = f.item("TABLE_NAME").text();
        if (table == "Orders") orderIndexed.insert(f.item("COLUMN_NAME").text());
        if (table == "Categories" && f.item("COLUMN_NAME").text() == "CategoryName")
            sawUniqueName =
                f.item("UNIQUE").value().toBool() && !f.item("PRIMARY_KEY").value().toBool();
        if (table == "Categories" && f.item("INDEX_NAME").text() == "PrimaryKey") {
            sawPrimary = f.item("PRIMARY_KEY").value().toBool();
            EXPECT_EQ(f.item("NULLS").value().toInt32(), 1);
            EXPECT_EQ(f.item("ORDINAL_POSITION").value().toInt32(), 1);
        }
    }
    for (const char* col :
         {"CustomerID", "EmployeeID", "OrderDate", "ShippedDate", "ShipPostalCode", "OrderID"})
        EXPECT_TRUE(orderIndexed.count(col)) << col;
    EXPECT_TRUE(sawUniqueName);
    EXPECT_TRUE(sawPrimary);
}

TEST(ProviderCorpus, RecordsetHoldsTheWholeTable) {
    NEED_CORPUS(path, "jet4-northwind-statdata.mdb");
    auto c = connect(path);
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    // A name with a blank must be bracketed; bare it is a syntax error, as for the database.
    EXPECT_EQ(codeOf([&] { rs->open("Select * From Order Details", c, 3, 2, 1); }),
              hr::kSyntaxError);
    EXPECT_EQ(rs->state(), ado::kStateClosed);
    EXPECT_EQ(codeOf([&] { rs->open("Select * From NoSuchTable", c, 3, 2, 1); }), hr::kNoTable);
    rs->open("Select * From [Order Details]", c, ado::kOpenStatic, ado::kLockPessimistic,
             ado::kCmdText);
    EXPECT_EQ(rs->recordCount(), 2155);
    Fields& f = rs->fields();
    ASSERT_EQ(f.count(), 5u);
    EXPECT_EQ(f.item("OrderID").typeCode(), 3);
    EXPECT_EQ(f.item("UnitPrice").typeCode(), 6);
    EXPECT_EQ(f.item("Quantity").typeCode(), 2);
    EXPECT_EQ(f.item("Discount").typeCode(), 4);
    // The first rows as the other reader dumps them: 10248,11,14.0000,12,0.
    EXPECT_EQ(f.item("OrderID").text(), "10248");
    EXPECT_EQ(f.item("ProductID").text(), "11");
    EXPECT_EQ(f.item("UnitPrice").text(), "14");
    EXPECT_EQ(f.item("Quantity").text(), "12");
    rs->setSort("UnitPrice DESC, OrderID");
    EXPECT_EQ(f.item("UnitPrice").text(), "263.5");
    rs->find("ProductID = 42", 1);
    EXPECT_FALSE(rs->isEOF());
    EXPECT_EQ(f.item("ProductID").value().toInt32(), 42);
    EXPECT_LT(rs->memoryBytes(), 2 * rs->dataBytes() + 64 * 1024);
    // The same table by its name alone.
    auto byName = Recordset::create();
    byName->open("[Order Details]", c, 3, 2, ado::kCmdTable);
    EXPECT_EQ(byName->recordCount(), 2155);
    EXPECT_EQ(codeOf([&] { byName->open("Order Details", c, 3, 2, 4); }), hr::kObjectOpen);
    auto badOption = Recordset::create();
    EXPECT_EQ(codeOf([&] { badOption->open("Order Details", c, 3, 2, 4); }), hr::kInvalidArgument);
}

TEST(ProviderCorpus, EveryFieldTypeHasItsCode) {
    NEED_CORPUS(path, "jet4-2000-jackcess-msproject-ole.mdb");
    auto c = connect(path);
    auto rs = Recordset::create();
    rs->open("Select * From MSP_PROJECTS", c);
    std::set<int> codes;
    for (size_t i = 0; i < rs->fields().count(); ++i)
        codes.insert(rs->fields().item(i).typeCode());
    // Yes/no, date, double, integer, long, memo, OLE and text.
    for (int code : {11, 7, 5, 2, 3, 203, 205, 202})
        EXPECT_TRUE(codes.count(code)) << code;
    EXPECT_EQ(rs->recordCount(), 1);
}

TEST(ProviderCorpus, PasswordIsNeededAndChecked) {
    NEED_CORPUS(path, "jet4-2000-mdbreader-password.mdb");
    const std::string file = copyOf(path);
    auto c = Connection::create();
    EXPECT_EQ(codeOf([&] { c->open(text(file, {}, true), "", "", 0); }), hr::kAuthFailed);
    EXPECT_EQ(c->state(), ado::kStateClosed);
    EXPECT_EQ(codeOf([&] { c->open(text(file, "Password"), "", "", 0); }), hr::kAuthFailed);
    try {
        c->open(text(file, "wrong"), "", "", 0);
        ADD_FAILURE() << "a wrong password opened the database";
    } catch (const ProviderError& e) {
        EXPECT_EQ(e.code(), 0x80040E4Du);
        EXPECT_NE(e.description().find("password"), std::string::npos) << e.description();
    }
    c->open(text(file, "password"), "", "", 0);
    EXPECT_EQ(c->state(), ado::kStateOpen);
    EXPECT_EQ(tableTypes(*c).find("Table1")->second, "TABLE");
    auto rs = Recordset::create();
    rs->open("Select * From Table1", c);
    EXPECT_EQ(rs->recordCount(), 3);
}

TEST(ProviderCorpus, ExclusiveOpenKeepsOthersOut) {
    NEED_CORPUS(path, "jet4-2000-mdbreader-nopassword.mdb");
    const std::string file = copyOf(path);
    auto holder = connect(file, ado::kModeShareExclusive);
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->open("Select * From Table1", holder, 3, 2, 1);
    EXPECT_NE(codeOf([&] { connect(file); }), 0u);
    EXPECT_NE(codeOf([&] { connect(file, ado::kModeShareExclusive); }), 0u);
    EXPECT_EQ(codeOf([&] { holder->setMode(0); }), hr::kObjectOpen);
    // Closing the connection lets the file go; the recordset keeps its rows but can no
    // longer read the file again.
    holder->close();
    EXPECT_EQ(rs->recordCount(), 3);
    EXPECT_EQ(codeOf([&] { rs->requery(); }), hr::kConnectionInvalid);
    auto again = connect(file, ado::kModeShareExclusive);
    EXPECT_EQ(again->state(), ado::kStateOpen);
}

TEST(ProviderCorpus, SharedOpensCoexistButKeepExclusiveOut) {
    NEED_CORPUS(path, "jet4-2000-mdbreader-nopassword.mdb");
    const std::string file = copyOf(path);
    auto a = connect(file);
    auto b = connect(file);
    EXPECT_EQ(b->state(), ado::kStateOpen);
    EXPECT_NE(codeOf([&] { connect(file, ado::kModeShareExclusive); }), 0u);
}

TEST(ProviderCorpus, MissingFileAndOlderFormat) {
    auto c = Connection::create();
    EXPECT_NE(codeOf([&] { c->open(text("/nonexistent/dir/x.mdb")); }), 0u);
    EXPECT_EQ(c->state(), ado::kStateClosed);
    NEED_CORPUS(path, "jet3-mdbtools-nwind.mdb");
    // An Access 97 file opens for reading.
    auto old = connect(copyOf(path));
    auto rs = Recordset::create();
    rs->open("Select * From [Order Details]", old);
    EXPECT_EQ(rs->recordCount(), 2155);
}

// Every user table of every corpus file opens as a recordset with the row count the other
// reader counts, and text and whole-number cells as it dumps them.
TEST(ProviderCorpus, EveryTableAgreesWithTheOtherReader) {
    const fs::path oracle = sharedDir() / "testdata" / "mdb-oracle";
    if (!fs::exists(oracle)) GTEST_SKIP() << "no corpus";
    size_t tables = 0;
    size_t cells = 0;
    for (const auto& dir : fs::directory_iterator(oracle)) {
        if (!dir.is_directory()) continue;
        const std::string file = dir.path().filename().string();
        const std::string path = corpus(file);
        if (path.empty()) continue;
        std::ifstream list(dir.path() / "tables.tsv");
        std::string line;
        std::getline(list, line);  // header
        auto c = Connection::create();
        c->setMode(ado::kModeRead);
        c->open(text(path, file.find("-password") != std::string::npos ? "password" : ""));
        while (std::getline(list, line)) {
            std::vector<std::string> cols;
            size_t pos = 0;
            for (size_t tab; (tab = line.find('\t', pos)) != std::string::npos; pos = tab + 1)
                cols.push_back(line.substr(pos, tab - pos));
            cols.push_back(line.substr(pos));
            if (cols.size() < 4) continue;
            SCOPED_TRACE(file + " / " + cols[1]);
            auto rs = Recordset::create();
            rs->setCursorLocation(ado::kUseClient);
            rs->open("Select * From [" + cols[1] + "]", c, 3, 2, 1);
            EXPECT_EQ(rs->recordCount(), std::stol(cols[2]));
            ++tables;
            // Compare the first line of the dump for the columns whose text forms agree: whole
            // numbers and single-line texts without quotes.
            std::ifstream csv(dir.path() / cols[3]);
            std::string header, first;
            if (rs->recordCount() == 0 || !std::getline(csv, header) || !std::getline(csv, first))
                continue;
            std::vector<std::string> values;
            bool quoted = false;
            std::string cur;
            for (char ch : first) {
                if (ch == '"') quoted = !quoted;
                if (ch == ',' && !quoted) {
                    values.push_back(cur);
                    cur.clear();
                } else {
                    cur += ch;
                }
            }
            values.push_back(cur);
            if (quoted || values.size() != rs->fields().count()) continue;  // multi-line row
            for (size_t i = 0; i < values.size(); ++i) {
                const Field f = rs->fields().item(i);
                const int t = f.typeCode();
                std::string v = values[i];
                if (t == 202 && v.size() >= 2 && v.front() == '"') {
                    v = v.substr(1, v.size() - 2);
                    if (v.find('"') != std::string::npos) continue;
                } else if (t != 2 && t != 3 && t != 17) {
                    continue;
                }
                EXPECT_EQ(f.text(), v) << f.name();
                ++cells;
            }
        }
    }
    std::printf("%zu tables, %zu cells compared\n", tables, cells);
    EXPECT_GT(tables, 50u);
}

TEST(ProviderCorpus, DatesFarFromTheEpochFormatByTheCalendar) {
    NEED_CORPUS(path, "jet4-mdbtools-datetest.mdb");
    auto c = connect(path, ado::kModeRead);
    auto rs = Recordset::create();
    rs->open("Select * From DateTest", c);
    rs->setSort("IDCol");
    std::vector<std::string> seen;
    for (; !rs->isEOF(); rs->moveNext())
        seen.push_back(rs->fields().item("DateTimeCol").text() + " " +
                       rs->fields().item("DateCol").text());
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[1], "9999/01/01 00:00:00 9999/01/01 00:00:00");
    EXPECT_EQ(seen[2], "1898/01/01 00:00:00 1899/01/01 00:00:00");
    EXPECT_EQ(seen[3], "0632/01/01 00:00:00 0633/01/01 00:00:00");
    // Sorting by a date puts the years before the epoch first, in calendar order.
    rs->setSort("DateCol DESC");
    EXPECT_EQ(rs->fields().item("IDCol").text(), "2");
    rs->moveLast();
    EXPECT_EQ(rs->fields().item("IDCol").text(), "4");
}
