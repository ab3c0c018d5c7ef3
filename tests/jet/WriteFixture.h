#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Jet4ImageBuilder.h"
#include "SimDisk.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace jettest {

// A Jet 4 database with table "People" (one field of every writable type, AutoNumber first,
// Memo and OLE with their own page maps, no index) and table "Keyed" (an index).
inline std::vector<uint8_t> buildPeopleImage() {
    using B = Jet4ImageBuilder;
    using jet::ColumnType;
    B b;
    b.addTable("People", {
                             {"Id", ColumnType::Long, true, 0, 0x04},
                             {"Flag", ColumnType::Bool},
                             {"Small", ColumnType::Byte},
                             {"Short", ColumnType::Int},
                             {"Price", ColumnType::Money},
                             {"Ratio", ColumnType::Float},
                             {"Amount", ColumnType::Double},
                             {"When", ColumnType::DateTime},
                             {"Key", ColumnType::Guid},
                             {"Exact", ColumnType::Numeric, true, 0, 0, 0, 18, 2},
                             {"Name", ColumnType::Text, false, 200, 0, 0x01},
                             {"Bin", ColumnType::Binary, false, 20},
                             {"Notes", ColumnType::Memo, false},
                             {"Blob", ColumnType::Ole, false},
                             {"Code", ColumnType::Text, true, 20},
                         });
    b.addTable("Keyed",
               {{"Code", ColumnType::Long},
                {"Label", ColumnType::Text, false, 40},
                {"Stamp", ColumnType::DateTime}},
               {{"PrimaryKey", {{0, true}}, 0x01, jet::IndexKind::Primary}});
    return b.build();
}

inline std::string pattern(size_t n, int seed) {
    std::string s;
    for (size_t k = 0; k < n; ++k)
        s += static_cast<char>('a' + (k * 7 + seed) % 26);
    return s;
}

// Bytes of every value, differing by seed, for OLE fields.
inline std::vector<uint8_t> bytePattern(size_t n, int seed) {
    std::vector<uint8_t> v(n);
    for (size_t k = 0; k < n; ++k)
        v[k] = static_cast<uint8_t>(k * 29 + size_t(seed) * 11);
    return v;
}

// Binary cells as the other readers print them.
inline std::string upperHex(const std::vector<uint8_t>& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

// Row i of People; Id null (assigned on insert).
inline std::vector<jet::Value> peopleRow(int i, size_t memoLen, size_t oleLen) {
    using namespace jet;
    Guid g;
    for (int k = 0; k < 16; ++k)
        g.bytes[k] = static_cast<uint8_t>(i + k);
    std::vector<uint8_t> ole(oleLen);
    for (size_t k = 0; k < oleLen; ++k)
        ole[k] = static_cast<uint8_t>(k * 31 + i);
    std::string code = "C" + std::to_string(i);
    code.resize(10, ' ');
    return {Value(),
            Value(i % 2 == 1),
            Value(static_cast<uint8_t>(i % 256)),
            Value(static_cast<int16_t>(i * 3)),
            Value(Currency{int64_t(i) * 12345}),
            Value(float(i) * 0.5f),
            Value(double(i) * 1.25),
            Value(DateTime{40000.25 + i}),
            Value(g),
            Value(Decimal{0, uint64_t(i) * 100 + 5, i % 2 == 1, 18, 2}),
            Value("name-" + std::to_string(i)),
            Value(std::vector<uint8_t>(5, static_cast<uint8_t>(i))),
            Value(pattern(memoLen, i)),
            Value(ole),
            Value(code)};
}

inline std::unique_ptr<jet::Database> openSim(SimDisk& disk, bool readOnly = false) {
    jet::OpenOptions o;
    o.readOnly = readOnly;
    return jet::Database::openFile(disk.open("db"), "db.mdb", o, disk.journal("db-journal"));
}

// A database file opened for changes.
inline std::unique_ptr<jet::Database> openWritable(const std::filesystem::path& file) {
    jet::OpenOptions o;
    o.readOnly = false;
    return jet::Database::open(file, o);
}

// The integrity check finds nothing; where names the step for the failure message.
inline void expectSound(jet::Database& db, const std::string& where = {}) {
    auto problems = jet::checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << where << (where.empty() ? "" : ": ") << problems.front()
                                  << " (" << problems.size() << " findings)";
}

// Runs a change that must be refused: the file is as it was and no journal is left. Returns
// the sentence of the refusal; what names the change in failure messages.
inline std::string refusal(SimDisk& disk, const std::function<void()>& change,
                           const std::string& what = {}) {
    const std::vector<uint8_t> before = disk.current("db");
    try {
        change();
    } catch (const jet::Error& e) {
        EXPECT_EQ(disk.current("db"), before) << "refused but changed: " << what;
        EXPECT_FALSE(disk.hotJournal("db-journal")) << what;
        return e.what();
    }
    ADD_FAILURE() << "accepted: " << what;
    return "";
}

// The disk as a restarted machine finds it after a crash: with or without the writes that
// were not yet synced.
inline SimDisk restartFrom(const SimDisk& crashed, bool keepUnsynced) {
    SimDisk d;
    for (auto& [name, bytes] : crashed.image(keepUnsynced))
        d.put(name, bytes);
    return d;
}

// What restarts find after a change crashed at each of its writes in turn, on a fresh open of
// `image` each time, with the writes not yet synced lost and then kept: a sound file, no
// journal left, and `state` reading as before the change or after it; after it whenever the
// change returned (its last write, blanking the journal's header, may fail once the change is
// in the file). `first`, when given, runs in each open before the change (a change of its own,
// done whole).
struct CrashRuns {
    int writes = 0;       // of the change
    int foundBefore = 0;  // restarts, of 2 x writes, that found the state from before
};
template <class ReadState>
CrashRuns crashAtEveryWrite(const std::vector<uint8_t>& image, const std::string& name,
                            const std::function<void(jet::Database&)>& change, ReadState state,
                            const std::function<void(jet::Database&)>& first = {}) {
    CrashRuns runs;
    SimDisk clean;
    clean.put("db", image);
    auto cleanDb = openSim(clean);
    if (first) first(*cleanDb);
    const int start = clean.writes();
    const auto before = state(*cleanDb);
    change(*cleanDb);
    const auto after = state(*cleanDb);
    runs.writes = clean.writes() - start;
    {
        // The power goes just after the change returned: it stays, although the blanking of the
        // journal's header was never synced.
        SimDisk restart = restartFrom(clean, false);
        auto re = openSim(restart);
        EXPECT_TRUE(state(*re) == after) << name << ": a change reported done is gone";
        EXPECT_FALSE(restart.exists("db-journal")) << name;
    }
    EXPECT_FALSE(before == after) << name << ": the change changes nothing";
    cleanDb.reset();
    for (bool keep : {false, true}) {
        for (int n = 1; n <= runs.writes; ++n) {
            const std::string where = name + ", crash at write " + std::to_string(n) +
                                      (keep ? ", unsynced writes kept" : ", unsynced lost");
            SimDisk disk;
            disk.put("db", image);
            auto db = openSim(disk);
            if (first) first(*db);
            disk.crashAt(disk.writes() + n);
            bool returned = true;
            try {
                change(*db);
            } catch (const jet::Error&) {
                returned = false;
            }
            EXPECT_TRUE(disk.crashed()) << where;
            db.reset();
            SimDisk restart = restartFrom(disk, keep);
            auto re = openSim(restart);
            EXPECT_FALSE(restart.exists("db-journal")) << where;
            expectSound(*re, where);
            const auto now = state(*re);
            EXPECT_TRUE(now == before || now == after) << where << ": the change is partly there";
            if (returned) {
                EXPECT_TRUE(now == after) << where << ": a change reported done is gone";
            }
            runs.foundBefore += now == before;
        }
    }
    return runs;
}

}  // namespace jettest
