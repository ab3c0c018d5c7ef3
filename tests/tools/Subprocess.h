// Runs a program and collects what it printed; for tests that drive the command-line tools.
#pragma once

#include <string>
#include <vector>

namespace tessor::testing {

struct ProcessResult {
    int exitCode = -1;  // exit status, or 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

// argv[0] is looked up in PATH when it holds no slash. Standard input is /dev/null.
ProcessResult runProcess(const std::vector<std::string>& argv);

#ifdef TESSOR_MDBTOOL
// The mdbtool of this build, run with args.
inline ProcessResult runMdbtool(std::vector<std::string> args) {
    args.insert(args.begin(), TESSOR_MDBTOOL);
    return runProcess(args);
}
#endif

}  // namespace tessor::testing
