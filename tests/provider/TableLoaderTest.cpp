// A table read into a snapshot holds, value for value and row for row, what the engine's plain
// row reader gives for it, each value turned into the provider's kind on its own: every table of
// every corpus file (Jet 3 code-page text, long values, moved rows, system tables) and a built
// table of every type with nulls, empty values and long memo and OLE values.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "provider/EngineValue.h"
#include "provider/ProviderError.h"
#include "provider/TableLoader.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace tessor::provider;
namespace fs = std::filesystem;

namespace {

// Compares the snapshot of `table` with the engine's rows; returns the values compared.
size_t expectSnapshotMatchesEngine(jet::Database& db, const std::string& table,
                                   const std::string& where) {
    jet::TableData data;
    try {
        data = db.readTable(table);
    } catch (const jet::Error&) {
        // A table the engine cannot read must not load either.
        EXPECT_THROW(TableLoader::load(db, table), ProviderError) << where;
        return 0;
    }
    const TableSnapshot snap = TableLoader::load(db, table);
    const RowStore& rows = *snap.rows;
    EXPECT_EQ(rows.rowCount(), data.rows.size()) << where;
    EXPECT_EQ(snap.rowIds.size(), data.rowIds.size()) << where;
    EXPECT_EQ(rows.columnCount(), data.def.columns.size()) << where;
    if (rows.rowCount() != data.rows.size() || rows.columnCount() != data.def.columns.size())
        return 0;
    size_t compared = 0;
    size_t wrong = 0;
    for (size_t r = 0; r < data.rows.size(); ++r) {
        EXPECT_EQ(snap.rowIds[r], data.rowIds[r].page << 8 | data.rowIds[r].row) << where;
        for (size_t c = 0; c < rows.columnCount(); ++c) {
            const Variant want = EngineValue::toVariant(data.rows[r][c], rows.column(c).type);
            const Variant got = rows.value(r, c);
            ++compared;
            if (got == want && rows.isNull(r, c) == want.isMissing()) continue;
            if (++wrong <= 5)
                ADD_FAILURE() << where << ": row " << r << ", field " << rows.column(c).name
                              << " differs (kinds " << int(got.type()) << " and "
                              << int(want.type()) << ")";
        }
    }
    EXPECT_EQ(wrong, 0u) << where;
    return compared;
}

// A table of every type the engine creates, with a row of values, a row of nulls, a row of
// empty and extreme values and a row of long values kept on pages of their own.
void buildEveryType(const fs::path& path) {
    jet::Database::create(path);
    jet::OpenOptions writable;
    writable.readOnly = false;
    auto db = jet::Database::open(path, writable);
    using T = jet::ColumnType;
    jet::NewTable t{"Every Type", {}, {}};
    t.columns = {{"Id", T::Long, 4, 18, 0, false, true},
                 {"Yes", T::Bool},
                 {"Small", T::Byte},
                 {"Int", T::Int},
                 {"Money", T::Money},
                 {"Float", T::Float},
                 {"Double", T::Double},
                 {"When", T::DateTime},
                 {"Name", T::Text, 100},
                 {"Memo", T::Memo},
                 {"Picture", T::Ole},
                 {"Raw", T::Binary, 16},
                 {"Key", T::Guid},
                 {"Amount", T::Numeric, 17, 18, 4}};
    db->createTable(t);
    jet::Guid g;
    for (uint8_t i = 0; i < 16; ++i)
        g.bytes[i] = static_cast<uint8_t>(i * 17);
    jet::Decimal amount;
    amount.lo = 123456789012345;
    amount.negative = true;
    amount.scale = 4;
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += i % 2 ? "\xC3\xA9t\xC3\xA9 " : "Stra\xC3\x9F" "e ";
    std::vector<uint8_t> longBytes(9000);
    for (size_t i = 0; i < longBytes.size(); ++i)
        longBytes[i] = static_cast<uint8_t>(i * 31);
    const std::vector<std::vector<jet::Value>> rows = {
        {jet::Value(), true, uint8_t(200), int16_t(-12), jet::Currency{35000}, 0.5f, 444.555,
         jet::DateTime{-1.25}, std::string("Jos\xC3\xA9"), std::string("a short memo"),
         std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>{9, 8}, g, amount},
        {jet::Value(), false, jet::Value(), jet::Value(), jet::Value(), jet::Value(), jet::Value(),
         jet::Value(), jet::Value(), jet::Value(), jet::Value(), jet::Value(), jet::Value(),
         jet::Value()},
        {jet::Value(), false, uint8_t(0), int16_t(-32768), jet::Currency{-1}, -0.0f, 1e300,
         jet::DateTime{2958465.5}, std::string(), std::string(), std::vector<uint8_t>{},
         std::vector<uint8_t>{}, jet::Guid{}, jet::Decimal{}},
        {jet::Value(), true, uint8_t(255), int16_t(32767), jet::Currency{-922337203685477580}, 3.25e38f,
         -2.5, jet::DateTime{45000.75}, std::string(100, 'x'), longText, longBytes,
         std::vector<uint8_t>(16, 0xFF), g, jet::Decimal{}},
    };
    for (const auto& row : rows)
        db->insertRow("Every Type", row);
}

}  // namespace

TEST(TableLoader, SnapshotHoldsWhatTheEngineReads) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessor-loader-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup{dir};

    const fs::path built = dir / "every-type.mdb";
    buildEveryType(built);
    {
        auto db = jet::Database::open(built);
        EXPECT_EQ(expectSnapshotMatchesEngine(*db, "Every Type", "built table"), 4u * 14u);
        // A row whose value is of another kind than its field's type is refused whole.
        const TableSnapshot snap = TableLoader::load(*db, "Every Type");
        std::vector<jet::Value> bad = db->readTable("Every Type").rows[0];
        bad[12] = std::string("not a GUID");
        EXPECT_THROW(snap.rows->appendRow(std::span<const jet::Value>(bad)), ProviderError);
        EXPECT_EQ(snap.rows->rowCount(), 4u);
        bad.pop_back();
        EXPECT_THROW(snap.rows->appendRow(std::span<const jet::Value>(bad)), ProviderError);
        EXPECT_EQ(snap.rows->rowCount(), 4u);
        // The columns stayed in step: a row appended after the refusals reads back whole.
        const std::vector<jet::Value> last = db->readTable("Every Type").rows[3];
        snap.rows->appendRow(std::span<const jet::Value>(last));
        ASSERT_EQ(snap.rows->rowCount(), 5u);
        for (size_t c = 0; c < last.size(); ++c)
            EXPECT_EQ(snap.rows->value(4, c), snap.rows->value(3, c)) << c;
    }

    const fs::path corpus = jettest::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus (TESSOR_SHARED_DIR/testdata/mdb)";
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(corpus))
        if (e.path().extension() == ".mdb") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    size_t values = 0;
    size_t tables = 0;
    for (const fs::path& file : files) {
        std::unique_ptr<jet::Database> db;
        try {
            db = jet::Database::open(file);
        } catch (const jet::Error&) {
            continue;  // a password, a later format or a damaged file: nothing to load
        }
        for (const std::string& table : db->tableNames(true)) {
            values += expectSnapshotMatchesEngine(*db, table,
                                                  file.filename().string() + " / " + table);
            ++tables;
        }
    }
    RecordProperty("tables", static_cast<int>(tables));
    RecordProperty("values", static_cast<int>(values));
    EXPECT_GT(tables, 100u);
    EXPECT_GT(values, 10000u);
}
