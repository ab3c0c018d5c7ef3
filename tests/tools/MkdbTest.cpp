// The databases the build puts beside the executable, made by running mkdb into a temporary
// folder: the template is the empty database `mdbtool create` makes, and the example opens in
// every reader with a picture for every card.
#include <Magick++.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "ForeignReaders.h"
#include "SameDefinition.h"
#include "SidDump.h"
#include "Subprocess.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"

namespace fs = std::filesystem;
using tessor::testing::ProcessResult;
using tessor::testing::runMdbtool;
using tessor::testing::runProcess;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char pattern[] = "/tmp/tessor-mkdb-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// One run of the generator for the whole suite.
const fs::path& made() {
    static TempDir dir;
    static const bool ok = [] {
        // Under the sanitizers the picture library's caches at exit are no finding of ours.
        ProcessResult r =
            runProcess({"env", "ASAN_OPTIONS=detect_leaks=0", TESSOR_MKDB, dir.path.string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.exitCode == 0;
    }();
    EXPECT_TRUE(ok);
    return dir.path;
}

std::unique_ptr<jet::Database> openRead(const fs::path& file) {
    return jet::Database::open(file, jet::OpenOptions{});
}

void expectClean(jet::Database& db, const std::string& where) {
    auto problems = jet::checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << where << ": " << problems.front();
}

std::string text(const jet::Value& v) {
    if (v.isNull()) return "null";
    if (auto x = v.getIf<std::string>()) return *x;
    if (auto x = v.getIf<int32_t>()) return std::to_string(*x);
    if (auto x = v.getIf<int16_t>()) return std::to_string(*x);
    if (auto x = v.getIf<bool>()) return *x ? "yes" : "no";
    if (auto x = v.getIf<std::vector<uint8_t>>()) {
        std::string hex;
        for (uint8_t b : *x) {
            static const char* digits = "0123456789ABCDEF";
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return hex;
    }
    return "(value)";
}

// MSysObjects as text, leaving out what differs between two runs: the times of creation, and
// the owner SIDs as stored, whose mask is keyed by that time (compared unmasked instead).
std::multiset<std::string> catalogText(jet::Database& db) {
    jet::TableData t = db.readTable("MSysObjects");
    std::multiset<std::string> out;
    for (const auto& row : t.rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const jet::ColumnDef& c = t.def.columns[i];
            if (c.type == jet::ColumnType::DateTime || c.name == "Owner") continue;
            line += c.name + "=" + text(row[i]) + ";";
        }
        out.insert(line);
    }
    return out;
}

}  // namespace

TEST(Mkdb, TemplateIsTheDatabaseMdbtoolCreates) {
    const fs::path templ = made() / "DB" / "Template.mdb";
    ASSERT_TRUE(fs::exists(templ));
    const fs::path fresh = made() / "fresh.mdb";
    ProcessResult r = runMdbtool({"create", fresh.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::file_size(templ), fs::file_size(fresh));
    auto a = openRead(templ);
    auto b = openRead(fresh);
    expectClean(*a, "template");
    const std::vector<std::string> names = a->tableNames(true);
    ASSERT_EQ(names, b->tableNames(true));
    EXPECT_TRUE(a->tableNames().empty());  // no user tables
    for (const std::string& name : names)
        jettest::expectSameDefinition(jet::implOf(*a).tableDef(name),
                                      jet::implOf(*b).tableDef(name), name);
    EXPECT_EQ(catalogText(*a), catalogText(*b));
    EXPECT_EQ(jettest::plainSids(*a), jettest::plainSids(*b));
    for (const std::string& name : names) {
        if (name != "MSysObjects") {
            EXPECT_EQ(a->readTable(name).rows.size(), b->readTable(name).rows.size()) << name;
        }
    }
}

TEST(Mkdb, ExampleReadsTheSameInEveryReader) {
    const fs::path cards = made() / "Example" / "Cards.mdb";
    ASSERT_TRUE(fs::exists(cards));
    auto db = openRead(cards);
    expectClean(*db, "example");
    jet::TableData ours = db->readTable("Cards");
    ASSERT_GE(ours.rows.size(), 24u);
    // The print-information fields, with the types the Field menu gives them.
    const std::vector<std::pair<const char*, jet::ColumnType>> print = {
        {"Vexa_Print", jet::ColumnType::Bool},          {"Vexa_Print_Count", jet::ColumnType::Long},
        {"Vexa_Print_Time", jet::ColumnType::DateTime}, {"Vexa_Total_Print", jet::ColumnType::Long},
        {"Vexa_ID1_Rect", jet::ColumnType::Text},       {"Vexa_ID2_Rect", jet::ColumnType::Text},
        {"Vexa_ID1_Image", jet::ColumnType::Ole},       {"Vexa_ID2_Image", jet::ColumnType::Ole}};
    for (const auto& [name, type] : print) {
        const jet::ColumnDef* c = ours.def.findColumn(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->type, type) << name;
    }
    ASSERT_NE(ours.def.primaryKey(), nullptr);

    const size_t cardNo = size_t(ours.def.findColumn("CardNo") - ours.def.columns.data());
    const size_t photo = size_t(ours.def.findColumn("Photo") - ours.def.columns.data());
    std::multiset<std::string> expected;
    for (const auto& row : ours.rows)
        expected.insert(text(row[cardNo]) + "|" + text(row[photo]));
    for (auto* reader : {&jettest::readWithMdbExport, &jettest::readWithMdbReader}) {
        jettest::ForeignTable t = reader(cards, "Cards");
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << t.output;
        ASSERT_GE(t.column("CardNo"), 0);
        ASSERT_GE(t.column("Photo"), 0);
        EXPECT_EQ(t.header.size(), ours.def.columns.size());
        std::multiset<std::string> theirs;
        for (const auto& row : t.rows)
            theirs.insert(row[size_t(t.column("CardNo"))] + "|" + row[size_t(t.column("Photo"))]);
        EXPECT_EQ(theirs, expected);
    }
}

TEST(Mkdb, EveryCardsPictureIsInThePicturesFolderAndDecodes) {
    const fs::path folder = made() / "Example" / "Pictures";
    auto db = openRead(made() / "Example" / "Cards.mdb");
    jet::TableData ours = db->readTable("Cards");
    const size_t photo = size_t(ours.def.findColumn("Photo") - ours.def.columns.data());
    Magick::InitializeMagick(nullptr);
    std::set<std::string> formats, named;
    for (const auto& row : ours.rows) {
        const std::string* name = row[photo].getIf<std::string>();
        ASSERT_NE(name, nullptr);
        ASSERT_TRUE(named.insert(*name).second) << "two cards share " << *name;
        const fs::path file = folder / *name;
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        Magick::Image image;
        ASSERT_NO_THROW(image.read(file.string())) << file;
        EXPECT_GT(image.columns(), 16u) << file;
        EXPECT_GT(image.rows(), 16u) << file;
        formats.insert(fs::path(*name).extension().string());
    }
    EXPECT_GE(formats.size(), 4u);
    // Nothing in the folder that no card names.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        ++files;
        EXPECT_TRUE(named.count(entry.path().filename().string())) << entry.path();
    }
    EXPECT_EQ(files, named.size());
}
