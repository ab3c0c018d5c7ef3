// Changes to copies of real Access files: records of every table the writer accepts are
// inserted, rewritten and deleted; the file stays sound for our check and mdbtools reads the
// same number of records as we do.
#include <gtest/gtest.h>

#include <filesystem>

#include "ForeignReaders.h"
#include "TestSupport.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

TEST(WriteCorpus, RecordsChangedInRealFilesStaySoundAndReadable) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    int tablesChanged = 0, refused = 0;
    for (const auto& entry : fs::directory_iterator(corpusDir())) {
        const fs::path src = entry.path();
        if (src.extension() != ".mdb" || src.filename().string().rfind("jet4", 0) != 0) continue;
        TempFile copy(readFileBytes(src), src.filename().string());
        OpenOptions rw;
        rw.readOnly = false;
        std::unique_ptr<Database> db;
        try {
            db = Database::open(copy.path(), rw);
        } catch (const Error&) {
            continue;  // password-protected and the like: not this test's subject
        }
        if (!checkIntegrity(*db).empty()) continue;  // damaged on purpose
        std::vector<std::string> changed;
        for (const std::string& name : db->tableNames()) {
            const std::string where = src.filename().string() + " / " + name;
            TableData data = db->readTable(name);
            if (data.rows.empty()) continue;
            std::vector<Value> row = data.rows.front();
            for (size_t c = 0; c < row.size(); ++c)
                if (data.def.columns[c].isAutoNumber()) row[c] = Value();
            try {
                // Out and back in: the record's unique keys are free again for the insert.
                db->deleteRow(name, data.rowIds.front());
                RowId added = db->insertRow(name, row);
                db->updateRow(name, added, row);
                if (data.rows.size() > 1) db->deleteRow(name, data.rowIds.back());
            } catch (const Error& e) {
                ASSERT_TRUE(e.code() == hr::kNotSupported || e.code() == hr::kInvalidArg ||
                            e.code() == index::kIntegrityViolation)
                    << where << ": " << e.what();
                ++refused;
                std::cout << "refused: " << where << ": " << e.what() << "\n";
                continue;
            }
            TableData now = db->readTable(name);
            ASSERT_EQ(now.rows.size(), data.rows.size() - (data.rows.size() > 1 ? 1 : 0)) << where;
            changed.push_back(name);
            ++tablesChanged;
        }
        auto problems = checkIntegrity(*db);
        EXPECT_TRUE(problems.empty()) << src.filename() << ": " << problems.front();
        for (const std::string& name : changed) {
            size_t ours = db->readTable(name).rows.size();
            ForeignTable t = readWithMdbExport(copy.path(), name);
            if (!t.available) break;
            ASSERT_TRUE(t.ok) << src.filename() << " / " << name << ": " << t.output;
            EXPECT_EQ(t.rows.size(), ours) << src.filename() << " / " << name;
        }
    }
    std::cout << tablesChanged << " tables changed, " << refused << " refused\n";
    EXPECT_GT(tablesChanged, 0);
}
