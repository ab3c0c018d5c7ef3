// Setting, changing and clearing the database password: the file opens with the new password
// and only with it, other readers see it, every SID follows the new key, and a refusal or a
// crash leaves the file as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "ForeignReaders.h"
#include "SidDump.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "create/NewDatabaseWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<Database> openFor(const fs::path& path, const std::string& password,
                                  bool exclusive = true, bool readOnly = false) {
    OpenOptions o;
    o.readOnly = readOnly;
    o.exclusive = exclusive;
    o.password = password;
    return Database::open(path, o);
}

uint32_t codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.code();
    }
    return 0;
}

void expectOpensOnlyWith(const fs::path& path, const std::string& password) {
    for (const std::string& other : {std::string(), std::string("wrong"), password + "x"}) {
        if (other == password) continue;
        EXPECT_EQ(codeOf([&] { openFor(path, other, false, true); }),
                  password.empty() ? 0u : hr::kAuthFailed)
            << "opened with '" << other << "'";
    }
    auto db = openFor(path, password, false, true);
    EXPECT_EQ(db->hasPassword(), !password.empty());
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::string seen = mdbReaderPassword(path.string());
    if (!seen.empty()) {
        EXPECT_EQ(seen, password.empty() ? "null" : password);
    }
}

std::vector<std::vector<Value>> peopleRows(Database& db) {
    return db.readTable("People").rows;
}

fs::path corpusFile(const char* name) {
    fs::path dir = corpusDir();
    return dir.empty() ? fs::path() : dir / name;
}

}  // namespace

TEST(PasswordChange, SetChangeAndClearOnABuiltDatabase) {
    TempFile file(buildPeopleImage());
    {
        auto db = openFor(file.path(), "");
        for (int i = 0; i < 5; ++i)
            db->insertRow("People", peopleRow(i, 30, 10));
    }
    std::vector<std::vector<Value>> rows;
    {
        auto db = openFor(file.path(), "");
        rows = peopleRows(*db);
        db->changePassword("", "Secret-1");
        EXPECT_TRUE(db->hasPassword());
        EXPECT_EQ(peopleRows(*db), rows);
    }
    expectOpensOnlyWith(file.path(), "Secret-1");
    {
        auto db = openFor(file.path(), "Secret-1");
        db->changePassword("Secret-1", "\xc3\xa9t\xc3\xa9 20 characters!!");  // 20 UTF-16 units
    }
    expectOpensOnlyWith(file.path(), "\xc3\xa9t\xc3\xa9 20 characters!!");
    {
        auto db = openFor(file.path(), "\xc3\xa9t\xc3\xa9 20 characters!!");
        db->changePassword("\xc3\xa9t\xc3\xa9 20 characters!!", "");
        EXPECT_FALSE(db->hasPassword());
        // The open connection goes on changing rows.
        db->insertRow("People", peopleRow(9, 5, 5));
    }
    expectOpensOnlyWith(file.path(), "");
    auto db = openFor(file.path(), "", false, true);
    auto after = peopleRows(*db);
    ASSERT_EQ(after.size(), rows.size() + 1);
    after.pop_back();
    EXPECT_EQ(after, rows);
}

