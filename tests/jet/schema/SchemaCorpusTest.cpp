// Schema changes on copies of real Access files: fields added and dropped on tables with rows,
// primary keys built over their rows, tables and indexes made and dropped. Afterwards our reader,
// mdbtools and mdb-reader read the same rows, mdb-schema lists the new design, and the file is
// sound.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "ForeignReaders.h"
#include "TestSupport.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

std::string mdbSchema(const fs::path& file) {
    std::string cmd = "mdb-schema '" + file.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
    if (!p) return {};
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p.get())) > 0)
        out.append(buf, n);
    return out;
}

std::string cellText(const Value& v) {
    if (v.isNull()) return "";
    if (auto s = v.getIf<std::string>()) return *s;
    if (auto i = v.getIf<int32_t>()) return std::to_string(*i);
    if (auto i = v.getIf<int16_t>()) return std::to_string(*i);
    if (auto d = v.getIf<double>()) {
        char b[64];
        std::snprintf(b, sizeof b, "%g", *d);
        return b;
    }
    return "?";
}

// Long, Integer and Text fields as both readers print them, compared as sets of rows.
void expectReadersAgree(const fs::path& file, Database& db, const std::string& table,
                        const std::string& where) {
    TableData ours = db.readTable(table);
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        ForeignTable t = reader(file, table);
        if (!t.available) continue;
        ASSERT_TRUE(t.ok) << where << ": " << t.output.substr(0, 1000);
        ASSERT_EQ(t.rows.size(), ours.rows.size()) << where;
        ASSERT_EQ(t.header.size(), ours.def.columns.size()) << where;
        std::multiset<std::string> theirs, mine;
        for (size_t r = 0; r < ours.rows.size(); ++r) {
            std::string a, b;
            for (size_t c = 0; c < ours.def.columns.size(); ++c) {
                ColumnType type = ours.def.columns[c].type;
                if (type != ColumnType::Long && type != ColumnType::Int && type != ColumnType::Text)
                    continue;
                int at = t.column(ours.def.columns[c].name);
                ASSERT_GE(at, 0) << where << ": no field " << ours.def.columns[c].name;
                a += t.rows[r].at(at) + "|";
                b += cellText(ours.rows[r][c]) + "|";
            }
            theirs.insert(a);
            mine.insert(b);
        }
        EXPECT_EQ(theirs, mine) << where;
    }
}

void expectClean(Database& db, const std::string& where) {
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << where << ": " << problems.front() << " (" << problems.size()
                                  << ")";
}

bool refusedForGoodReason(const Error& e) {
    // Files whose text indexes use a sort order without a measured table, and the like.
    return e.code() == hr::kNotSupported || e.code() == index::kIntegrityViolation;
}

}  // namespace

