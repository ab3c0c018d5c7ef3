// mdbtool sql and create, run as a user runs them, over databases the tests build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CsvTable.h"
#include "Subprocess.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Database.h"

namespace fs = std::filesystem;
using jettest::TempFile;
using tessor::testing::ProcessResult;
using tessor::testing::runMdbtool;

namespace {

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// People with three rows.
std::unique_ptr<TempFile> peopleFile() {
    auto file = std::make_unique<TempFile>(jettest::buildPeopleImage(), "sql.mdb");
    jet::OpenOptions o;
    o.readOnly = false;
    auto db = jet::Database::open(file->path(), o);
    for (int i = 0; i < 3; ++i)
        db->insertRow("People", jettest::peopleRow(i, 10, 4));
    return file;
}

}  // namespace

TEST(MdbtoolSql, UsageAndEngineRefusalsAreClear) {
    auto r = runMdbtool({"sql", "x.mdb"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("wrong number of arguments for sql"), std::string::npos) << r.err;
    r = runMdbtool({"create"});
    EXPECT_EQ(r.exitCode, 2);
    r = runMdbtool({"create", "a.mdb", "b.mdb"});
    EXPECT_EQ(r.exitCode, 2);
    r = runMdbtool({"sql", "/nonexistent/x.mdb", "SELECT * FROM T"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("error 0x80070002"), std::string::npos) << r.err;

    // Whatever the engine answers, a statement it refuses or cannot run changes nothing and
    // prints nothing on stdout.
    auto file = peopleFile();
    const std::string before = fileBytes(file->path());
    for (const char* statement : {"DELETE FROM Nowhere", "UPDATE People SET", "FROB People"}) {
        r = runMdbtool({"sql", file->path().string(), statement});
        EXPECT_EQ(r.exitCode, 3) << statement;
        EXPECT_TRUE(r.out.empty()) << statement << ": " << r.out;
        EXPECT_NE(r.err.find("mdbtool: error 0x8"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fileBytes(file->path()) == before);
}

TEST(MdbtoolSql, SelectPrintsWhatExportPrintsAndChangesReportTheirCount) {
    auto file = peopleFile();
    const std::string path = file->path().string();
    auto select = runMdbtool({"sql", path, "select * from [People]"});
    ASSERT_EQ(select.exitCode, 0) << select.err;
    auto exported = runMdbtool({"export", path, "People"});
    EXPECT_EQ(select.out, exported.out);
    auto tsv = runMdbtool({"sql", path, "SELECT * FROM People", "--tsv"});
    EXPECT_EQ(tsv.out, runMdbtool({"export", path, "People", "--tsv"}).out);

    auto update = runMdbtool({"sql", path, "UPDATE People SET Short = 5 WHERE Short >= 3"});
    ASSERT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(update.out, "2 rows affected.\n");
    auto insert = runMdbtool({"sql", path, "INSERT INTO People (Code, Short) VALUES ('x', 1)"});
    ASSERT_EQ(insert.exitCode, 0) << insert.err;
    EXPECT_EQ(insert.out, "1 row affected.\n");
    auto rows = tessor::testing::parseCsv(runMdbtool({"export", path, "People"}).out);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2][3].text, "5");
    EXPECT_EQ(rows[3][3].text, "5");
    EXPECT_EQ(rows[4][3].text, "1");
    EXPECT_EQ(runMdbtool({"check", path}).exitCode, 0);
}

TEST(MdbtoolCreate, MakesAnEmptyDatabaseThatTakesTablesAndRows) {
    TempFile dir(std::vector<uint8_t>{}, "placeholder");
    const fs::path file = dir.path().parent_path() / "new.mdb";
    auto r = runMdbtool({"create", file.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(runMdbtool({"check", file.string()}).exitCode, 0);
    EXPECT_EQ(runMdbtool({"tables", file.string()}).out, "");

    // An existing file is refused and kept.
    const std::string before = fileBytes(file);
    r = runMdbtool({"create", file.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(fileBytes(file) == before);

    r = runMdbtool(
        {"sql", file.string(), "CREATE TABLE T (Id COUNTER PRIMARY KEY, Name TEXT(20))"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path csv = dir.path().parent_path() / "t.csv";
    std::ofstream(csv) << "Name\n\"a\"\n\"b\"\n";
    r = runMdbtool({"import", file.string(), "T", csv.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(runMdbtool({"export", file.string(), "T"}).out, "Id,Name\n1,\"a\"\n2,\"b\"\n");
    EXPECT_EQ(runMdbtool({"check", file.string()}).exitCode, 0);

    // A NOT NULL field refuses a null with the sentence Access gives, and the file stays sound.
    r = runMdbtool({"sql", file.string(), "CREATE TABLE R (Code TEXT(5) NOT NULL, Note TEXT(20))"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string unchanged = fileBytes(file);
    r = runMdbtool({"sql", file.string(), "INSERT INTO R (Note) VALUES ('none')"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("The field 'R.Code' cannot contain a Null value because the Required "
                         "property for this field is set to True."),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fileBytes(file) == unchanged);
    ASSERT_EQ(runMdbtool({"sql", file.string(), "INSERT INTO R (Code) VALUES ('c')"}).exitCode, 0);
    EXPECT_EQ(runMdbtool({"check", file.string()}).exitCode, 0);

    // With a password the file opens only with it.
    const fs::path locked = dir.path().parent_path() / "locked.mdb";
    ASSERT_EQ(runMdbtool({"create", locked.string(), "--password", "pw"}).exitCode, 0);
    EXPECT_EQ(runMdbtool({"info", locked.string()}).exitCode, 3);
    EXPECT_EQ(runMdbtool({"info", locked.string(), "--password", "pw"}).exitCode, 0);
}
