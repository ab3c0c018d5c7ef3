// A real process killed (SIGKILL) at a random moment while it changes a real file: after each
// kill, reopening rolls back any half-done change, the integrity check is clean, and the table
// holds exactly the rows after the last acknowledged operation, or after the one in flight.
// The child acknowledges each finished operation through a pipe. TESSOR_KILL_ROUNDS lengthens
// the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>

#include "TestSupport.h"
#include "WriteFixture.h"
#include "jet/Check.h"
#include "jet/Database.h"

using namespace jet;
using namespace jettest;

namespace {

unsigned envNumber(const char* name, unsigned fallback) {
    const char* v = std::getenv(name);
    return v && *v ? unsigned(std::strtoul(v, nullptr, 10)) : fallback;
}

// Where the workload writes: a table, a column holding the operation's key (whole number, as
// the column's type takes it) and a text column; other columns as in a template row.
struct Target {
    std::string name;
    std::vector<uint8_t> file;
    std::string table;
    std::string keyColumn;
    std::string textColumn;
    std::string memoColumn;  // optional
};

// What the workload has made: key -> version of the row. Rows that were there before are
// not touched and are compared as they were.
using State = std::map<int32_t, int>;

struct Op {
    enum Kind { Insert, Update, Delete, Batch } kind = Insert;
    int32_t key = 0;
};

// The workload is a function of the seed and the state, so the parent can replay it.
Op opAt(unsigned seed, int step, const State& state) {
    std::mt19937 rng(seed * 7919u + unsigned(step));
    const int roll = int(rng() % 10);
    Op op;
    if (state.size() < 3 || roll < 4) {
        op.kind = roll == 0 ? Op::Batch : Op::Insert;
        op.key = 1000 + step * 4;
        return op;
    }
    auto it = std::next(state.begin(), long(rng() % state.size()));
    op.key = it->first;
    op.kind = roll < 8 ? Op::Update : Op::Delete;
    return op;
}

void applyToState(const Op& op, State& s) {
    switch (op.kind) {
        case Op::Insert:
            s[op.key] = 0;
            break;
        case Op::Batch:
            for (int k = 0; k < 3; ++k)
                s[op.key + k] = 0;
            break;
        case Op::Update:
            ++s[op.key];
            break;
        case Op::Delete:
            s.erase(op.key);
            break;
    }
}

std::string textFor(int32_t key, int version) {
    return "k" + std::to_string(key) + "v" + std::to_string(version);
}

size_t columnAt(const TableDef& def, const std::string& name) {
    return size_t(def.findColumn(name) - def.columns.data());
}

Value keyValue(const ColumnDef& c, int32_t key) {
    if (c.type == ColumnType::Text) return std::to_string(key);
    if (c.type == ColumnType::Int) return int16_t(key);
    return key;
}

std::optional<int32_t> keyOf(const ColumnDef& c, const Value& v) {
    if (const int32_t* n = v.getIf<int32_t>()) return *n;
    if (const int16_t* n = v.getIf<int16_t>()) return *n;
    if (const std::string* s = v.getIf<std::string>()) {
        if (s->empty() || s->find_first_not_of("0123456789") != std::string::npos) return {};
        return int32_t(std::stol(*s));
    }
    (void)c;
    return std::nullopt;
}

// The child: runs operations until killed, writing the number of each finished one.
[[noreturn]] void runChild(const Target& t, const std::filesystem::path& path, unsigned seed,
                           int ackFd) {
    try {
        OpenOptions rw;
        rw.readOnly = false;
        auto db = Database::open(path, rw);
        const TableDef& def = db->tableDef(t.table);
        const size_t key = columnAt(def, t.keyColumn), text = columnAt(def, t.textColumn);
        const size_t memo = t.memoColumn.empty() ? SIZE_MAX : columnAt(def, t.memoColumn);
        std::vector<Value> templ = db->readTable(t.table).rows.front();
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (def.columns[i].isAutoNumber()) templ[i] = Value();
        State state;
        std::map<int32_t, RowId> where;
        auto row = [&](int32_t k, int version) {
            std::vector<Value> r = templ;
            r[key] = keyValue(def.columns[key], k);
            r[text] = textFor(k, version);
            if (memo != SIZE_MAX) r[memo] = pattern(size_t((k * 37 + version * 1500) % 9000), k);
            return r;
        };
        for (int step = 0;; ++step) {
            const Op op = opAt(seed, step, state);
            switch (op.kind) {
                case Op::Insert:
                    where[op.key] = db->insertRow(t.table, row(op.key, 0));
                    break;
                case Op::Batch:
                    db->transact([&] {
                        for (int k = 0; k < 3; ++k)
                            where[op.key + k] = db->insertRow(t.table, row(op.key + k, 0));
                    });
                    break;
                case Op::Update:
                    db->updateRow(t.table, where[op.key], row(op.key, state[op.key] + 1));
                    break;
                case Op::Delete:
                    db->deleteRow(t.table, where[op.key]);
                    where.erase(op.key);
                    break;
            }
            applyToState(op, state);
            const int32_t done = step + 1;
            if (::write(ackFd, &done, sizeof done) != sizeof done) ::_exit(3);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "child: %s\n", e.what());
        ::_exit(2);
    }
}

// Rows of the table that the workload made (by key), checked for their text.
bool matches(Database& db, const Target& t, const State& expected,
             const std::vector<std::vector<Value>>& untouched, std::string& why) {
    const TableDef& def = db.tableDef(t.table);
    const size_t key = columnAt(def, t.keyColumn), text = columnAt(def, t.textColumn);
    State found;
    std::vector<std::vector<Value>> others;
    for (auto& r : db.readTable(t.table).rows) {
        auto k = keyOf(def.columns[key], r[key]);
        if (k && *k >= 1000) {
            const std::string* s = r[text].getIf<std::string>();
            const std::string prefix = "k" + std::to_string(*k) + "v";
            if (!s || s->rfind(prefix, 0) != 0) {
                why = "row " + std::to_string(*k) + " has text " + (s ? *s : "(none)");
                return false;
            }
            found[*k] = std::stoi(s->substr(prefix.size()));
        } else {
            others.push_back(r);
        }
    }
    if (others != untouched) {
        why = "rows the workload never touched changed";
        return false;
    }
    if (found != expected) {
        why = std::to_string(found.size()) + " workload rows, expected " +
              std::to_string(expected.size());
        return false;
    }
    return true;
}

void killRounds(const Target& t, unsigned rounds, unsigned seed0) {
    TempFile file(t.file, "kill.mdb");
    std::vector<std::vector<Value>> untouched;
    {
        auto db = Database::open(file.path());
        untouched = db->readTable(t.table).rows;
    }
    std::mt19937 rng(seed0);
    int totalAcked = 0, inFlightLanded = 0;
    for (unsigned round = 0; round < rounds; ++round) {
        const std::string where = t.name + " round " + std::to_string(round);
        // every round starts from the original file
        {
            FILE* f = std::fopen(file.path().c_str(), "wb");
            ASSERT_NE(f, nullptr);
            ASSERT_EQ(std::fwrite(t.file.data(), 1, t.file.size(), f), t.file.size());
            std::fclose(f);
            std::filesystem::remove(file.path().string() + "-journal");
        }
        const unsigned seed = seed0 + round;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            runChild(t, file.path(), seed, fds[1]);
        }
        ::close(fds[1]);
        // past the child's open most of the time, at any point of its operations
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + rng() % 400000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        int32_t acked = 0, n = 0;
        while (::read(fds[0], &n, sizeof n) == sizeof n)
            acked = n;
        ::close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status))
            << where << ": the child ended on its own (status " << status << ")";
        totalAcked += acked;

        OpenOptions rw;
        rw.readOnly = false;
        auto db = Database::open(file.path(), rw);  // rolls back a half-done change
        EXPECT_FALSE(std::filesystem::exists(file.path().string() + "-journal")) << where;
        auto problems = checkIntegrity(*db);
        ASSERT_TRUE(problems.empty()) << where << ": " << problems.front();
        State before;
        for (int s = 0; s < acked; ++s)
            applyToState(opAt(seed, s, before), before);
        State after = before;
        applyToState(opAt(seed, acked, after), after);
        std::string whyBefore, whyAfter;
        const bool isBefore = matches(*db, t, before, untouched, whyBefore);
        const bool isAfter = !isBefore && matches(*db, t, after, untouched, whyAfter);
        inFlightLanded += isAfter;
        EXPECT_TRUE(isBefore || isAfter)
            << where << " after " << acked << " acknowledged operations: " << whyBefore << " / "
            << whyAfter;
    }
    std::cout << t.name << ": " << rounds << " kills, " << totalAcked
              << " operations acknowledged, " << inFlightLanded
              << " in-flight operations found complete\n";
    EXPECT_GT(totalAcked, 0);
}