TEST(PasswordChange, RefusalsChangeNothing) {
    TempFile file(buildPeopleImage());
    {
        auto db = openFor(file.path(), "");
        db->changePassword("", "right");
    }
    const std::vector<uint8_t> before = readFileBytes(file.path());
    struct Case {
        const char* what;
        bool exclusive, readOnly;
        const char* old;
        std::string fresh;
        uint32_t code;
    };
    const Case cases[] = {
        {"wrong old password", true, false, "Right", "new", hr::kAuthFailed},
        {"no old password", true, false, "", "new", hr::kAuthFailed},
        {"shared connection", false, false, "right", "new", hr::kLocked},
        {"read-only connection", true, true, "right", "new", hr::kReadOnly},
        {"21 characters", true, false, "right", std::string(21, 'a'), hr::kInvalidArg},
        // One character outside the BMP takes two of the twenty UTF-16 units.
        {"surrogates past 20 units", true, false, "right",
         std::string(19, 'a') + "\xf0\x9f\x98\x80", hr::kInvalidArg},
        {"broken UTF-8", true, false, "right", "ab\xc3", hr::kInvalidArg},
        {"NUL inside", true, false, "right", std::string("a\0b", 3), hr::kInvalidArg},
    };
    for (const Case& c : cases) {
        auto db = openFor(file.path(), "right", c.exclusive, c.readOnly);
        try {
            db->changePassword(c.old, c.fresh);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), c.code) << c.what << ": " << e.what();
            EXPECT_GT(std::string(e.what()).size(), 20u) << c.what;
        }
        EXPECT_TRUE(db->hasPassword()) << c.what;
        db.reset();
        EXPECT_EQ(readFileBytes(file.path()), before) << c.what;
    }
    // The old password given when there is none is refused as well.
    TempFile plain(buildPeopleImage());
    auto db = openFor(plain.path(), "");
    EXPECT_EQ(codeOf([&] { db->changePassword("guess", "x"); }), hr::kAuthFailed);
    EXPECT_FALSE(db->hasPassword());
}

TEST(PasswordChange, JoinsASurroundingChangeAndIsDroppedWithIt) {
    TempFile file(buildPeopleImage());
    auto db = openFor(file.path(), "");
    EXPECT_THROW(db->transact([&] {
        db->changePassword("", "inside");
        EXPECT_TRUE(db->hasPassword());
        db->insertRow("People", peopleRow(1, 5, 5));
        throw Error(hr::kFail, "given up");
    }),
                 Error);
    EXPECT_FALSE(db->hasPassword());
    db.reset();
    expectOpensOnlyWith(file.path(), "");
}

// The pair of files is one database saved with and without a password: their SIDs are masked
// under different keys but hold the same plain bytes. Setting that password on the copy
// without one must give the same plain SIDs under the new key, and clearing it on the other
// must too.
TEST(PasswordChangeCorpus, SidsFollowThePasswordAsInTheAccessMadePair) {
    for (const char* version : {"2000", "2003"}) {
        fs::path with =
            corpusFile(("jet4-" + std::string(version) + "-mdbreader-password.mdb").c_str());
        fs::path without =
            corpusFile(("jet4-" + std::string(version) + "-mdbreader-nopassword.mdb").c_str());
        if (with.empty()) GTEST_SKIP() << "corpus not available";
        SidDump expected, expectedStored;
        std::vector<std::vector<Value>> table;
        {
            auto a = openFor(with, "password", false, true);
            auto b = openFor(without, "", false, true);
            expected = plainSids(*a);
            expectedStored = storedSids(*a);
            ASSERT_FALSE(expected.aces.empty());
            // What the rule is measured on: the two files' plain SIDs agree, stored ones do not.
            EXPECT_EQ(plainSids(*b), expected) << version;
            EXPECT_NE(storedSids(*b), expectedStored) << version;
            table = a->readTable("Table1").rows;
        }
        TempFile copy(readFileBytes(without));
        {
            auto db = openFor(copy.path(), "");
            db->changePassword("", "password");
            EXPECT_EQ(plainSids(*db), expected) << version;
            EXPECT_NE(storedSids(*db), storedSids(*openFor(without, "", false, true)));
        }
        expectOpensOnlyWith(copy.path(), "password");
        TempFile cleared(readFileBytes(with));
        {
            auto db = openFor(cleared.path(), "password");
            db->changePassword("password", "");
            EXPECT_EQ(plainSids(*db), expected) << version;
            EXPECT_EQ(db->readTable("Table1").rows, table);
            // And back again: the same page 0 gives the same key, so the stored bytes return.
            db->changePassword("", "password");
            EXPECT_EQ(storedSids(*db), expectedStored) << version;
            EXPECT_EQ(readFileBytes(cleared.path()), readFileBytes(with)) << version;
        }
        expectOpensOnlyWith(cleared.path(), "password");
        for (const fs::path& p : {copy.path(), cleared.path()}) {
            ForeignTable t = readWithMdbReader(p, "Table1");
            if (t.available) {
                EXPECT_TRUE(t.ok && t.rows.size() == 3) << t.output;
            }
            ForeignTable m = readWithMdbExport(p, "Table1");
            if (m.available) {
                EXPECT_TRUE(m.ok && m.rows.size() == 3) << m.output;
            }
        }
    }
}

