// Deleting many records of a recordset at once: one change of the file, the records before a
// refused one deleted, the snapshot and its sort order following the file; a process killed in
// the middle leaves a sound file with a leading part of the deletions done.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "Jet4ImageBuilder.h"
#include "provider/Connection.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "jet/Check.h"
#include "jet/Database.h"

using namespace tessor::provider;
namespace fs = std::filesystem;

namespace {

constexpr int kParents = 3000;
// Parent 1500 has a child: deleting it is refused.
constexpr int kGuarded = 1500;

// Parents(Id, Name) 1..kParents, Name in another order than Id; Children(Id, ParentId), whose
// relationship keeps a parent with children.
void makeDatabase(const fs::path& path) {
    using B = jettest::Jet4ImageBuilder;
    using K = jet::IndexKind;
    B b;
    const int parents = 1, children = 2;
    const B::Index pk{"PrimaryKey", {{0, true}}, 0x89, K::Primary};
    b.addTable("Parents",
               {{"Id", jet::ColumnType::Long}, {"Name", jet::ColumnType::Text, false, 50}},
               {pk, B::Index{".rA", {{0, true}}, 0x89, K::Foreign, children, 1, 1, 0, 0}});
    b.addTable(
        "Children", {{"Id", jet::ColumnType::Long}, {"ParentId", jet::ColumnType::Long}},
        {pk, B::Index{"ParentsChildren", {{1, true}}, 0x80, K::Foreign, parents, 2, 1, 0, 0}});
    auto db = b.buildFile(path.string());
    db->transact([&] {
        for (int i = 1; i <= kParents; ++i)
            db->insertRow("Parents", {int32_t(i), "n" + std::to_string((i * 7919) % kParents)});
        db->insertRow("Children", {int32_t(1), int32_t(kGuarded)});
    });
}

std::shared_ptr<Recordset> openParents(const fs::path& path, std::shared_ptr<Connection>& conn) {
    conn = Connection::create();
    conn->open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path.string());
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->open("Select * From Parents", conn);
    return rs;
}

std::set<int> fileIds(const fs::path& path) {
    jet::OpenOptions rw;
    rw.readOnly = false;  // rolls back what an interrupted change left
    auto db = jet::Database::open(path, rw);
    EXPECT_EQ(jet::checkIntegrity(*db), std::vector<std::string>());
    std::set<int> ids;
    for (const auto& row : db->readTable("Parents").rows)
        ids.insert(row[0].as<int32_t>());
    return ids;
}

// Every third parent, from the highest down: the walk the record view makes.
std::vector<long> walkPositions() {
    std::vector<long> positions;
    for (long p = kParents - 1; p >= 0; p -= 3)
        positions.push_back(p);
    return positions;
}

class RecordsetDeleteMany : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("tessor-deletemany-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_master = m_dir / "master.mdb";
        makeDatabase(m_master);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path copy(const std::string& name) {
        const fs::path to = m_dir / name / "parents.mdb";
        fs::create_directories(to.parent_path());
        fs::copy_file(m_master, to);
        return to;
    }

    fs::path m_dir, m_master;
};

}  // namespace

TEST_F(RecordsetDeleteMany, RefusalKeepsTheDeletionsBeforeItAndTheSnapshotFollows) {
    const fs::path path = copy("plain");
    std::shared_ptr<Connection> conn;
    auto rs = openParents(path, conn);
    // Sorted by Name, so that positions are not rows: the walk takes every third position of
    // that order, highest first.
    rs->setSort("Name DESC");
    long guardedAt = 0;
    while (rs->textAt(guardedAt, 0) != std::to_string(kGuarded))
        ++guardedAt;
    std::vector<long> positions;
    for (long p = kParents - 1; p >= 0; --p)
        if (p % 3 == guardedAt % 3) positions.push_back(p);
    std::vector<int> walkIds;
    for (long p : positions)
        walkIds.push_back(std::stoi(rs->textAt(p, 0)));
    const auto refused = std::find(walkIds.begin(), walkIds.end(), kGuarded);
    ASSERT_NE(refused, walkIds.end());
    const std::set<int> expectedGone(walkIds.begin(), refused);

    std::string told;
    try {
        rs->deleteRecords(positions);
    } catch (const ProviderError& e) {
        told = e.description();
    }
    EXPECT_NE(told.find("related records"), std::string::npos) << told;
    // The snapshot holds the records left, still in Name order.
    EXPECT_EQ(rs->recordCount(), long(kParents - expectedGone.size()));
    std::set<int> shown;
    for (long p = 0; p < rs->recordCount(); ++p) {
        shown.insert(std::stoi(rs->textAt(p, 0)));
        if (p > 0) {
            EXPECT_GE(rs->textAt(p - 1, 1), rs->textAt(p, 1));
        }
    }
    rs->close();
    conn->close();
    const std::set<int> left = fileIds(path);
    EXPECT_EQ(left, shown);
    for (int id : expectedGone)
        EXPECT_FALSE(left.count(id)) << id;
    EXPECT_EQ(left.size() + expectedGone.size(), size_t(kParents));
}

TEST_F(RecordsetDeleteMany, KilledMidwayLeavesASoundFileWithALeadingPartDeleted) {
    std::vector<long> positions = walkPositions();  // unsorted: position p is Id p + 1
    std::vector<int> walkIds;
    for (long p : positions)
        walkIds.push_back(int(p + 1));

    // How long the whole deletion takes, to spread the kills over it.
    auto started = std::chrono::steady_clock::now();
    {
        std::shared_ptr<Connection> conn;
        auto rs = openParents(copy("timed"), conn);
        EXPECT_THROW(rs->deleteRecords(positions), ProviderError);
    }
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
    std::mt19937 random(20261208);
    std::set<size_t> prefixesSeen;
    for (int run = 0; run < 12; ++run) {
        const fs::path path = copy("kill" + std::to_string(run));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                std::shared_ptr<Connection> conn;
                auto rs = openParents(path, conn);
                rs->deleteRecords(positions);
            } catch (...) {
            }
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (took + 1)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const std::set<int> left = fileIds(path);
        size_t gone = 0;
        while (gone < walkIds.size() && !left.count(walkIds[gone]))
            ++gone;
        // Nothing deleted beyond the leading part of the walk.
        for (size_t i = gone; i < walkIds.size(); ++i)
            EXPECT_TRUE(left.count(walkIds[i])) << "run " << run << ", id " << walkIds[i];
        EXPECT_EQ(left.size() + gone, size_t(kParents)) << "run " << run;
        prefixesSeen.insert(gone);
    }
    // Either nothing or everything before the refused record; never part of one change.
    const size_t beforeRefusal =
        size_t(std::find(walkIds.begin(), walkIds.end(), kGuarded) - walkIds.begin());
    for (size_t gone : prefixesSeen)
        EXPECT_TRUE(gone == 0 || gone == beforeRefusal) << gone;
}