std::vector<uint8_t> builtKillImage() {
    using B = Jet4ImageBuilder;
    B b;
    int t = b.addTable("Log",
                       {{"Id", ColumnType::Long, true, 0, 0x04},
                        {"Key", ColumnType::Long},
                        {"Text", ColumnType::Text, false, 100},
                        {"Notes", ColumnType::Memo, false}},
                       {{"PrimaryKey", {{0, true}}, 0x89, IndexKind::Primary},
                        {"Key", {{1, true}}, 0x81},
                        {"Text", {{2, true}}, 0x80}});
    b.addRow(t, {B::i32(1), B::i32(1), B::utf16(u"first"), B::null()});
    SimDisk disk;
    disk.put("db", b.build());
    // the template row goes in through the engine so that the indexes list it
    auto db = openSim(disk);
    TableData d = db->readTable("Log");
    db->deleteRow("Log", d.rowIds.front());
    db->insertRow("Log", {Value(), int32_t(1), "first", Value()});
    db.reset();
    return disk.current("db");
}

}  // namespace

TEST(Kill, KilledWritersLeaveBeforeOrAfterEachOperation) {
    const unsigned rounds = envNumber("TESSOR_KILL_ROUNDS", 25);
    killRounds({"built", builtKillImage(), "Log", "Key", "Text", "Notes"}, rounds, 4242);
}

TEST(Kill, KilledWritersOnCorpusCopies) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    const unsigned rounds = envNumber("TESSOR_KILL_ROUNDS", 25) / 2 + 1;
    // Shippers: a required field, an AutoNumber key, relationships to Orders.
    killRounds({"northwind", readFileBytes(corpusDir() / "jet4-northwind-statdata.mdb"), "Shippers",
                "Phone", "CompanyName", ""},
               rounds, 777);
    // RC4-encoded pages.
    killRounds({"encoded", readFileBytes(corpusDir() / "jet4-jackcessencrypt-rc4-encoded.mdb"),
                "Table1", "col2", "col1", ""},
               rounds, 99);
}
