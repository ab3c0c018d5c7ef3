// Field rules kept in a table's property blob: "Required" refuses nulls and "AllowZeroLength"
// set to No refuses empty text, for fields no index guards.
#include <gtest/gtest.h>

#include <functional>

#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "table/ColumnRules.h"
#include "tdef/StoredTableDef.h"

using namespace jet;
using namespace jettest;

namespace {

using Properties = std::vector<std::pair<std::string, std::vector<std::pair<std::string, bool>>>>;

void add16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void add32(std::vector<uint8_t>& b, uint32_t v) {
    add16(b, uint16_t(v));
    add16(b, uint16_t(v >> 16));
}
void addName(std::vector<uint8_t>& b, const std::string& s) {
    add16(b, uint16_t(2 * s.size()));
    for (char c : s)
        add16(b, uint8_t(c));
}

// A blob as Access lays it out: signature, the name pool, an empty block for the table
// itself, then one block per field with its yes/no properties.
std::vector<uint8_t> propertyBlob(const Properties& fields) {
    std::vector<std::string> names;
    auto nameIndex = [&](const std::string& n) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == n) return uint16_t(i);
        names.push_back(n);
        return uint16_t(names.size() - 1);
    };
    std::vector<std::vector<uint8_t>> blocks;
    auto block = [&](uint16_t type, const std::string& owner,
                     const std::vector<std::pair<std::string, bool>>& props) {
        std::vector<uint8_t> body;
        add32(body, uint32_t(6 + 2 * owner.size()));
        add16(body, uint16_t(2 * owner.size()));
        for (char c : owner)
            add16(body, uint8_t(c));
        for (const auto& [name, yes] : props) {
            add16(body, 9);
            body.push_back(1);  // set by the user
            body.push_back(1);  // yes/no
            add16(body, nameIndex(name));
            add16(body, 1);
            body.push_back(yes ? 1 : 0);
        }
        std::vector<uint8_t> b;
        add32(b, uint32_t(6 + body.size()));
        add16(b, type);
        b.insert(b.end(), body.begin(), body.end());
        blocks.push_back(b);
    };
    block(0x00, "", {});
    for (const auto& [field, props] : fields)
        block(0x01, field, props);
    std::vector<uint8_t> pool;
    for (const std::string& n : names)
        addName(pool, n);
    std::vector<uint8_t> out{'M', 'R', '2', 0};
    add32(out, uint32_t(6 + pool.size()));
    add16(out, 0x80);
    out.insert(out.end(), pool.begin(), pool.end());
    for (const auto& b : blocks)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

const Properties kStaffRules = {{"First", {{"Required", true}, {"AllowZeroLength", false}}},
                                {"Last", {{"Required", false}, {"AllowZeroLength", true}}},
                                {"Notes", {{"Required", true}}}};

std::vector<uint8_t> buildStaffImage(const std::vector<uint8_t>& blob) {
    using B = Jet4ImageBuilder;
    B b;
    int t = b.addTable("Staff", {{"Id", ColumnType::Long, true, 0, 0x04},
                                 {"First", ColumnType::Text, false, 100},
                                 {"Last", ColumnType::Text, false, 100},
                                 {"Notes", ColumnType::Memo, false}});
    b.setTableProperties(t, blob);
    return b.build();
}

void expectRefused(SimDisk& disk, const std::function<void()>& action, const std::string& message) {
    const std::vector<uint8_t> before = disk.current("db");
    try {
        action();
        ADD_FAILURE() << "accepted: " << message;
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), index::kIntegrityViolation);
        EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_TRUE(disk.current("db") == before) << message;
}

}  // namespace