// Page-encoded files are not changed yet: the refusal says so and leaves the file alone.
TEST(PasswordChangeCorpus, EncodedDatabaseIsRefusedAndLeftUnchanged) {
    fs::path enc = corpusFile("jet4-jackcessencrypt-rc4-encoded.mdb");
    if (enc.empty()) GTEST_SKIP() << "corpus not available";
    TempFile copy(readFileBytes(enc));
    const auto before = readFileBytes(copy.path());
    {
        auto db = openFor(copy.path(), "");
        ASSERT_TRUE(db->isEncoded());
        try {
            db->changePassword("", "pw");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), hr::kNotSupported) << e.what();
            EXPECT_NE(std::string(e.what()).find("encoded"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(db->hasPassword());
    }
    EXPECT_EQ(readFileBytes(copy.path()), before);
}

namespace {

void crashLoop(const std::vector<uint8_t>& image) {
    auto open = [](SimDisk& disk, const std::string& pw) {
        OpenOptions o;
        o.readOnly = false;
        o.exclusive = true;
        o.password = pw;
        return Database::openFile(disk.open("db"), "db.mdb", o, disk.journal("db-journal"));
    };
    SidDump plain;
    int writes = 0;
    {
        SimDisk clean;
        clean.put("db", image);
        auto db = open(clean, "");
        plain = plainSids(*db);
        db->changePassword("", "pw");
        writes = clean.writes();
    }
    ASSERT_GT(writes, 3);
    for (bool keep : {false, true}) {
        int oldSeen = 0, newSeen = 0;
        for (int n = 1; n <= writes; ++n) {
            const std::string where = "crash at write " + std::to_string(n) +
                                      (keep ? ", unsynced kept" : ", unsynced lost");
            SimDisk disk;
            disk.put("db", image);
            disk.crashAt(n);
            bool returned = true;
            {
                auto db = open(disk, "");
                try {
                    db->changePassword("", "pw");
                } catch (const Error&) {
                    returned = false;
                }
            }
            // Only the last write, blanking the journal's header after the database is synced,
            // may stop without failing the change.
            EXPECT_EQ(returned, n == writes) << where;
            SimDisk restart;
            for (auto& [name, bytes] : disk.image(keep))
                restart.put(name, bytes);
            std::unique_ptr<Database> re;
            try {
                re = open(restart, "");
                ++oldSeen;
            } catch (const Error&) {
                re = open(restart, "pw");
                ++newSeen;
            }
            if (returned) {
                EXPECT_EQ(re->hasPassword(), true) << where;
            }
            EXPECT_EQ(plainSids(*re), plain) << where;
            auto problems = checkIntegrity(*re);
            EXPECT_TRUE(problems.empty()) << where << ": " << problems.front();
        }
        EXPECT_EQ(oldSeen + newSeen, writes);
    }
}

}  // namespace

TEST(PasswordChangeCrash, EveryCrashPointLeavesOldOrNewPasswordWithMatchingSids) {
    // A database made here (always there) and the Access-made one when the corpus is present.
    std::vector<std::vector<uint8_t>> images = {NewDatabaseWriter::image({}, 45000.25)};
    fs::path src = corpusFile("jet4-2000-mdbreader-nopassword.mdb");
    if (!src.empty()) images.push_back(readFileBytes(src));
    for (const std::vector<uint8_t>& image : images)
        crashLoop(image);
}