TEST(SchemaCorpus, FieldsKeysTablesAndIndexesChangedInRealFiles) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    int changed = 0, keys = 0;
    for (const auto& entry : fs::directory_iterator(corpusDir())) {
        const fs::path src = entry.path();
        const std::string file = src.filename().string();
        if (src.extension() != ".mdb" || file.rfind("jet4", 0) != 0) continue;
        // The two 3 MB files add minutes and nothing the others do not cover.
        if (fs::file_size(src) > 1'000'000) continue;
        TempFile copy(readFileBytes(src), file);
        OpenOptions rw;
        rw.readOnly = false;
        std::unique_ptr<Database> db;
        try {
            db = Database::open(copy.path(), rw);
        } catch (const Error&) {
            continue;  // password-protected: not this test's subject
        }
        if (db->isEncoded() || !checkIntegrity(*db).empty()) continue;
        std::vector<std::string> touched;
        for (const std::string& name : db->tableNames()) {
            const std::string where = file + " / " + name;
            size_t rows = db->readTable(name).rows.size();
            try {
                NewColumn added;
                added.name = "AddedText";
                added.length = 20;
                db->addColumn(name, added);
                NewColumn number;
                number.name = "AddedNumber";
                number.type = ColumnType::Long;
                db->addColumn(name, number);
                for (const auto& v : db->readTable(name).rows) {
                    ASSERT_TRUE(v[v.size() - 1].isNull()) << where;
                    ASSERT_TRUE(v[v.size() - 2].isNull()) << where;
                }
                db->dropColumn(name, "AddedText");
                // A field no index uses goes; every other value stays.
                const TableDef& def = db->tableDef(name);
                std::string victim;
                for (const ColumnDef& c : def.columns) {
                    bool indexed = false;
                    for (const RealIndexDef& r : def.realIndexes)
                        for (const IndexColumn& ic : r.columns)
                            indexed = indexed || ic.columnId == c.id;
                    if (!indexed && c.name != "AddedNumber") victim = c.name;
                }
                if (!victim.empty()) {
                    TableData before = db->readTable(name);
                    size_t at = 0;
                    while (before.def.columns[at].name != victim)
                        ++at;
                    db->dropColumn(name, victim);
                    TableData after = db->readTable(name);
                    ASSERT_EQ(after.rows.size(), before.rows.size()) << where;
                    for (size_t r = 0; r < after.rows.size(); ++r) {
                        std::vector<Value> expect = before.rows[r];
                        expect.erase(expect.begin() + at);
                        ASSERT_EQ(after.rows[r], expect) << where << " row " << r;
                    }
                }
                if (!db->tableDef(name).primaryKey()) {
                    // Numbered rows make a key Access would accept.
                    TableData t = db->readTable(name);
                    for (size_t r = 0; r < t.rows.size(); ++r) {
                        std::vector<Value> v = t.rows[r];
                        v.back() = int32_t(r + 1);
                        db->updateRow(name, t.rowIds[r], v);
                    }
                    NewIndex pk;
                    pk.name = "AddedKey";
                    pk.columns = {{"AddedNumber", true}};
                    pk.primary = true;
                    db->createIndex(name, pk);
                    ++keys;
                }
            } catch (const Error& e) {
                ASSERT_TRUE(refusedForGoodReason(e)) << where << ": " << e.what();
                std::cout << "refused: " << where << ": " << e.what() << "\n";
                continue;
            }
            EXPECT_EQ(db->readTable(name).rows.size(), rows) << where;
            touched.push_back(name);
            ++changed;
        }
        // A new table next to the old ones, and one of the old ones dropped.
        try {
            NewTable t;
            t.name = "Made Here";
            t.columns = {NewColumn{"Code", ColumnType::Long},
                         NewColumn{"Label", ColumnType::Text, 30}};
            NewIndex pk;
            pk.name = "PrimaryKey";
            pk.columns = {{"Code", true}};
            pk.primary = true;
            t.indexes = {pk};
            db->createTable(t);
            for (int i = 0; i < 20; ++i)
                db->insertRow("Made Here",
                              {Value(int32_t(i)), Value("label " + std::to_string(i))});
            touched.push_back("Made Here");
            // A table of fixed-length fields only, with rows, takes one more: its rows carry no
            // variable part, so they are stored again with room for the new field.
            db->createTable(NewTable{"Made Fixed",
                                     {NewColumn{"Code", ColumnType::Long},
                                      NewColumn{"Amount", ColumnType::Double}},
                                     {}});
            for (int i = 0; i < 20; ++i)
                db->insertRow("Made Fixed", {Value(int32_t(i)), Value(i * 1.5)});
            db->dropColumn("Made Fixed", "Amount");
            db->addColumn("Made Fixed", NewColumn{"Later", ColumnType::Double});
            touched.push_back("Made Fixed");
        } catch (const Error& e) {
            ASSERT_TRUE(refusedForGoodReason(e)) << file << ": " << e.what();
            std::cout << "refused: " << file << ": " << e.what() << "\n";
        }
        expectClean(*db, file);
        db.reset();
        auto re = Database::open(copy.path(), rw);
        expectClean(*re, file + " reopened");
        for (const std::string& name : touched)
            expectReadersAgree(copy.path(), *re, name, file + " / " + name);
        std::string schema = mdbSchema(copy.path());
        for (const std::string& name : touched)
            EXPECT_NE(schema.find(name), std::string::npos)
                << file << ": " << schema.substr(0, 500);
        for (const std::string& name : touched) {
            if (name == "Made Here" || name == "Made Fixed") continue;
            try {
                re->dropTable(name);
            } catch (const Error& e) {
                EXPECT_TRUE(refusedForGoodReason(e) ||
                            std::string(e.what()).find("relationships") != std::string::npos)
                    << e.what();
            }
        }
        expectClean(*re, file + " after dropping tables");
    }
    std::cout << changed << " tables changed, " << keys << " primary keys built\n";
    EXPECT_GT(changed, 20);
}
