// Hostile values and hostile surroundings, through mdbtool and the engine as a user meets them:
// long names, paths and passwords; text from beyond the first Unicode plane, right-to-left text,
// control characters and NUL; 255 fields; rows at the page's limit; a read-only file and
// folder; a sparse 2 GB file; a file cut short or overwritten by another program while open.
// Each ends in correct handling or a clear refusal that changes nothing, never a crash or a
// hang; written files pass the integrity check and read the same in mdb-export.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "ForeignReaders.h"
#include "Subprocess.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace fs = std::filesystem;
using tessor::testing::ProcessResult;
using tessor::testing::runMdbtool;
using tessor::testing::runProcess;

namespace {

constexpr int kRefused = 3;

class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/tessor-hostile-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_db = m_dir / "cards.mdb";
    }
    ~Scratch() {
        fs::permissions(m_dir, fs::perms::owner_all);
        fs::remove_all(m_dir);
    }
    const fs::path& dir() const { return m_dir; }
    const fs::path& db() const { return m_db; }

private:
    fs::path m_dir, m_db;
};

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

void ok(const ProcessResult& r) { EXPECT_EQ(r.exitCode, 0) << r.err; }

// A refusal: exit code 3 and one line saying what is wrong, naming `mention` when given.
void refused(const ProcessResult& r, const std::string& mention = {}) {
    EXPECT_EQ(r.exitCode, kRefused) << r.out << r.err;
    EXPECT_EQ(r.err.rfind("mdbtool: error 0x", 0), 0u) << r.err;
    if (!mention.empty()) {
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
    }
}

// The file is sound: the integrity check is clean and mdb-export reads `table` with `rows` rows
// (when it is installed).
void sound(const fs::path& db, const std::string& table, size_t rows) {
    ProcessResult check = runMdbtool({"check", db});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    const jettest::ForeignTable t = jettest::readWithMdbExport(db, table);
    if (!t.available) return;
    EXPECT_TRUE(t.ok) << t.output;
    EXPECT_EQ(t.rows.size(), rows);
}

void makeTable(const fs::path& db, const std::string& columns) {
    ok(runMdbtool({"create", db}));
    ok(runMdbtool({"sql", db, "CREATE TABLE T (" + columns + ")"}));
}

// mdbtool run as an unprivileged user, so that file permissions hold even for root.
ProcessResult runMdbtoolUnprivileged(std::vector<std::string> args) {
    if (::geteuid() != 0) return runMdbtool(args);
    args.insert(args.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                               TESSOR_MDBTOOL});
    return runProcess(args);
}

}  // namespace

