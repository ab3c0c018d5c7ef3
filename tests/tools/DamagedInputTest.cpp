// Damaged files end in jet::Error, never in a crash, a hang or another exception: every corpus
// file with random bit flips and truncations, plus random bytes, each opened and read through
// (catalog, every table definition, every row formatted as CSV, integrity check). Meant to run
// under ASan/UBSan too; the fuzz target (fuzz/open_read_fuzz.cpp) does the long run.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "ReadEverything.h"

namespace fs = std::filesystem;
using tessor::fuzz::readEverything;

namespace {

fs::path corpusDir() {
    const char* env = std::getenv("TESSOR_SHARED_DIR");
    fs::path shared = env && *env ? fs::path(env) : fs::path(TESSOR_SOURCE_DIR) / ".." / "shared";
    return shared / "testdata" / "mdb";
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// One in-memory file, rewritten for every variant.
class ScratchFile {
public:
    ScratchFile() : m_fd(memfd_create("damaged-mdb", 0)) {}
    ~ScratchFile() {
        if (m_fd >= 0) close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    std::string write(const std::string& bytes) {
        EXPECT_EQ(ftruncate(m_fd, 0), 0);
        EXPECT_EQ(pwrite(m_fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
        return "/proc/self/fd/" + std::to_string(m_fd);
    }

private:
    int m_fd;
};

// Seconds for the corpus walk; TESSOR_DAMAGE_SECONDS overrides (CI under sanitizers is slower).
double budgetSeconds() {
    const char* env = std::getenv("TESSOR_DAMAGE_SECONDS");
    return env && *env ? std::atof(env) : 90.0;
}

struct Tally {
    size_t variants = 0, refused = 0, readThrough = 0;
    void add(const tessor::fuzz::ReadOutcome& o) {
        ++variants;
        if (o.errorCode != 0)
            ++refused;
        else
            ++readThrough;
    }
};

std::string flipBits(std::string bytes, std::mt19937_64& rng, size_t pageSize) {
    // Most damage lands where the structure lives: the header, the catalog and the first table
    // definitions sit in the first pages; the rest lands anywhere.
    std::uniform_int_distribution<int> count(1, 16);
    int n = count(rng);
    for (int i = 0; i < n; ++i) {
        size_t limit = (rng() % 2 == 0) ? std::min(bytes.size(), 16 * pageSize) : bytes.size();
        size_t at = rng() % limit;
        bytes[at] = char(bytes[at] ^ (1u << (rng() % 8)));
    }
    return bytes;
}

std::string truncate(const std::string& bytes, std::mt19937_64& rng, size_t pageSize) {
    size_t pages = bytes.size() / pageSize;
    size_t len;
    switch (rng() % 3) {
        case 0:
            len = rng() % bytes.size();
            break;  // anywhere
        case 1:
            len = (rng() % (pages + 1)) * pageSize;
            break;  // at a page boundary
        default:
            len = (rng() % (pages + 1)) * pageSize + rng() % 64;  // just past one
    }
    return bytes.substr(0, std::min(len, bytes.size()));
}

std::string randomBytes(std::mt19937_64& rng, size_t size) {
    std::string s(size, '\0');
    for (auto& c : s)
        c = char(rng());
    return s;
}

}  // namespace

TEST(DamagedInput, CorpusFilesWithFlippedBitsAndCutsGiveErrorsOnly) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(corpusDir(), ec)) {
        if (e.path().extension() == ".mdb") files.push_back(e.path());
    }
    if (files.empty()) GTEST_SKIP() << "no corpus at " << corpusDir();
    std::sort(files.begin(), files.end());
    ScratchFile scratch;
    ASSERT_TRUE(scratch.ok());

    std::vector<std::string> originals;
    for (const auto& f : files) {
        originals.push_back(readFile(f));
        // The harness itself must read the undamaged file through.
        auto clean = readEverything(scratch.write(originals.back()));
        EXPECT_EQ(clean.errorCode, 0u) << f.filename() << ": " << clean.error;
        EXPECT_TRUE(clean.opened) << f.filename();
    }

    std::mt19937_64 rng(0x7e55042026);
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    const double budget = budgetSeconds();
    // Round-robin over the files so that a short budget still covers all of them.
    for (int round = 0; round < 120; ++round) {
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string& bytes = originals[i];
            const size_t pageSize = bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096;
            std::string variant =
                round % 4 == 3 ? truncate(bytes, rng, pageSize) : flipBits(bytes, rng, pageSize);
            SCOPED_TRACE(files[i].filename().string() + " round " + std::to_string(round));
            tally.add(readEverything(scratch.write(variant)));
        }
        std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        if (spent.count() > budget) break;
    }
    std::cout << "[ damaged  ] " << tally.variants << " variants of " << files.size()
              << " files: " << tally.refused << " refused with an error, " << tally.readThrough
              << " read through\n";
    EXPECT_GE(tally.variants, files.size());
}

TEST(DamagedInput, RandomBytesAreRefused) {
    ScratchFile scratch;
    ASSERT_TRUE(scratch.ok());
    std::mt19937_64 rng(20261207);
    for (size_t size : {size_t(0), size_t(1), size_t(100), size_t(2047), size_t(2048), size_t(4096),
                        size_t(8192), size_t(65536)}) {
        auto o = readEverything(scratch.write(randomBytes(rng, size)));
        EXPECT_FALSE(o.opened) << size;
        EXPECT_NE(o.errorCode, 0u) << size;
        EXPECT_FALSE(o.error.empty());
    }
}

TEST(DamagedInput, ValidLookingHeadersOverRandomPagesGiveErrorsOnly) {
    // The magic number and version byte get past the first test, so the damage reaches the
    // header fields, the page decoding and the catalog.
    ScratchFile scratch;
    ASSERT_TRUE(scratch.ok());
    std::mt19937_64 rng(42);
    size_t opened = 0;
    for (int i = 0; i < 400; ++i) {
        const bool jet4 = i % 2 == 0;
        const size_t pageSize = jet4 ? 4096 : 2048;
        std::string bytes = randomBytes(rng, pageSize * (1 + rng() % 12));
        const char magic[] = {0x00, 0x01, 0x00, 0x00};
        bytes.replace(0, 4, magic, 4);
        bytes.replace(4, 15, "Standard Jet DB");
        bytes[19] = 0;
        bytes[0x14] = jet4 ? 1 : 0;
        if (i % 4 < 2) {
            // Zero the rest of the header: the RC4-encoded part then decodes to plain values.
            std::fill(bytes.begin() + 0x18, bytes.begin() + 0x7E, '\0');
        }
        auto o = readEverything(scratch.write(bytes));
        if (o.opened) ++opened;
        EXPECT_TRUE(o.errorCode != 0 || o.opened);
    }
    std::cout << "[ damaged  ] 400 random files with a Jet header: " << opened << " opened\n";
}

TEST(DamagedInput, EveryShortPrefixOfAHeaderIsRefused) {
    // A file cut anywhere inside the header: each length reads only the bytes that exist.
    std::string header(0x200, '\0');
    header[1] = 0x01;
    header.replace(4, 15, "Standard Jet DB");
    header[0x14] = 0x01;
    ScratchFile scratch;
    ASSERT_TRUE(scratch.ok());
    for (size_t len = 0; len <= header.size(); ++len) {
        auto o = readEverything(scratch.write(header.substr(0, len)));
        EXPECT_FALSE(o.opened) << len;
        EXPECT_NE(o.errorCode, 0u) << len;
    }
}
