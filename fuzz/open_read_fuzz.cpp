// libFuzzer target: any byte string, taken as an .mdb file, must open and read through
// (or be refused) with jet::Error only.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ReadEverything.h"

namespace {

// The engine opens paths, so each input goes into one in-memory file reused for every run.
int memoryFile() {
    static int fd = [] {
        int f = memfd_create("mdb-fuzz-input", 0);
        if (f < 0) std::abort();
        return f;
    }();
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memoryFile();
    if (ftruncate(fd, 0) != 0) std::abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0) std::abort();
        done += size_t(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    tessor::fuzz::readEverything(path);
    return 0;
}
