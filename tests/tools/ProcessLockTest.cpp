// Two programs on one file: the engine held open by another process (as the editor holds it)
// against mdbtool, mdbtool against mdbtool, and a writer killed with SIGKILL in the middle of a
// change. At most one writer at a time; every refusal names the file and changes nothing; the
// killed writer's lock goes with its process and the next writer rolls its journal back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ForeignReaders.h"
#include "Subprocess.h"
#include "jet/Database.h"
#include "jet/Env.h"
#include "jet/Error.h"
#include "page/PosixFile.h"
#include "tx/PosixJournalStore.h"

namespace fs = std::filesystem;
using tessor::testing::ProcessResult;
using tessor::testing::runMdbtool;

namespace {

// A folder of its own with a database of one table and three rows, made by mdbtool.
class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/tessor-lock-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_db = m_dir / "cards.mdb";
        expectOk(runMdbtool({"create", m_db}));
        expectOk(runMdbtool({"sql", m_db, "CREATE TABLE Cards (Id LONG, Name TEXT(50))"}));
        for (int i = 1; i <= 3; ++i)
            expectOk(runMdbtool({"sql", m_db, "INSERT INTO Cards (Id, Name) VALUES (" +
                                                  std::to_string(i) + ", 'card " +
                                                  std::to_string(i) + "')"}));
    }
    ~Scratch() { fs::remove_all(m_dir); }
    const fs::path& db() const { return m_db; }
    fs::path journal() const { return m_db.string() + "-journal"; }
    std::string exported() const {
        ProcessResult r = runMdbtool({"export", m_db, "Cards"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
    static void expectOk(const ProcessResult& r) { ASSERT_EQ(r.exitCode, 0) << r.err; }

private:
    fs::path m_dir, m_db;
};

// A child process holding the database open with the engine until the parent lets it go.
class Holder {
public:
    Holder(const fs::path& db, bool readOnly, bool exclusive) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) std::abort();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            char ok = 0;
            try {
                jet::OpenOptions o;
                o.readOnly = readOnly;
                o.exclusive = exclusive;
                auto open = jet::Database::open(db, o);
                ok = 1;
                (void)!::write(ready[1], &ok, 1);
                char c;
                (void)!::read(release[0], &c, 1);  // returns when the parent closes its end
            } catch (...) {
                (void)!::write(ready[1], &ok, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char ok = 0;
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(ok, 1) << "the holder could not open the database";
    }
    ~Holder() {
        ::close(m_release);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
};

const std::string kUpdate = "UPDATE Cards SET Name = 'changed' WHERE Id = 2";
const std::string kAlter = "ALTER TABLE Cards ADD COLUMN Extra TEXT(10)";

}  // namespace

TEST(ProcessLock, OneWriterAndClearRefusals) {
    enum Holding { Editor, SharedWriter, Reader };
    struct Case {
        Holding holder;
        std::vector<std::string> command;  // mdbtool arguments after the file
        bool allowed;
        const char* refusal;  // part of the message when refused
    };
    const std::vector<Case> cases = {
        // The editor's table window holds the file exclusively: nobody else gets in.
        {Editor, {"export", "Cards"}, false, "is already opened exclusively by someone else"},
        {Editor, {"check"}, false, "is already opened exclusively by someone else"},
        {Editor, {"sql", kUpdate}, false, "is already opened exclusively by someone else"},
        {Editor, {"sql", kAlter}, false, "is already opened exclusively by someone else"},
        // A program that has the file open for writing: others may read, nobody else writes.
        {SharedWriter, {"export", "Cards"}, true, nullptr},
        {SharedWriter, {"sql", kUpdate}, false, "is open elsewhere; records can only be changed"},
        {SharedWriter, {"import", "Cards", "@csv"}, false, "is open elsewhere"},
        {SharedWriter, {"sql", kAlter}, false, "is open elsewhere"},
        // A reader keeps writers out and lets readers in.
        {Reader, {"check"}, true, nullptr},
        {Reader, {"sql", "SELECT * FROM Cards"}, true, nullptr},
        {Reader, {"sql", kUpdate}, false, "is open elsewhere; records can only be changed"},
        {Reader, {"sql", kAlter}, false, "is open elsewhere"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[0] + (c.command.size() > 1 ? " " + c.command[1] : "") +
                     " against holder " + std::to_string(int(c.holder)));
        Scratch s;
        const std::string before = s.exported();
        ProcessResult r;
        {
            Holder h(s.db(), c.holder == Reader, c.holder == Editor);
            std::vector<std::string> args = {c.command[0], s.db()};
            for (size_t i = 1; i < c.command.size(); ++i) {
                if (c.command[i] != "@csv") {
                    args.push_back(c.command[i]);
                    continue;
                }
                const fs::path csv = s.db().parent_path() / "rows.csv";
                std::ofstream(csv) << "Id,Name\n9,\"nine\"\n";
                args.push_back(csv);
            }
            r = runMdbtool(args);
        }
        if (c.allowed) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
        } else {
            EXPECT_EQ(r.exitCode, 3) << r.out;
            EXPECT_NE(r.err.find("'" + s.db().string() + "'"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
        }
        // Whatever was refused changed nothing, and the holder's leaving freed the file.
        EXPECT_EQ(s.exported(), before);
        EXPECT_EQ(runMdbtool({"check", s.db()}).exitCode, 0);
    }
}

TEST(ProcessLock, ConcurrentWritersNeverBothWrite) {
    // Several mdbtool processes insert at once: each insert either lands or is refused with a
    // message naming the file; the table holds exactly the ones that landed.
    Scratch s;
    constexpr int kWriters = 8;
    std::vector<pid_t> pids;
    const fs::path dir = s.db().parent_path();
    for (int i = 0; i < kWriters; ++i) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ProcessResult r = runMdbtool(
                {"sql", s.db(), "INSERT INTO Cards (Id, Name) VALUES (" + std::to_string(100 + i) +
                                    ", 'writer')"});
            std::ofstream(dir / ("writer" + std::to_string(i) + ".err")) << r.err;
            ::_exit(r.exitCode);
        }
        pids.push_back(pid);
    }
    int landed = 0;
    for (int i = 0; i < kWriters; ++i) {
        int status = 0;
        ::waitpid(pids[size_t(i)], &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        std::ifstream in(dir / ("writer" + std::to_string(i) + ".err"));
        const std::string err((std::istreambuf_iterator<char>(in)), {});
        if (WEXITSTATUS(status) == 0) {
            ++landed;
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 3) << err;
        EXPECT_NE(err.find("'" + s.db().string() + "'"), std::string::npos) << err;
    }
    // Writers that open at once may all find another one holding the file and be refused (none
    // waits); whatever happened, the burst leaves no lock behind: a writer alone lands.
    ProcessResult alone =
        runMdbtool({"sql", s.db(), "INSERT INTO Cards (Id, Name) VALUES (99, 'alone')"});
    ASSERT_EQ(alone.exitCode, 0) << alone.err;
    ++landed;
    const jettest::ForeignTable t = jettest::readWithMdbExport(s.db(), "Cards");
    if (t.available) {
        ASSERT_TRUE(t.ok) << t.output;
        EXPECT_EQ(t.rows.size(), size_t(3 + landed));
    }
    ProcessResult count = runMdbtool({"sql", s.db(), "SELECT Id FROM Cards WHERE Id >= 99"});
    EXPECT_EQ(std::count(count.out.begin(), count.out.end(), '\n'), 1 + landed) << count.out;
    EXPECT_EQ(runMdbtool({"check", s.db()}).exitCode, 0);
}

namespace {

// The real file, stopping its process for good at the n-th write to the database: the journal
// is on disk by then and some of the change's pages may be written.
class StopAtWrite : public jet::FileIO {
public:
    StopAtWrite(std::unique_ptr<jet::FileIO> file, int stopAt, int signalFd)
        : m_file(std::move(file)), m_stopAt(stopAt), m_signalFd(signalFd) {}
    uint64_t size() override { return m_file->size(); }
    void read(uint64_t o, uint8_t* d, size_t n) override { m_file->read(o, d, n); }
    void write(uint64_t o, const uint8_t* s, size_t n) override {
        if (++m_writes == m_stopAt) {
            const char c = 1;
            (void)!::write(m_signalFd, &c, 1);
            for (;;) ::pause();
        }
        m_file->write(o, s, n);
    }
    void sync() override { m_file->sync(); }
    void truncate(uint64_t n) override { m_file->truncate(n); }
    bool lockForWrite() override { return m_file->lockForWrite(); }
    void unlockForWrite() override { m_file->unlockForWrite(); }
    std::string name() const override { return m_file->name(); }

private:
    std::unique_ptr<jet::FileIO> m_file;
    int m_stopAt, m_writes = 0, m_signalFd;
};

}  // namespace

TEST(ProcessLock, KilledWriterLeavesNoLockAndItsChangeIsUndone) {
    // The killed change renames every card and adds rows, over several pages' writes; it is
    // stopped at its first, second and fourth write to the file.
    for (int stopAt : {1, 2, 4}) {
        SCOPED_TRACE("stopped at write " + std::to_string(stopAt));
        Scratch s;
        const std::string before = s.exported();
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            try {
                jet::OpenOptions o;
                o.readOnly = false;
                auto file = std::make_unique<StopAtWrite>(
                    jet::PosixFile::open(s.db(), false, false), stopAt, fds[1]);
                auto db = jet::Database::openFile(std::move(file), s.db(), o,
                                                  std::make_shared<jet::PosixJournalStore>(s.db()));
                db->transact([&] {
                    for (int i = 0; i < 200; ++i)
                        db->insertRow("Cards", {jet::Value(int32_t(1000 + i)),
                                                jet::Value(std::string(40, 'k'))});
                });
            } catch (...) {
            }
            ::_exit(1);  // the change went through without stopping: the parent reports it
        }
        ::close(fds[1]);
        char c = 0;
        ASSERT_EQ(::read(fds[0], &c, 1), 1) << "the writer finished without reaching the write";
        ::close(fds[0]);
        // Mid-change: the writer holds the file alone.
        ProcessResult during = runMdbtool({"export", s.db(), "Cards"});
        EXPECT_EQ(during.exitCode, 3);
        EXPECT_NE(during.err.find("'" + s.db().string() + "'"), std::string::npos) << during.err;
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_TRUE(fs::exists(s.journal()));

        // No lock is left, but a reader must not see the half-done change.
        ProcessResult reader = runMdbtool({"export", s.db(), "Cards"});
        EXPECT_EQ(reader.exitCode, 3);
        EXPECT_NE(reader.err.find("'" + s.db().string() + "' was left half-changed"),
                  std::string::npos)
            << reader.err;
        // The next writer rolls the journal back, then makes its own change.
        Scratch::expectOk(runMdbtool({"sql", s.db(), kUpdate}));
        EXPECT_FALSE(fs::exists(s.journal()));
        std::string expected = before;
        const size_t at = expected.find("card 2");
        ASSERT_NE(at, std::string::npos);
        expected.replace(at, 6, "changed");
        EXPECT_EQ(s.exported(), expected);
        EXPECT_EQ(runMdbtool({"check", s.db()}).exitCode, 0);
        const jettest::ForeignTable t = jettest::readWithMdbExport(s.db(), "Cards");
        if (t.available) {
            ASSERT_TRUE(t.ok) << t.output;
            EXPECT_EQ(t.rows.size(), 3u);
        }
    }
}
