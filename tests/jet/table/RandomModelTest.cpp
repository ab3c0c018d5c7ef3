// Random sequences of inserts, updates and deletes (long values growing and shrinking) on a
// table with indexes of every kind, checked against rows kept in memory: after each sequence
// our reader, mdb-export and mdb-reader read exactly those rows and the integrity check
// (indexes included) is clean. TESSOR_RANDOM_SEED and TESSOR_RANDOM_SEQUENCES lengthen a run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;

namespace {

unsigned envNumber(const char* name, unsigned fallback) {
    const char* v = std::getenv(name);
    return v && *v ? unsigned(std::strtoul(v, nullptr, 10)) : fallback;
}

// Columns: Id (AutoNumber, primary key), Code (unique), Name (text, ignore nulls), When
// (descending), Price, Flag, Tag (GUID), Notes (memo), Blob (OLE); a two-column index on
// (Name, When desc) and one on Flag.
std::vector<uint8_t> buildModelImage() {
    using B = Jet4ImageBuilder;
    B b;
    b.addTable("Model",
               {{"Id", ColumnType::Long, true, 0, 0x04},
                {"Code", ColumnType::Long},
                {"Name", ColumnType::Text, false, 100},
                {"When", ColumnType::DateTime},
                {"Price", ColumnType::Money},
                {"Flag", ColumnType::Bool},
                {"Tag", ColumnType::Guid},
                {"Notes", ColumnType::Memo, false},
                {"Blob", ColumnType::Ole, false}},
               {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary},
                {"Code", {{1, true}}, 0x81},
                {"Name", {{2, true}}, 0x82},
                {"When", {{3, false}}, 0x80},
                {"NameWhen", {{2, true}, {3, false}}, 0x80},
                {"Tag", {{6, true}}, 0x82},
                {"Flag", {{5, true}}, 0x80}});
    return b.build();
}

struct Generator {
    std::mt19937 rng;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::vector<Value> row() {
        std::vector<Value> r(9);
        r[1] = int32_t(pick(400));  // collides now and then: the unique index refuses
        if (pick(6)) {
            std::string s;
            const char* alphabet[] = {"a", "B", "c", "é", "Z", " ", "-", "1", "ß"};
            for (int n = 1 + pick(12); n > 0; --n)
                s += alphabet[pick(9)];
            r[2] = s;
        }
        if (pick(5)) r[3] = DateTime{30000.0 + pick(20000) + pick(86400) / 86400.0};
        r[4] = Currency{int64_t(pick(2000000)) - 1000000};
        r[5] = bool(pick(2));
        if (pick(3)) {
            Guid g;
            for (auto& byte : g.bytes)
                byte = uint8_t(pick(256));
            r[6] = g;
        }
        // long values of every form: inline, one page, chains
        const int sizes[] = {0, 10, 60, 200, 3000, 9000, 20000};
        if (int n = sizes[pick(7)]; n > 0 || pick(2)) r[7] = pattern(size_t(n), pick(26));
        if (int n = sizes[pick(7)]; n > 0) {
            std::vector<uint8_t> blob(static_cast<size_t>(n), 0);
            for (auto& byte : blob)
                byte = uint8_t(pick(256));
            r[8] = blob;
        }
        return r;
    }
};

using Model = std::map<int32_t, std::pair<RowId, std::vector<Value>>>;  // by Id

void compareWithForeign(const ForeignTable& t, const Model& model, const std::string& who) {
    if (!t.available) return;
    ASSERT_TRUE(t.ok) << who << ": " << t.output.substr(0, 400);
    ASSERT_EQ(t.rows.size(), model.size()) << who;
    const int id = t.column("Id"), code = t.column("Code"), name = t.column("Name"),
              notes = t.column("Notes"), blob = t.column("Blob");
    ASSERT_TRUE(id >= 0 && code >= 0 && name >= 0 && notes >= 0 && blob >= 0) << who;
    for (const auto& r : t.rows) {
        auto it = model.find(int32_t(std::stol(r[size_t(id)])));
        ASSERT_NE(it, model.end()) << who << ": unknown Id " << r[size_t(id)];
        const std::vector<Value>& m = it->second.second;
        EXPECT_EQ(r[size_t(code)], std::to_string(m[1].as<int32_t>())) << who;
        EXPECT_EQ(r[size_t(name)], m[2].isNull() ? "" : m[2].as<std::string>()) << who;
        EXPECT_EQ(r[size_t(notes)], m[7].isNull() ? "" : m[7].as<std::string>()) << who;
        std::string theirs = r[size_t(blob)];
        for (char& c : theirs)
            c = char(std::toupper(uint8_t(c)));
        EXPECT_EQ(theirs, m[8].isNull() ? "" : upperHex(m[8].as<std::vector<uint8_t>>())) << who;
    }
}

}  // namespace

TEST(RandomModel, SequencesReadBackExactlyEverywhere) {
    const unsigned seed = envNumber("TESSOR_RANDOM_SEED", 20261208);
    const unsigned sequences = envNumber("TESSOR_RANDOM_SEQUENCES", 4);
    SimDisk disk;
    disk.put("db", buildModelImage());
    auto db = openSim(disk);
    Generator gen{std::mt19937(seed)};
    Model model;
    int refusedDuplicates = 0;
    for (unsigned s = 0; s < sequences; ++s) {
        const std::string where = "seed " + std::to_string(seed) + " sequence " + std::to_string(s);
        for (int op = 0; op < 120; ++op) {
            const int kind = model.size() < 20 ? 0 : gen.pick(10);
            try {
                if (kind < 4) {
                    std::vector<Value> r = gen.row();
                    RowId at = db->insertRow("Model", r);
                    r[0] = int32_t(db->tableDef("Model").autoNumber);
                    model[r[0].as<int32_t>()] = {at, r};
                } else if (kind < 8) {
                    auto it = std::next(model.begin(), gen.pick(int(model.size())));
                    std::vector<Value> r = gen.row();
                    r[0] = it->first;
                    if (gen.pick(3) == 0) r[7] = it->second.second[7];  // long value kept
                    db->updateRow("Model", it->second.first, r);
                    it->second.second = r;
                } else {
                    auto it = std::next(model.begin(), gen.pick(int(model.size())));
                    db->deleteRow("Model", it->second.first);
                    model.erase(it);
                }
            } catch (const Error& e) {
                ASSERT_EQ(e.code(), index::kIntegrityViolation) << where << ": " << e.what();
                ++refusedDuplicates;
            }
        }
        TableData data = db->readTable("Model");
        ASSERT_EQ(data.rows.size(), model.size()) << where;
        for (size_t i = 0; i < data.rows.size(); ++i) {
            auto it = model.find(data.rows[i][0].as<int32_t>());
            ASSERT_NE(it, model.end()) << where;
            EXPECT_EQ(data.rowIds[i], it->second.first) << where;
            EXPECT_EQ(data.rows[i], it->second.second) << where << " Id " << it->first;
        }
        auto problems = checkIntegrity(*db);
        ASSERT_TRUE(problems.empty()) << where << ": " << problems.front();
        TempFile copy(disk.current("db"), "model.mdb");
        compareWithForeign(readWithMdbExport(copy.path(), "Model"), model, where + " mdb-export");
        compareWithForeign(readWithMdbReader(copy.path(), "Model"), model, where + " mdb-reader");
    }
    EXPECT_GT(refusedDuplicates, 0);  // the unique index was put to the test
}
