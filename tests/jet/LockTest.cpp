// Opening the same file twice: exclusive keeps every other open out, shared keeps exclusive
// opens out, in this process and in others.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;

namespace {

std::vector<uint8_t> smallDatabase() {
    Jet4ImageBuilder b;
    int t = b.addTable("T", {{"Id", ColumnType::Long}});
    b.addRow(t, {Jet4ImageBuilder::i32(1)});
    return b.build();
}

OpenOptions opts(bool exclusive, bool readOnly = true) {
    OpenOptions o;
    o.exclusive = exclusive;
    o.readOnly = readOnly;
    return o;
}

uint32_t openCode(const std::filesystem::path& p, const OpenOptions& o) {
    try {
        Database::open(p, o);
    } catch (const Error& e) {
        return e.code();
    }
    return 0;
}

// Tries an open in a child process and returns what it got (0 = opened).
uint32_t openCodeInChild(const std::filesystem::path& p, const OpenOptions& o) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        uint32_t code = openCode(p, o);
        ssize_t n = write(fds[1], &code, sizeof code);
        _exit(n == sizeof code ? 0 : 1);
    }
    close(fds[1]);
    uint32_t code = 1;
    if (read(fds[0], &code, sizeof code) != sizeof code) code = 1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return code;
}

}  // namespace

TEST(Lock, ExclusiveKeepsEveryoneOut) {
    TempFile f(smallDatabase());
    {
        auto db = Database::open(f.path(), opts(true, false));
        EXPECT_TRUE(db->isExclusive());
        EXPECT_EQ(openCode(f.path(), opts(true)), hr::kLocked);
        EXPECT_EQ(openCode(f.path(), opts(false)), hr::kLocked);
        EXPECT_EQ(openCodeInChild(f.path(), opts(false)), hr::kLocked);
        EXPECT_EQ(db->readTable("T").rows.size(), 1u);
    }
    // Closing releases the lock.
    EXPECT_EQ(openCode(f.path(), opts(true)), 0u);
}

TEST(Lock, SharedKeepsExclusiveOut) {
    TempFile f(smallDatabase());
    auto a = Database::open(f.path(), opts(false));
    auto b = Database::open(f.path(), opts(false));  // shared with shared is fine
    EXPECT_EQ(openCode(f.path(), opts(true)), hr::kLocked);
    EXPECT_EQ(openCodeInChild(f.path(), opts(true)), hr::kLocked);
    EXPECT_EQ(openCodeInChild(f.path(), opts(false)), 0u);
    a.reset();
    EXPECT_EQ(openCode(f.path(), opts(true)), hr::kLocked);  // b still holds it
    b.reset();
    EXPECT_EQ(openCodeInChild(f.path(), opts(true)), 0u);
}

TEST(Lock, ErrorsNameTheCause) {
    EXPECT_EQ(openCode("/nonexistent/dir/x.mdb", opts(false)), hr::kFileNotFound);
    TempFile f(smallDatabase());
    chmod(f.path().c_str(), 0444);
    if (geteuid() != 0) {
        // Exclusive needs a descriptor open for writing to hold its lock.
        EXPECT_EQ(openCode(f.path(), opts(true)), hr::kAccessDenied);
        EXPECT_EQ(openCode(f.path(), opts(false, false)), hr::kAccessDenied);
    }
    EXPECT_EQ(openCode(f.path(), opts(false)), 0u);
    TempFile text(std::vector<uint8_t>(5000, 'x'));
    EXPECT_EQ(openCode(text.path(), opts(false)), hr::kNotSupported);
}