TEST(HostileValues, ClearMessageOrCorrectHandling) {
    struct Case {
        const char* what;
        std::function<void(Scratch&)> run;
    };
    const std::vector<Case> cases = {
        {"names of 64 characters are taken, 65 refused",
         [](Scratch& s) {
             ok(runMdbtool({"create", s.db()}));
             const std::string name64 = repeat("\xc3\xa9", 64);  // 64 characters, 128 bytes
             ok(runMdbtool({"sql", s.db(), "CREATE TABLE [" + name64 + "] (Id LONG)"}));
             refused(runMdbtool({"sql", s.db(), "CREATE TABLE [" + name64 + "x] (Id LONG)"}));
             refused(runMdbtool({"sql", s.db(), "CREATE TABLE T (" + repeat("c", 5000) + " LONG)"}));
             ProcessResult tables = runMdbtool({"tables", s.db()});
             EXPECT_EQ(tables.out, name64 + "\n");
             sound(s.db(), name64, 0);
         }},
        {"paths too long for the system",
         [](Scratch& s) {
             const fs::path longName = s.dir() / (repeat("n", 300) + ".mdb");
             refused(runMdbtool({"create", longName}), longName.string());
             fs::path deep = s.dir();
             while (deep.string().size() < 5000)
                 deep /= repeat("d", 200);
             refused(runMdbtool({"create", deep / "x.mdb"}));
             refused(runMdbtool({"export", longName, "T"}), longName.string());
         }},
        {"passwords: 20 characters are taken, longer ones refused",
         [](Scratch& s) {
             const std::string pw20 = repeat("\xd7\xa9", 20);  // 20 Hebrew letters
             ok(runMdbtool({"create", s.db(), "--password", pw20}));
             ok(runMdbtool({"tables", s.db(), "--password", pw20}));
             refused(runMdbtool({"tables", s.db(), "--password", pw20 + "x"}));
             refused(runMdbtool({"tables", s.db(), "--password", repeat("p", 100000)}));
             const fs::path other = s.dir() / "other.mdb";
             refused(runMdbtool({"create", other, "--password", repeat("p", 21)}));
             EXPECT_FALSE(fs::exists(other));
         }},
        {"text beyond the first plane, right-to-left, control characters",
         [](Scratch& s) {
             makeTable(s.db(), "Id LONG, Name TEXT(100), Note MEMO");
             const std::vector<std::string> texts = {
                 "\xf0\x9f\x98\x80 \xf0\x9d\x84\x9e \xf0\xa0\x80\x80",        // emoji, clef, CJK ext B
                 "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 42",  // RTL
                 "\xe2\x80\x8f\xe2\x80\xae" "abc\xe2\x80\xac",                  // direction marks
                 "a\x01\x02\x1f\x7f" "b\x0b\x0c" "c",                           // control characters
             };
             for (size_t i = 0; i < texts.size(); ++i)
                 ok(runMdbtool({"sql", s.db(), "INSERT INTO T (Id, Name, Note) VALUES (" +
                                                   std::to_string(i) + ", " + quoted(texts[i]) +
                                                   ", " + quoted(texts[i]) + ")"}));
             for (size_t i = 0; i < texts.size(); ++i) {
                 ProcessResult r = runMdbtool(
                     {"sql", s.db(), "SELECT Name, Note FROM T WHERE Id = " + std::to_string(i),
                      "--tsv"});
                 ok(r);
                 const std::string field = "\"" + texts[i] + "\"";
                 EXPECT_NE(r.out.find(field + "\t" + field), std::string::npos)
                     << i << ": " << r.out;
             }
             sound(s.db(), "T", texts.size());
             const jettest::ForeignTable t = jettest::readWithMdbExport(s.db(), "T");
             if (t.available && t.ok && t.rows.size() == texts.size()) {
                 EXPECT_EQ(t.rows[1][1], texts[1]);
             }
         }},
        {"NUL in text: kept whole or refused, never cut",
         [](Scratch& s) {
             makeTable(s.db(), "Id LONG, Name TEXT(100)");
             const fs::path csv = s.dir() / "nul.csv";
             const std::string value("a\0b", 3);
             std::ofstream(csv, std::ios::binary) << "Id,Name\n1,\"" << value << "\"\n";
             ProcessResult r = runMdbtool({"import", s.db(), "T", csv});
             ProcessResult back = runMdbtool({"export", s.db(), "T"});
             ok(back);
             if (r.exitCode == 0) {
                 EXPECT_NE(back.out.find("1,\"" + value + "\""), std::string::npos) << back.out;
                 sound(s.db(), "T", 1);
             } else {
                 refused(r);
                 EXPECT_EQ(back.out, "Id,Name\n");
                 sound(s.db(), "T", 0);
             }
         }},
        {"255 fields are taken, a 256th refused",
         [](Scratch& s) {
             std::string cols;
             for (int i = 0; i < 255; ++i)
                 cols += (i ? ", F" : "F") + std::to_string(i) + (i % 2 ? " LONG" : " TEXT(10)");
             makeTable(s.db(), cols);
             ok(runMdbtool({"sql", s.db(), "INSERT INTO T (F0, F1, F254) VALUES ('a', 1, 'z')"}));
             refused(runMdbtool({"sql", s.db(), "ALTER TABLE T ADD COLUMN F255 LONG"}), "255");
             ProcessResult schema = runMdbtool({"schema", s.db(), "T"});
             EXPECT_NE(schema.out.find("F254"), std::string::npos);
             EXPECT_EQ(schema.out.find("F255"), std::string::npos);
             sound(s.db(), "T", 1);
         }},
        {"rows at the page's limit: the largest fits, a larger one is refused",
         [](Scratch& s) {
             std::string cols = "Id LONG";
             for (int i = 0; i < 8; ++i)
                 cols += ", C" + std::to_string(i) + " TEXT(255)";
             makeTable(s.db(), cols);
             // Cyrillic takes two bytes a character however the text is stored.
             const std::string full = quoted(repeat("\xd0\x96", 255));
             auto insert = [&](int id, int filled) {
                 std::string names = "Id", values = std::to_string(id);
                 for (int i = 0; i < filled; ++i) {
                     names += ", C" + std::to_string(i);
                     values += ", " + full;
                 }
                 return runMdbtool(
                     {"sql", s.db(), "INSERT INTO T (" + names + ") VALUES (" + values + ")"});
             };
             ok(insert(1, 7));  // about 3.6 KB
             refused(insert(2, 8));  // about 4.1 KB: more than a page holds
             ProcessResult r = runMdbtool({"sql", s.db(), "SELECT C6 FROM T WHERE Id = 1"});
             EXPECT_NE(r.out.find(repeat("\xd0\x96", 255)), std::string::npos);
             sound(s.db(), "T", 1);
         }},
        {"a read-only file",
         [](Scratch& s) {
             makeTable(s.db(), "Id LONG");
             ok(runMdbtool({"sql", s.db(), "INSERT INTO T (Id) VALUES (1)"}));
             fs::permissions(s.dir(), fs::perms::all);
             fs::permissions(s.db(), fs::perms::owner_read | fs::perms::group_read |
                                         fs::perms::others_read);
             ok(runMdbtoolUnprivileged({"export", s.db(), "T"}));
             refused(runMdbtoolUnprivileged({"sql", s.db(), "INSERT INTO T (Id) VALUES (2)"}),
                     s.db().string());
             refused(runMdbtoolUnprivileged({"sql", s.db(), "DROP TABLE T"}), s.db().string());
             EXPECT_FALSE(fs::exists(s.db().string() + "-journal"));
             sound(s.db(), "T", 1);
         }},
        {"a read-only folder",
         [](Scratch& s) {
             makeTable(s.db(), "Id LONG");
             ok(runMdbtool({"sql", s.db(), "INSERT INTO T (Id) VALUES (1)"}));
             fs::permissions(s.db(), fs::perms::all);
             fs::permissions(s.dir(), fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
             ok(runMdbtoolUnprivileged({"export", s.db(), "T"}));
             // The file could be written, but its journal cannot be made beside it.
             refused(runMdbtoolUnprivileged({"sql", s.db(), "INSERT INTO T (Id) VALUES (2)"}),
                     s.db().string());
             refused(runMdbtoolUnprivileged({"create", s.dir() / "new.mdb"}), "new.mdb");
             sound(s.db(), "T", 1);
         }},
        {"a sparse 2 GB file",
         [](Scratch& s) {
             makeTable(s.db(), "Id LONG, Name TEXT(20)");
             ok(runMdbtool({"sql", s.db(), "INSERT INTO T (Id, Name) VALUES (1, 'one')"}));
             fs::resize_file(s.db(), uint64_t(2) << 30);
             // The pages past the database's own are empty: they are read past, never trusted.
             ProcessResult check = runMdbtool({"check", s.db()});
             EXPECT_TRUE(check.exitCode == 0 || check.exitCode == 1) << check.err;
             ProcessResult exported = runMdbtool({"export", s.db(), "T"});
             ok(exported);
             EXPECT_EQ(exported.out, "Id,Name\n1,\"one\"\n");
             ProcessResult insert = runMdbtool({"sql", s.db(), "INSERT INTO T (Id) VALUES (2)"});
             if (insert.exitCode != 0) refused(insert);
             EXPECT_EQ(runMdbtool({"export", s.db(), "T"}).out,
                       insert.exitCode == 0 ? "Id,Name\n1,\"one\"\n2,\n" : "Id,Name\n1,\"one\"\n");
         }},
        {"a file cut short and overwritten by another program while open",
         [](Scratch& s) {
             makeTable(s.db(), "Id LONG, Name TEXT(20)");
             for (int i = 0; i < 50; ++i)
                 ok(runMdbtool({"sql", s.db(), "INSERT INTO T (Id, Name) VALUES (" +
                                                   std::to_string(i) + ", 'row')"}));
             const uint64_t size = fs::file_size(s.db());
             jet::OpenOptions o;
             o.readOnly = false;
             auto db = jet::Database::open(s.db(), o);
             // Another program, heedless of locks, cuts the file to its first pages.
             fs::resize_file(s.db(), 2 * 4096);
             for (int round = 0; round < 2; ++round) {
                 try {
                     db->readTable("T");
                 } catch (const jet::Error& e) {
                     EXPECT_NE(std::string(e.what()), "");
                 }
                 try {
                     db->insertRow("T", {jet::Value(int32_t(99)), jet::Value(std::string("x"))});
                 } catch (const jet::Error& e) {
                     EXPECT_NE(std::string(e.what()), "");
                 }
                 // ... then fills the rest with other bytes.
                 std::ofstream f(s.db(), std::ios::binary | std::ios::app);
                 f << std::string(size - 2 * 4096, '\x5a');
             }
             db.reset();
             // What is left is reported as damaged, and nothing hangs or crashes on it.
             ProcessResult check = runMdbtool({"check", s.db()});
             EXPECT_TRUE(check.exitCode == 1 || check.exitCode == kRefused) << check.err;
             ProcessResult exported = runMdbtool({"export", s.db(), "T"});
             EXPECT_TRUE(exported.exitCode == 0 || exported.exitCode == kRefused);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        c.run(s);
    }
}