TEST(ColumnRules, RequiredAndZeroLengthRulesOfTheBlobAreKept) {
    SimDisk disk;
    disk.put("db", buildStaffImage(propertyBlob(kStaffRules)));
    auto db = openSim(disk);
    const std::string firstNull =
        "The field 'Staff.First' cannot contain a Null value because the Required property for "
        "this field is set to True. Enter a value in this field.";
    expectRefused(
        disk,
        [&] {
            db->insertRow("Staff", {Value(), Value(), "Smith", "n"});
        },
        firstNull);
    expectRefused(
        disk,
        [&] {
            db->insertRow("Staff", {Value(), "", "Smith", "n"});
        },
        "Field 'Staff.First' cannot be a zero-length string.");
    expectRefused(
        disk,
        [&] {
            db->insertRow("Staff", {Value(), "Ann", "Smith", Value()});
        },
        "The field 'Staff.Notes' cannot contain a Null value because the Required property for "
        "this field is set to True. Enter a value in this field.");
    // Last is neither required nor closed to empty text.
    RowId ann = db->insertRow("Staff", {Value(), "Ann", Value(), "n"});
    db->insertRow("Staff", {Value(), "Bob", "", "n"});
    expectRefused(
        disk,
        [&] {
            db->updateRow("Staff", ann, {int32_t(1), Value(), Value(), "n"});
        },
        firstNull);
    db->updateRow("Staff", ann, {int32_t(1), "Anne", "Lee", "longer note"});
    EXPECT_EQ(db->readTable("Staff").rows.front()[1], Value(std::string("Anne")));
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(ColumnRules, DamagedOrMissingBlobsConstrainNothing) {
    const std::vector<uint8_t> good = propertyBlob(kStaffRules);
    StoredTableDef def;
    def.name = "Staff";
    for (const char* n : {"Id", "First", "Last", "Notes"}) {
        StoredColumn c;
        c.name = n;
        c.type = ColumnType::Text;
        def.columns.push_back(c);
    }
    ColumnRules full = ColumnRules::parse(good, def);
    EXPECT_TRUE(full.required(1) && full.refusesEmptyText(1) && full.required(3));
    EXPECT_FALSE(full.required(2) || full.refusesEmptyText(2) || full.required(0));
    // Every cut and every single-byte change parses without reading outside the blob.
    for (size_t n = 0; n < good.size(); ++n) {
        ColumnRules::parse(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), def);
        std::vector<uint8_t> bad = good;
        bad[n] ^= 0xFF;
        ColumnRules::parse(bad, def);
    }
    EXPECT_FALSE(ColumnRules::parse({}, def).required(1));

    SimDisk disk;
    disk.put("db", buildStaffImage({}));
    auto db = openSim(disk);
    db->insertRow("Staff", {Value(), Value(), "", Value()});
    EXPECT_EQ(db->readTable("Staff").rows.size(), 1u);
}

TEST(ColumnRules, NorthwindRequiredFields) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    TempFile copy(readFileBytes(corpusDir() / "jet4-northwind-statdata.mdb"), "nw.mdb");
    OpenOptions rw;
    rw.readOnly = false;
    auto db = Database::open(copy.path(), rw);
    // Shippers.CompanyName is required, closed to empty text, and in no index.
    const StoredTableDef& shippers = implOf(*db).tableDef("Shippers");
    const StoredColumn* company = shippers.findColumn("CompanyName");
    ASSERT_NE(company, nullptr);
    const size_t at = size_t(company - shippers.columns.data());
    std::vector<Value> row(shippers.columns.size());
    auto refusedWith = [&](const std::string& words) {
        try {
            db->insertRow("Shippers", row);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), index::kIntegrityViolation);
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    };
    refusedWith("'Shippers.CompanyName' cannot contain a Null value");
    row[at] = std::string();
    refusedWith("'Shippers.CompanyName' cannot be a zero-length string");
    row[at] = std::string("Fast Freight");
    db->insertRow("Shippers", row);
    EXPECT_EQ(db->readTable("Shippers").rows.size(), 4u);

    // Employees.FirstName: required; changing another field of a record stays possible.
    TableData staff = db->readTable("Employees");
    const size_t first = size_t(implOf(*db).tableDef("Employees").findColumn("FirstName") -
                                implOf(*db).tableDef("Employees").columns.data());
    std::vector<Value> e = staff.rows.front();
    e[first] = Value();
    EXPECT_THROW(db->updateRow("Employees", staff.rowIds.front(), e), Error);
    e = staff.rows.front();
    e[first] = std::string("Nancy-Jo");
    db->updateRow("Employees", staff.rowIds.front(), e);
    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
}
