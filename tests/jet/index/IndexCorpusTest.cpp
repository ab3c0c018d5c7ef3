#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "DatabaseImpl.h"
#include "index/IndexChecker.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexPage.h"
#include "index/IndexTree.h"
#include "jet/Database.h"

namespace fs = std::filesystem;
using jet::index::IndexCheckStats;

namespace {

fs::path corpusFile(const std::string& name) {
    const char* shared = std::getenv("TESSOR_SHARED_DIR");
    if (!shared) return {};
    const fs::path p = fs::path(shared) / "testdata" / "mdb" / name;
    return fs::exists(p) ? p : fs::path();
}

struct Expect {
    const char* file;
    size_t minKeysCompared;  // keys rebuilt from rows and compared
};

IndexCheckStats checkFile(const fs::path& path, std::vector<std::string>& problems) {
    auto db = jet::Database::open(path);
    IndexCheckStats stats;
    problems = jet::index::checkIndexes(*db, &stats);
    return stats;
}

}  // namespace

// Every key of every index in these Access-written files must equal the key
// this program builds from the row it points at.
class IndexCorpus : public ::testing::TestWithParam<Expect> {};

TEST_P(IndexCorpus, EveryStoredKeyEqualsTheRebuiltKey) {
    const fs::path path = corpusFile(GetParam().file);
    if (path.empty()) GTEST_SKIP() << "corpus not present";
    std::vector<std::string> problems;
    const IndexCheckStats s = checkFile(path, problems);
    for (const std::string& p : problems)
        ADD_FAILURE() << p;
    EXPECT_EQ(s.keyMismatches, 0u);
    EXPECT_EQ(s.strayEntries, 0u);
    EXPECT_EQ(s.missingRows, 0u);
    EXPECT_EQ(s.orderViolations, 0u);
    EXPECT_GE(s.keysCompared, GetParam().minKeysCompared);
    std::printf(
        "  %s: %zu indexes (%zu not encodable), %zu entries, %zu keys compared, %zu differ\n",
        GetParam().file, s.indexes, s.unencodable, s.entries, s.keysCompared, s.keyMismatches);
}

INSTANTIATE_TEST_SUITE_P(AccessFiles, IndexCorpus,
                         ::testing::Values(Expect{"jet4-2000-jackcess-index.mdb", 11},
                                           Expect{"jet4-2003-jackcess-index.mdb", 11},
                                           Expect{"jet4-2000-jackcess-compindex.mdb", 512},
                                           Expect{"jet4-2003-jackcess-compindex.mdb", 512},
                                           Expect{"jet4-2000-jackcess-indexprops.mdb", 20},
                                           Expect{"jet4-2003-jackcess-indexprops.mdb", 20},
                                           Expect{"jet4-2003-jackcess-unicode-comp.mdb", 8},
                                           Expect{"jet4-2000-jackcess-fixedtext.mdb", 2},
                                           Expect{"jet4-2000-jackcess-types.mdb", 2},
                                           Expect{"jet4-2003-jackcess-types.mdb", 2},
                                           Expect{"jet4-northwind-statdata.mdb", 2155},
                                           Expect{"jet3-jackcess-compindex.mdb", 512},
                                           Expect{"jet3-jackcess-index.mdb", 11},
                                           Expect{"jet3-jackcess-indexcodes.mdb", 1000},
                                           Expect{"jet3-jackcess-types.mdb", 2},
                                           Expect{"jet3-mdbtools-nwind.mdb", 2155}),
                         [](const ::testing::TestParamInfo<Expect>& info) {
                             std::string n = info.param.file;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });
