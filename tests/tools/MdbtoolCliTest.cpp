// mdbtool's command line without any corpus: usage errors, engine errors with their codes on
// stderr and exit codes, and nothing on stdout when it fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Subprocess.h"

namespace fs = std::filesystem;
using tessor::testing::runProcess;

namespace {

class TempFile {
public:
    explicit TempFile(const std::string& bytes)
        : m_path(fs::temp_directory_path() / ("mdbtool-cli-" + std::to_string(getpid()) + "-" +
                                              std::to_string(++s_count) + ".mdb")) {
        std::ofstream(m_path, std::ios::binary) << bytes;
    }
    ~TempFile() { fs::remove(m_path); }
    std::string path() const { return m_path.string(); }

private:
    static inline int s_count = 0;
    fs::path m_path;
};

}  // namespace

TEST(MdbtoolCli, UsageErrorsExitTwoAndSayWhy) {
    auto none = runProcess({TESSOR_MDBTOOL});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("usage:"), std::string::npos);
    auto unknown = runProcess({TESSOR_MDBTOOL, "frobnicate", "x.mdb"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown command frobnicate"), std::string::npos);
    auto missingTable = runProcess({TESSOR_MDBTOOL, "export", "x.mdb"});
    EXPECT_EQ(missingTable.exitCode, 2);
    auto noValue = runProcess({TESSOR_MDBTOOL, "info", "x.mdb", "--password"});
    EXPECT_EQ(noValue.exitCode, 2);
    auto badOption = runProcess({TESSOR_MDBTOOL, "info", "x.mdb", "--tsv"});
    EXPECT_EQ(badOption.exitCode, 2);
    auto help = runProcess({TESSOR_MDBTOOL, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("  export "), std::string::npos);
}

TEST(MdbtoolCli, EngineErrorsPrintCodeAndDescription) {
    auto missing = runProcess({TESSOR_MDBTOOL, "info", "/nonexistent/dir/x.mdb"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("error 0x80070002: "), std::string::npos) << missing.err;
    EXPECT_TRUE(missing.out.empty());

    TempFile text("This is not an Access database, just some text.\n");
    for (const char* cmd : {"info", "tables", "schema", "check"}) {
        auto r = runProcess({TESSOR_MDBTOOL, cmd, text.path()});
        EXPECT_EQ(r.exitCode, 3) << cmd;
        EXPECT_NE(r.err.find("mdbtool: error 0x8"), std::string::npos) << cmd << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << cmd;
    }
    TempFile empty("");
    auto r = runProcess({TESSOR_MDBTOOL, "export", empty.path(), "T"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.out.empty());
    // One line: code, then the engine's sentence.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(MdbtoolCli, WriteFailureIsAnErrorNotAShortFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const char* env = std::getenv("TESSOR_SHARED_DIR");
    const fs::path shared =
        env && *env ? fs::path(env) : fs::path(TESSOR_SOURCE_DIR) / ".." / "shared";
    const fs::path corpus = shared / "testdata" / "mdb" / "jet4-northwind-statdata.mdb";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus";
    auto r = runProcess({"sh", "-c",
                         std::string("'") + TESSOR_MDBTOOL + "' export '" + corpus.string() +
                             "' 'Order Details' > /dev/full"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Cannot write the output"), std::string::npos) << r.err;
}

TEST(MdbtoolCli, CompactWritesANewFileAndOverwritesOnlyWhenTold) {
    const fs::path dir = fs::temp_directory_path() / ("mdbtool-compact-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string src = (dir / "src.mdb").string(), dst = (dir / "dst.mdb").string();
    ASSERT_EQ(runProcess({TESSOR_MDBTOOL, "create", src, "--password", "pw"}).exitCode, 0);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;  // in stdout (exit 0) or stderr
    };
    const Case cases[] = {
        {{"compact", src, dst, "--password", "pw"}, 0, "Compacted '"},
        {{"compact", src, dst, "--password", "pw"}, 3, "already exists; nothing was written."},
        {{"compact", src, dst, "--password", "pw", "--overwrite"}, 0, "Compacted '"},
        {{"compact", src, src, "--password", "pw", "--overwrite"}, 3, "are the same file"},
        {{"compact", src, (dir / "x.mdb").string()}, 3, "password"},
        {{"compact", src}, 2, "wrong number of arguments for compact"},
        {{"info", src, "--overwrite"}, 2, "--overwrite applies to compact only"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {TESSOR_MDBTOOL};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = runProcess(argv);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[2 % c.args.size()] << r.err;
        EXPECT_NE((c.exitCode == 0 ? r.out : r.err).find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "x.mdb"));
    auto check = runProcess({TESSOR_MDBTOOL, "check", dst, "--password", "pw"});
    EXPECT_EQ(check.exitCode, 0) << check.out;
    fs::remove_all(dir);
}
