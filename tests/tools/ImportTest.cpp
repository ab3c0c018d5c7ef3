// mdbtool import: an export read back into a fresh or an emptied database exports the same
// bytes and reads the same in mdb-export and mdb-reader; a refused line, value or header leaves
// the file byte for byte as it was and says which line and field.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "CsvTable.h"
#include "ForeignReaders.h"
#include "Subprocess.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"

namespace fs = std::filesystem;
using namespace jet;
using jettest::TempFile;
using tessor::testing::CsvField;
using tessor::testing::ProcessResult;
using tessor::testing::runMdbtool;
using tessor::testing::runProcess;

namespace {

std::string exportOf(const fs::path& file, const std::string& table) {
    auto r = runMdbtool({"export", file.string(), table});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<Database> openWritable(const fs::path& file) {
    OpenOptions o;
    o.readOnly = false;
    return Database::open(file, o);
}

void expectClean(const fs::path& file) {
    auto r = runMdbtool({"check", file.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

// People rows that reach the corners of every type's text form.
void fillPeople(const fs::path& file) {
    auto db = openWritable(file);
    db->transact([&] {
        for (int i = 0; i < 40; ++i) {
            // Memos inline, on one page and on a chain; OLE values the same.
            const size_t memo = i % 10 == 3 ? 9000 : i % 10 == 5 ? 1500 : size_t(i);
            const size_t ole = i % 10 == 4 ? 7000 : size_t(i % 7);
            db->insertRow("People", jettest::peopleRow(i, memo, ole));
        }
        std::vector<Value> odd = jettest::peopleRow(40, 0, 0);
        odd[4] = Currency{INT64_MIN};
        odd[5] = -3.4028235e38f;
        odd[6] = -0.0;
        odd[7] = DateTime{-1.25};  // 1899-12-29 06:00, before day zero
        odd[9] = Decimal{0, 999999999999999999ull, true, 18, 2};
        odd[10] = std::string("comma, \"quote\", line\nbreak, crlf\r\n and \xC3\xA9\xE2\x82\xAC");
        odd[11] = std::vector<uint8_t>{};
        odd[12] = std::string("");
        db->insertRow("People", odd);
        std::vector<Value> nulls(odd.size());
        nulls[1] = false;
        db->insertRow("People", nulls);
        std::vector<Value> far = jettest::peopleRow(42, 0, 0);
        far[4] = Currency{INT64_MAX};
        far[6] = 1.7976931348623157e308;
        far[7] = DateTime{2958465.99998};  // 9999-12-31 23:59:58
        far[10] = std::string("");
        far[12] = std::string("\xF0\x9F\x98\x80 outside the BMP");
        db->insertRow("People", far);
    });
}

void deleteAllRows(const fs::path& file, const std::string& table) {
    auto db = openWritable(file);
    std::vector<RowId> ids;
    db->forEachRow(table, [&](RowId id, const std::vector<Value>&) {
        ids.push_back(id);
        return true;
    });
    db->transact([&] {
        for (RowId id : ids)
            db->deleteRow(table, id);
    });
}

std::string hexOf(std::string_view bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        char b[3];
        std::snprintf(b, sizeof b, "%02X", c);
        hex += b;
    }
    return hex;
}

// mdbtools' known departures from the export form: GUID text without its fourth dash (and then
// hex-encoded by -b hex), binary data cut at its first zero byte, each half of a character
// outside the Basic Multilingual Plane written as '?'.
bool mdbExportCellAgrees(const std::string& ours, const std::string& theirs) {
    if (ours == theirs) return true;
    static const std::regex hexBytes("([0-9A-F]{2})+");
    if (std::regex_match(ours, hexBytes)) {
        size_t zero = 0;
        while (zero < ours.size() && ours.compare(zero, 2, "00") != 0)
            zero += 2;
        if (zero < ours.size() && theirs == ours.substr(0, zero)) return true;
    }
    std::string halves;
    for (size_t i = 0; i < ours.size(); ++i) {
        if ((static_cast<unsigned char>(ours[i]) & 0xF8) == 0xF0 && i + 3 < ours.size()) {
            halves += "??";
            i += 3;
        } else {
            halves += ours[i];
        }
    }
    if (halves != ours && halves == theirs) return true;
    static const std::regex guid(R"(\{[0-9A-F-]{36}\})");
    if (std::regex_match(ours, guid)) {
        std::string dashless = ours;
        dashless.erase(24, 1);
        return hexOf(dashless) == theirs;
    }
    return false;
}

// Both other readers read `file`'s table as `csv` (our export) says.
void expectForeignReadersAgree(const fs::path& file, const std::string& table,
                               const std::string& csv) {
    const auto ours = tessor::testing::parseCsv(csv);
    auto reader = jettest::readWithMdbReader(file, table);
    if (reader.available) {
        ASSERT_TRUE(reader.ok) << reader.output;
        ASSERT_EQ(reader.rows.size() + 1, ours.size());
        for (size_t r = 0; r < reader.rows.size(); ++r)
            for (size_t c = 0; c < reader.rows[r].size(); ++c)
                EXPECT_EQ(reader.rows[r][c], ours[r + 1][c].text)
                    << "mdb-reader, row " << r << ", " << reader.header[c];
    }
    auto mdb = jettest::readWithMdbExport(file, table);
    if (mdb.available) {
        ASSERT_TRUE(mdb.ok) << mdb.output;
        ASSERT_EQ(mdb.rows.size() + 1, ours.size());
        for (size_t r = 0; r < mdb.rows.size(); ++r)
            for (size_t c = 0; c < mdb.rows[r].size(); ++c) {
                const CsvField& cell = ours[r + 1][c];
                // mdb-export writes dates in its own form here; our reader's dates are
                // compared above.
                if (std::regex_match(cell.text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
                    continue;
                EXPECT_TRUE(mdbExportCellAgrees(cell.text, mdb.rows[r][c]))
                    << "mdb-export, row " << r << ", " << mdb.header[c] << ": ours '" << cell.text
                    << "', theirs '" << mdb.rows[r][c] << "'";
            }
    }
}

}  // namespace

TEST(Import, ExportReadBackIntoAFreshAndAnEmptiedDatabaseExportsTheSame) {
    TempFile source(jettest::buildPeopleImage(), "source.mdb");
    fillPeople(source.path());
    const std::string csv = exportOf(source.path(), "People");
    // Header, 43 rows and the two line breaks inside a text.
    ASSERT_EQ(std::count(csv.begin(), csv.end(), '\n'), 46) << csv.substr(0, 400);
    const fs::path csvFile = source.path().parent_path() / "people.csv";
    writeText(csvFile, csv);

    TempFile fresh(jettest::buildPeopleImage(), "fresh.mdb");
    auto r = runMdbtool({"import", fresh.path().string(), "People", csvFile.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "43 rows imported into 'People'.\n");
    EXPECT_EQ(exportOf(fresh.path(), "People"), csv);
    expectClean(fresh.path());
    expectForeignReadersAgree(fresh.path(), "People", csv);

    // The emptied copy's AutoNumber counter is past every Id; the given Ids are kept anyway.
    TempFile emptied(jettest::readFileBytes(source.path()), "emptied.mdb");
    deleteAllRows(emptied.path(), "People");
    EXPECT_EQ(exportOf(emptied.path(), "People"), csv.substr(0, csv.find('\n') + 1));
    r = runMdbtool({"import", emptied.path().string(), "People", csvFile.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(exportOf(emptied.path(), "People"), csv);
    expectClean(emptied.path());

    // The counter moved past the largest Id given: a row without one comes after it.
    const fs::path more = source.path().parent_path() / "more.csv";
    writeText(more, "Code,Flag\n\"new\",1\n");
    r = runMdbtool({"import", fresh.path().string(), "People", more.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto db = Database::open(fresh.path());
    auto data = db->readTable("People");
    ASSERT_EQ(data.rows.size(), 44u);
    EXPECT_EQ(data.rows.back()[0], Value(int32_t(44)));
    EXPECT_EQ(data.rows.back()[14], Value(std::string("new       ")));
}

TEST(Import, HeaderNamesAnySubsetInAnyOrderAndCase) {
    TempFile file(jettest::buildPeopleImage(), "subset.mdb");
    const fs::path csv = file.path().parent_path() / "subset.csv";
    // Windows line ends, a byte order mark, names in other case and order, empty text vs NULL.
    writeText(csv,
              "\xEF\xBB\xBF"
              "notes,SHORT,When\r\n"
              "\"two\r\nlines\",-7,\"2024-02-29 23:59:59\"\r\n"
              "\"\",,\r\n"
              ",32767,\"0100-01-01\"\r\n");
    auto r = runMdbtool({"import", file.path().string(), "people", csv.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3 rows imported into 'People'.\n");
    auto rows = tessor::testing::parseCsv(exportOf(file.path(), "People"));
    ASSERT_EQ(rows.size(), 4u);
    const CsvField null{};
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(rows[i][0].text, std::to_string(i));  // AutoNumber filled in order
        EXPECT_EQ(rows[i][10], null);
    }
    EXPECT_EQ(rows[1][12], (CsvField{"two\r\nlines", true}));
    EXPECT_EQ(rows[1][3].text, "-7");
    EXPECT_EQ(rows[1][7], (CsvField{"2024-02-29 23:59:59", true}));
    EXPECT_EQ(rows[2][12], (CsvField{"", true}));
    EXPECT_EQ(rows[2][3], null);
    EXPECT_EQ(rows[3][12], null);
    EXPECT_EQ(rows[3][7], (CsvField{"0100-01-01 00:00:00", true}));

    // Tab-separated, from standard input.
    const fs::path tsv = file.path().parent_path() / "rows.tsv";
    writeText(tsv, "Code\tAmount\n\"a\tb\"\t2.5\n");
    r = runProcess({"sh", "-c",
                    std::string("'") + TESSOR_MDBTOOL + "' import '" + file.path().string() +
                        "' People - --tsv < '" + tsv.string() + "'"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto db = Database::open(file.path());
    auto data = db->readTable("People");
    ASSERT_EQ(data.rows.size(), 4u);
    EXPECT_EQ(data.rows[3][14], Value(std::string("a\tb       ")));
    EXPECT_EQ(data.rows[3][6], Value(2.5));
}

TEST(Import, ARefusedLineLeavesTheFileAsItWasAndIsNamed) {
    TempFile file(jettest::buildPeopleImage(), "refused.mdb");
    fillPeople(file.path());
    const std::string before = fileBytes(file.path());
    const fs::path dir = file.path().parent_path();
    const fs::path csv = dir / "bad.csv";

    // 60 good lines of Keyed or People with one bad line in the middle.
    auto keyed = [](int badLine, const std::string& bad) {
        std::string s = "Code,Label,Stamp\n";
        for (int line = 2; line <= 61; ++line)
            s += line == badLine ? bad + "\n"
                                 : std::to_string(line) + ",\"label " + std::to_string(line) +
                                       "\",\"2020-01-01 10:00:00\"\n";
        return s;
    };
    struct Case {
        std::string table, text, words;
    };
    const std::vector<Case> cases = {
        {"Keyed", keyed(30, "30,\"x\",\"2020-02-30 00:00:00\""),
         "Line 30, field 'Stamp': '2020-02-30 00:00:00' is not a date"},
        {"Keyed", keyed(31, "12x,\"x\","), "Line 31, field 'Code': '12x' is not a whole number."},
        {"Keyed", keyed(32, "99999999999,,"),
         "Line 32, field 'Code': '99999999999' is out of range"},
        {"Keyed", keyed(33, "33,\"x\""), "Line 33 has 2 fields; the header line names 3."},
        // Refused by the engine: a key given twice within the same import.
        {"Keyed", keyed(34, "20,\"again\","), "Line 34: "},
        {"Keyed", keyed(61, "61,\"unclosed,"), "Line 61: a quoted field is not closed."},
        {"Keyed", keyed(36, "36,\"x\"y,"), "Line 36: text follows a closing quote."},
        {"People", "Name,Short\n\"ok\",1\n\"" + std::string(101, 'n') + "\",2\n\"ok\",3\n",
         "Line 3: The value for field 'Name' of table 'People' is 101 characters long"},
        {"People", "Short,Price\n1,\"2.5\"\n2,1.23456\n",
         "Line 3, field 'Price': '1.23456' has more than 4 decimal places."},
        {"People", "Short\n1\n40000\n",
         "Line 3, field 'Short': '40000' is out of range for an Integer"},
        {"People", "Key\n\"{00112233-4455-6677-8899-AABBCCDDEEFF}\"\n\"{0011}\"\n",
         "Line 3, field 'Key': '{0011}' is not a GUID"},
        {"People", "Bin\n\"00FF\"\n\"0F0\"\n", "Line 3, field 'Bin': '0F0' is not binary data"},
        {"People", "Id\n900\n\"x\"\n", "Line 3, field 'Id': 'x' is not a whole number."},
        // Header refusals.
        {"People", "Name,Colour\n\"a\",\"red\"\n",
         "Table 'People' has no field 'Colour' (field 2 of the header line)."},
        {"People", "Name,name\n\"a\",\"b\"\n", "The header line names field 'Name' twice."},
        {"People", "", "The CSV input is empty"},
    };
    for (const Case& c : cases) {
        writeText(csv, c.text);
        auto r = runMdbtool({"import", file.path().string(), c.table, csv.string()});
        EXPECT_EQ(r.exitCode, 3) << c.words;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(fileBytes(file.path()) == before) << c.words;
        EXPECT_FALSE(fs::exists(file.path().string() + "-journal")) << c.words;
    }
    auto r = runMdbtool({"import", file.path().string(), "Nothing", csv.string()});
    EXPECT_EQ(r.exitCode, 3);
    r = runMdbtool({"import", file.path().string(), "People", (dir / "missing.csv").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Cannot open the CSV file"), std::string::npos) << r.err;
    r = runMdbtool({"import", file.path().string(), "People"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(fileBytes(file.path()) == before);

    // The same lines without the bad one land, indexes and all.
    writeText(csv, keyed(0, ""));
    r = runMdbtool({"import", file.path().string(), "Keyed", csv.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "60 rows imported into 'Keyed'.\n");
    expectClean(file.path());
}

TEST(Import, RealTablesEmptiedAndReadBackExportTheSame) {
    const fs::path corpus = jettest::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    const std::vector<std::pair<std::string, std::string>> tables = {
        {"jet4-2003-jackcess-compindex.mdb", "Table1"},
        {"jet4-2003-jackcess-unicode-comp.mdb", "Table"},
        {"jet4-2003-jackcess-types.mdb", "Table1"},
        {"jet4-2000-jackcess-decimal.mdb", "test"},
        {"jet4-zblog-cjk-longmemo.mdb", "blog_Function"},
    };
    for (const auto& [name, table] : tables) {
        SCOPED_TRACE(name + " " + table);
        if (!fs::exists(corpus / name)) continue;
        TempFile copy(jettest::readFileBytes(corpus / name), name);
        const std::string csv = exportOf(copy.path(), table);
        const fs::path csvFile = copy.path().parent_path() / "table.csv";
        writeText(csvFile, csv);
        // Some files carry findings of their own (pages nobody owns); the import adds none.
        const std::string findings = runMdbtool({"check", copy.path().string()}).out;
        deleteAllRows(copy.path(), table);
        auto r = runMdbtool({"import", copy.path().string(), table, csvFile.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(exportOf(copy.path(), table), csv);
        EXPECT_EQ(runMdbtool({"check", copy.path().string()}).out, findings);
        expectForeignReadersAgree(copy.path(), table, csv);
    }
}
