#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "check/IndexChecker.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexPage.h"
#include "index/IndexTree.h"
#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

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
    size_t minKeysCompared;       // keys rebuilt from rows and compared
    size_t characterCounted = 0;  // keys in the character-counted form of other writers
};

std::unique_ptr<jet::Database> openCorpus(const fs::path& path) {
    jet::OpenOptions options;
    // the password files of the corpus use this password
    if (path.filename().string().find("-password") != std::string::npos)
        options.password = "password";
    return jet::Database::open(path, options);
}

IndexCheckStats checkFile(const fs::path& path, std::vector<std::string>& problems) {
    auto db = openCorpus(path);
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
    EXPECT_EQ(s.characterCounted, GetParam().characterCounted);
    EXPECT_EQ(s.unencodable, 0u);
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
                                           Expect{"jet4-2003-jackcess-unicode-comp.mdb", 8, 1},
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

// Every index of every corpus file: Access-written, Jackcess-written, encoded
// and password-protected files alike.
TEST(IndexCorpusSweep, AllFilesAllIndexes) {
    const fs::path any = corpusFile("jet4-northwind-statdata.mdb");
    if (any.empty()) GTEST_SKIP() << "corpus not present";
    IndexCheckStats total;
    size_t files = 0;
    for (const auto& item : fs::directory_iterator(any.parent_path())) {
        if (item.path().extension() != ".mdb") continue;
        std::vector<std::string> problems;
        const IndexCheckStats s = checkFile(item.path(), problems);
        for (const std::string& p : problems)
            ADD_FAILURE() << item.path().filename() << ": " << p;
        ++files;
        total.indexes += s.indexes;
        total.unencodable += s.unencodable;
        total.keysCompared += s.keysCompared;
        total.keyMismatches += s.keyMismatches;
        total.characterCounted += s.characterCounted;
        // only the Chinese-sorted catalog of the CJK file is beyond the measured tables
        if (item.path().filename() == "jet4-zblog-cjk-longmemo.mdb")
            EXPECT_GT(s.unencodable, 0u);
        else
            EXPECT_EQ(s.unencodable, 0u) << item.path().filename();
    }
    std::printf(
        "  %zu files: %zu indexes (%zu not encodable), %zu keys compared, %zu differ, "
        "%zu character-counted\n",
        files, total.indexes, total.unencodable, total.keysCompared, total.keyMismatches,
        total.characterCounted);
    EXPECT_GE(files, 50u);
    EXPECT_GT(total.keysCompared, 45000u);
    EXPECT_EQ(total.keyMismatches, 0u);
}

// Writing a page back from its decoded entries gives the bytes Access wrote.
TEST(IndexCorpusPages, DecodedPagesSerializeToTheStoredBytes) {
    for (const char* name : {"jet4-northwind-statdata.mdb", "jet3-mdbtools-nwind.mdb",
                             "jet4-2003-jackcess-compindex.mdb", "jet3-jackcess-indexcodes.mdb"}) {
        const fs::path path = corpusFile(name);
        if (path.empty()) GTEST_SKIP() << "corpus not present";
        auto db = openCorpus(path);
        jet::Pager& pager = implOf(*db).pager();
        const auto& layout = jet::index::IndexPageLayout::of(db->format());
        size_t pages = 0;
        for (const std::string& table : db->tableNames(true)) {
            for (const jet::StoredRealIndex& ri : implOf(*db).tableDef(table).realIndexes) {
                jet::index::IndexTree tree(pager, ri.firstPage);
                tree.readEntries();
                for (uint32_t n : tree.pages()) {
                    const jet::PageRef page = pager.page(n);
                    const auto p = jet::index::IndexPage::parse(*page, db->format());
                    const std::vector<uint8_t> again = p.serialize(db->format(), p.prefixLength);
                    const size_t used = layout.entries + p.storedEntryBytes;
                    ASSERT_TRUE(std::equal(again.begin(), again.begin() + used, page->data()))
                        << name << " page " << n;
                    ++pages;
                }
            }
        }
        EXPECT_GT(pages, 10u) << name;
    }
}

namespace {

// A private copy of a corpus file that a test may damage.
class DamagedCopy {
public:
    explicit DamagedCopy(const fs::path& source) {
        m_path = fs::temp_directory_path() /
                 ("tessor-index-" + std::to_string(::getpid()) + "-" + source.filename().string());
        fs::copy_file(source, m_path, fs::copy_options::overwrite_existing);
        fs::permissions(m_path, fs::perms::owner_read | fs::perms::owner_write);
    }
    ~DamagedCopy() { fs::remove(m_path); }
    void patch(uint64_t offset, std::vector<uint8_t> bytes) {
        std::fstream f(m_path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(offset));
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::string> check() {
        auto db = jet::Database::open(m_path);
        return jet::index::checkIndexes(*db);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

bool anyContains(const std::vector<std::string>& lines, const std::string& words) {
    for (const std::string& l : lines)
        if (l.find(words) != std::string::npos) return true;
    return false;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

}  // namespace

// The check notices damage to a real multi-page index.
TEST(IndexCorpusDamage, CheckReportsDamagedIndexes) {
    const fs::path source = corpusFile("jet4-2000-jackcess-compindex.mdb");
    if (source.empty()) GTEST_SKIP() << "corpus not present";
    std::vector<uint32_t> pages;
    std::vector<uint32_t> leaves;
    uint32_t keyPage = 0;  // a leaf whose first entry has a key of several bytes
    size_t keyByte = 0;    // offset of that key's last byte in the entry area
    {
        auto db = jet::Database::open(source);
        const jet::StoredTableDef& def = implOf(*db).tableDef("Table1");
        ASSERT_FALSE(def.realIndexes.empty());
        jet::index::IndexTree tree(implOf(*db).pager(), def.realIndexes[0].firstPage);
        tree.readEntries();
        pages = tree.pages();
        for (uint32_t n : pages) {
            const jet::PageRef page = implOf(*db).pager().page(n);
            if (page->type() != 0x04) continue;
            leaves.push_back(n);
            const auto leaf = jet::index::IndexPage::parse(*page, jet::Format::Jet4);
            if (!keyPage && !leaf.entries.empty() && leaf.entries[0].key.size() >= 3) {
                keyPage = n;
                keyByte = leaf.entries[0].key.size() - 1;
            }
        }
    }
    ASSERT_NE(keyPage, 0u);
    ASSERT_GE(leaves.size(), 2u) << "expected a multi-page index";
    const uint64_t ps = 4096;
    const auto& layout = jet::index::IndexPageLayout::of(jet::Format::Jet4);

    {
        DamagedCopy copy(source);
        EXPECT_TRUE(copy.check().empty()) << joined(copy.check());
        copy.patch(keyPage * ps + layout.entries + keyByte, {0x01});
        const auto problems = copy.check();
        EXPECT_TRUE(anyContains(problems, "but the row gives")) << joined(problems);
    }
    {
        DamagedCopy copy(source);
        copy.patch(leaves[0] * ps + layout.nextPage, {0, 0, 0, 0});
        const auto problems = copy.check();
        EXPECT_TRUE(anyContains(problems, "links on to page 0")) << joined(problems);
    }
    {
        DamagedCopy copy(source);
        // the root's child-tail points back at the root
        const uint32_t root = pages.front();
        copy.patch(root * ps + layout.tailPage,
                   {static_cast<uint8_t>(root), static_cast<uint8_t>(root >> 8), 0, 0});
        const auto problems = copy.check();
        EXPECT_TRUE(anyContains(problems, "cannot be read")) << joined(problems);
    }
    {
        DamagedCopy copy(source);
        // a leaf that lost its entries: its rows are missing from the index
        std::vector<uint8_t> zeros(layout.maskSize, 0);
        copy.patch(leaves[0] * ps + layout.mask, zeros);
        copy.patch(leaves[0] * ps + layout.prefixLength, {0, 0});
        const auto problems = copy.check();
        EXPECT_TRUE(anyContains(problems, "is missing from the index")) << joined(problems);
    }
}

// Random damage to the pages of a real multi-page index: reported, never fatal.
TEST(IndexCorpusDamage, RandomDamageToATreeIsReportedNotFatal) {
    const fs::path source = corpusFile("jet4-2003-jackcess-compindex.mdb");
    if (source.empty()) GTEST_SKIP() << "corpus not present";
    const std::vector<uint8_t> good = jettest::readFileBytes(source);
    std::vector<uint32_t> pages;
    {
        auto db = jettest::openImage(good);
        for (const jet::StoredRealIndex& ri : implOf(*db).tableDef("Table1").realIndexes) {
            jet::index::IndexTree tree(implOf(*db).pager(), ri.firstPage);
            tree.readEntries();
            pages.insert(pages.end(), tree.pages().begin(), tree.pages().end());
        }
    }
    ASSERT_GE(pages.size(), 3u);
    std::mt19937 rng(2024);
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> bytes = good;
        const uint32_t page = pages[rng() % pages.size()];
        for (int i = 0; i < 4; ++i)
            bytes[page * 4096 + rng() % 4096] = static_cast<uint8_t>(rng());
        // the node-level links: make children point anywhere
        if (round % 3 == 0) bytes[page * 4096 + 0x14] = static_cast<uint8_t>(rng());
        auto db = jettest::openImage(bytes);
        ASSERT_NO_THROW(jet::index::checkIndexes(*db)) << "round " << round;
    }
}
