// A real process killed (SIGKILL) at a random moment while it changes a real file: after each
// kill, reopening rolls back any half-done change, the integrity check is clean, and the table
// holds exactly the rows after the last acknowledged operation, or after the one in flight.
// The child acknowledges each finished operation through a pipe. TESSOR_KILL_ROUNDS lengthens
// the run. The same workload then meets a full disk and I/O errors at each of its writes. Both
// run on a built Jet 4 file and on copies of real Jet 4 and Access 97 files, and at the end
// mdb-export and mdb-reader read the table as the engine does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "FaultyDisk.h"
#include "ForeignReaders.h"
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

// Runs the workload's operations on an open database. What it made so far (and where) is read
// from the table, so a writer can take over a file another one left.
class Writer {
public:
    Writer(Database& db, const Target& t) : m_db(db), m_t(t) {
        const TableDef& def = db.tableDef(t.table);
        m_key = columnAt(def, t.keyColumn);
        m_text = columnAt(def, t.textColumn);
        m_memo = t.memoColumn.empty() ? SIZE_MAX : columnAt(def, t.memoColumn);
        TableData data = db.readTable(t.table);
        m_templ = data.rows.front();
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (def.columns[i].isAutoNumber()) m_templ[i] = Value();
        for (size_t r = 0; r < data.rows.size(); ++r) {
            auto k = keyOf(def.columns[m_key], data.rows[r][m_key]);
            const std::string* s = data.rows[r][m_text].getIf<std::string>();
            if (!k || *k < 1000 || !s) continue;
            const std::string prefix = "k" + std::to_string(*k) + "v";
            if (s->rfind(prefix, 0) != 0) continue;
            state[*k] = std::stoi(s->substr(prefix.size()));
            m_where[*k] = data.rowIds[r];
        }
    }

    // Throws as the engine does; the state moves on only when the operation is done.
    void run(const Op& op) {
        switch (op.kind) {
            case Op::Insert: {
                const RowId id = m_db.insertRow(m_t.table, row(op.key, 0));
                m_where[op.key] = id;
                break;
            }
            case Op::Batch: {
                std::map<int32_t, RowId> made;
                m_db.transact([&] {
                    for (int k = 0; k < 3; ++k)
                        made[op.key + k] = m_db.insertRow(m_t.table, row(op.key + k, 0));
                });
                for (auto& [k, id] : made)
                    m_where[k] = id;
                break;
            }
            case Op::Update:
                m_db.updateRow(m_t.table, m_where.at(op.key), row(op.key, state.at(op.key) + 1));
                break;
            case Op::Delete:
                m_db.deleteRow(m_t.table, m_where.at(op.key));
                m_where.erase(op.key);
                break;
        }
        applyToState(op, state);
    }

    State state;

private:
    std::vector<Value> row(int32_t k, int version) const {
        const TableDef& def = m_db.tableDef(m_t.table);
        std::vector<Value> r = m_templ;
        r[m_key] = keyValue(def.columns[m_key], k);
        r[m_text] = textFor(k, version);
        if (m_memo != SIZE_MAX) r[m_memo] = pattern(size_t((k * 37 + version * 1500) % 9000), k);
        return r;
    }

    Database& m_db;
    const Target& m_t;
    size_t m_key = 0, m_text = 0, m_memo = SIZE_MAX;
    std::vector<Value> m_templ;
    std::map<int32_t, RowId> m_where;
};

// The child: runs operations until killed, writing the number of each finished one.
[[noreturn]] void runChild(const Target& t, const std::filesystem::path& path, unsigned seed,
                           int ackFd) {
    try {
        OpenOptions rw;
        rw.readOnly = false;
        auto db = Database::open(path, rw);
        Writer writer(*db, t);
        for (int step = 0;; ++step) {
            writer.run(opAt(seed, step, writer.state));
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

// What the integrity check finds in the file beyond what it found in the original (some real
// files come with leftovers: pages marked in use that nothing owns).
std::vector<std::string> newProblems(Database& db, const std::vector<std::string>& known) {
    std::vector<std::string> out;
    for (const std::string& p : checkIntegrity(db))
        if (std::find(known.begin(), known.end(), p) == known.end()) out.push_back(p);
    return out;
}

std::vector<std::string> problemsOf(const std::vector<uint8_t>& image) {
    TempFile file(image, "known.mdb");
    return checkIntegrity(*Database::open(file.path()));
}

// mdb-export and mdb-reader (where installed) read the table as the engine does: as many
// records, and the workload's records with the same key and text. Returns how many of them
// read it.
int expectForeignReadersAgree(const std::filesystem::path& path, const Target& t,
                              const std::string& where) {
    auto db = Database::open(path);
    const TableDef& def = db->tableDef(t.table);
    const size_t key = columnAt(def, t.keyColumn), text = columnAt(def, t.textColumn);
    const TableData data = db->readTable(t.table);
    std::multiset<std::pair<std::string, std::string>> ours;
    for (auto& r : data.rows) {
        auto k = keyOf(def.columns[key], r[key]);
        if (k && *k >= 1000) ours.insert({std::to_string(*k), *r[text].getIf<std::string>()});
    }
    db.reset();
    int readers = 0;
    for (auto* reader : {&readWithMdbExport, &readWithMdbReader}) {
        const ForeignTable f = reader(path, t.table);
        if (!f.available) continue;
        ++readers;
        EXPECT_TRUE(f.ok) << where << ": " << f.output.substr(0, 400);
        EXPECT_EQ(f.rows.size(), data.rows.size()) << where;
        const int k = f.column(t.keyColumn), x = f.column(t.textColumn);
        if (k < 0 || x < 0) {
            ADD_FAILURE() << where << ": " << f.output.substr(0, 400);
            continue;
        }
        std::multiset<std::pair<std::string, std::string>> theirs;
        for (auto& r : f.rows) {
            const std::string& cell = r.at(size_t(k));
            if (!cell.empty() && cell.find_first_not_of("0123456789") == std::string::npos &&
                std::stol(cell) >= 1000)
                theirs.insert({cell, r.at(size_t(x))});
        }
        EXPECT_EQ(theirs, ours) << where;
    }
    return readers;
}

// A full disk or an I/O error at each write of each of a few operations: the operation fails
// with the system's reason, a restart then finds the state from before it, and the same open
// database does the operation whole. A fault that strikes once the change is safe (the
// journal's removal) may go unreported; the change is then there.
void fullDiskRounds(const Target& t) {
    TempFile file(t.file, "full.mdb");
    const std::filesystem::path path = file.path();
    const std::filesystem::path journal = path.string() + "-journal";
    std::vector<std::vector<Value>> untouched;
    {
        auto db = Database::open(path);
        untouched = db->readTable(t.table).rows;
    }
    const std::vector<std::string> known = problemsOf(t.file);
    OpenOptions rw;
    rw.readOnly = false;
    // What a restart finds: the file and its journal as they are now, opened for writing.
    auto restartFinds = [&](const State& expected, const std::string& where) {
        TempFile copy(readFileBytes(path), "restart.mdb");
        if (std::filesystem::exists(journal))
            std::filesystem::copy_file(journal, copy.path().string() + "-journal");
        auto db = Database::open(copy.path(), rw);
        auto problems = newProblems(*db, known);
        EXPECT_TRUE(problems.empty()) << where << ": " << problems.front();
        std::string why;
        EXPECT_TRUE(matches(*db, t, expected, untouched, why)) << where << ": " << why;
    };
    const Op ops[] = {{Op::Insert, 1000},
                      {Op::Batch, 1004},
                      {Op::Update, 1000},
                      {Op::Delete, 1005},
                      {Op::Update, 1004}};
    const char* names[] = {"insert", "update", "delete", "batch"};
    FaultyDisk disk;
    std::vector<uint8_t> start = readFileBytes(path);
    State state;
    int reported = 0, unreported = 0;
    for (const Op& op : ops) {
        State after = state;
        applyToState(op, after);
        for (int n = 1;; ++n) {
            const FaultyDisk::Fault fault =
                n % 2 ? FaultyDisk::Fault::Full : FaultyDisk::Fault::IoError;
            const std::string where = t.name + ", " + names[op.kind] + " of " +
                                      std::to_string(op.key) + ", fault at write " +
                                      std::to_string(n);
            {
                std::ofstream out(path, std::ios::binary | std::ios::trunc);
                out.write(reinterpret_cast<const char*>(start.data()),
                          std::streamsize(start.size()));
            }
            std::filesystem::remove(journal);
            auto db = disk.open(path, rw);
            Writer writer(*db, t);
            ASSERT_EQ(writer.state, state) << where;
            disk.arm(fault, n);
            std::string error;
            try {
                writer.run(op);
            } catch (const Error& e) {
                error = e.what();
            }
            const bool struck = disk.struck();
            disk.disarm();
            if (!struck) {  // the operation is done before its n-th write
                ASSERT_TRUE(error.empty()) << where << ": " << error;
                db.reset();
                restartFinds(after, where + ", undisturbed");
                EXPECT_GT(n, 3) << where;
                break;
            }
            if (error.empty()) {
                ++unreported;
                db.reset();
                restartFinds(after, where + ", unreported");
                continue;
            }
            ++reported;
            const char* reason = std::strerror(fault == FaultyDisk::Fault::Full ? ENOSPC : EIO);
            EXPECT_NE(error.find(reason), std::string::npos) << where << ": " << error;
            restartFinds(state, where + ", reported");
            // The database refuses changes until it is opened again; then the operation is
            // done whole.
            try {
                db.reset();
                db = disk.open(path, rw);
                Writer again(*db, t);
                EXPECT_EQ(again.state, state) << where;
                again.run(op);
            } catch (const Error& e) {
                ADD_FAILURE() << where << ", done again: " << e.what();
            }
            db.reset();
            restartFinds(after, where + ", done again");
            if (::testing::Test::HasFailure()) return;
        }
        start = readFileBytes(path);
        state = after;
    }
    const int readers = expectForeignReadersAgree(path, t, t.name + " after the faults");
    std::cout << t.name << ": " << reported << " faults reported, " << unreported
              << " unreported after the change was safe; " << readers << " other readers agree\n";
    EXPECT_GT(reported, 10);
}

void killRounds(const Target& t, unsigned rounds, unsigned seed0) {
    TempFile file(t.file, "kill.mdb");
    const std::vector<std::string> known = problemsOf(t.file);
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
        auto problems = newProblems(*db, known);
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
    const int readers = expectForeignReadersAgree(file.path(), t, t.name + " after the last kill");
    std::cout << t.name << ": " << rounds << " kills, " << totalAcked
              << " operations acknowledged, " << inFlightLanded
              << " in-flight operations found complete; " << readers << " other readers agree\n";
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

// The files the tests build: Jet 4, and Access 97 (2 KB pages, text in the code page, General
// 97 keys of the text written).
Target builtTarget(bool access97) {
    if (access97)
        return {"built Access 97", builtAccess97Image(), "Kunden", "Menge", "Name", "Notiz"};
    return {"built", builtKillImage(), "Log", "Key", "Text", "Notes"};
}

TEST(Kill, KilledWritersLeaveBeforeOrAfterEachOperation) {
    const unsigned rounds = envNumber("TESSOR_KILL_ROUNDS", 25);
    killRounds(builtTarget(false), rounds, 4242);
    killRounds(builtTarget(true), rounds / 2 + 1, 97);
}

// Copies of real files, Jet 4 and Access 97, each with a table the workload writes: its
// key column, its text column and a memo column to fill. Shippers: a required field, an
// AutoNumber key, relationships to Orders; Table1: RC4-encoded pages; MSP_PROJECTS: unique
// indexes, a 23 KB OLE value (every new record copies it) and memos over several 2 KB pages.
struct CorpusTarget {
    const char* file;
    const char* table;
    const char* key;
    const char* text;
    const char* memo;
    unsigned seed;
    bool fullDisk;  // the full-disk run takes it too
};
const CorpusTarget kCorpusTargets[] = {
    {"jet4-northwind-statdata.mdb", "Shippers", "Phone", "CompanyName", "", 777, false},
    {"jet4-jackcessencrypt-rc4-encoded.mdb", "Table1", "col2", "col1", "", 99, false},
    {"jet3-mdbtools-nwind.mdb", "Shippers", "Phone", "CompanyName", "", 31, false},
    {"jet3-jackcess-msproject-ole.mdb", "MSP_PROJECTS", "PROJ_ID", "PROJ_NAME", "PROJ_PROP_TITLE",
     5, true},
};

Target corpusTarget(const CorpusTarget& c) {
    return {c.file, readFileBytes(corpusDir() / c.file), c.table, c.key, c.text, c.memo};
}

TEST(Kill, KilledWritersOnCorpusCopies) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    const unsigned rounds = envNumber("TESSOR_KILL_ROUNDS", 25) / 2 + 1;
    for (const CorpusTarget& c : kCorpusTargets)
        killRounds(corpusTarget(c), rounds, c.seed);
}

TEST(Kill, FullDiskAtEachWriteOfEachOperation) {
    for (bool access97 : {false, true})
        fullDiskRounds(builtTarget(access97));
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    for (const CorpusTarget& c : kCorpusTargets)
        if (c.fullDisk) fullDiskRounds(corpusTarget(c));
}
