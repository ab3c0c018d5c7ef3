#include "Subprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace tessor::testing {

namespace {

// Output goes to unlinked temporary files rather than pipes, so a child that writes a lot on
// both streams cannot block against the reader.
int tempFile() {
    char name[] = "/tmp/tessor-proc-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    unlink(name);
    return fd;
}

std::string readAll(int fd) {
    std::string s;
    lseek(fd, 0, SEEK_SET);
    char buf[65536];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        s.append(buf, size_t(n));
    close(fd);
    return s;
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int outFd = tempFile();
    int errFd = tempFile();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ProcessResult result;
    if (rc != 0) {
        close(outFd);
        close(errFd);
        result.exitCode = 127;
        result.err = "cannot start " + argv[0];
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            close(outFd);
            close(errFd);
            throw std::runtime_error("waitpid failed for " + argv[0]);
        }
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readAll(outFd);
    result.err = readAll(errFd);
    return result;
}

}  // namespace tessor::testing
