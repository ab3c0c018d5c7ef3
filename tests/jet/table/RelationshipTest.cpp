// Relationships with enforced integrity: a secondary record needs its primary record, a primary
// record with dependents is kept, or its change cascades, all inside one change.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"

using namespace jet;
using namespace jettest;

namespace {

// Customers 1—n Orders (updates cascade, deletes refused), Orders 1—n Lines (deletes cascade,
// key changes refused), Customers 1—n Tags (deletes set the key to null).
std::vector<uint8_t> buildShopImage() {
    using B = Jet4ImageBuilder;
    using K = IndexKind;
    B b;
    const int customers = 1, orders = 2, lines = 3, tags = 4;  // addTable numbers, catalog is 0
    B::Index pk{"PrimaryKey", {{0, true}}, 0x89, K::Primary};
    auto primarySide = [](const std::string& name, int child, int32_t childIndex, uint8_t upd,
                          uint8_t del) {
        return B::Index{name, {{0, true}}, 0x89, K::Foreign, child, 1, childIndex, upd, del};
    };
    auto secondary = [](const std::string& name, uint16_t column, int parent, int32_t parentIndex,
                        uint8_t upd, uint8_t del) {
        return B::Index{name, {{column, true}}, 0x80, K::Foreign, parent, 2, parentIndex, upd, del};
    };
    b.addTable("Customers", {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, false, 100}},
               {pk, primarySide(".rA", orders, 1, 1, 0), primarySide(".rC", tags, 1, 0, 2)});
    b.addTable("Orders",
               {{"OrderId", ColumnType::Long},
                {"CustomerId", ColumnType::Long},
                {"Note", ColumnType::Text, false, 100}},
               {pk, secondary("CustomersOrders", 1, customers, 1, 1, 0),
                primarySide(".rB", lines, 1, 0, 1)});
    b.addTable(
        "Lines",
        {{"LineId", ColumnType::Long}, {"OrderId", ColumnType::Long}, {"Qty", ColumnType::Int}},
        {pk, secondary("OrdersLines", 1, orders, 2, 0, 1)});
    b.addTable("Tags", {{"TagId", ColumnType::Long}, {"CustomerId", ColumnType::Long}},
               {pk, secondary("CustomersTags", 1, customers, 2, 0, 2)});
    return b.build();
}

void fill(Database& db) {
    db.transact([&] {
        for (int c = 1; c <= 3; ++c)
            db.insertRow("Customers", {int32_t(c), "customer " + std::to_string(c)});
        for (int o = 1; o <= 6; ++o)
            db.insertRow("Orders", {int32_t(100 + o), int32_t(o <= 4 ? 1 : 2), Value()});
        for (int l = 1; l <= 12; ++l)
            db.insertRow("Lines", {int32_t(1000 + l), int32_t(100 + (l - 1) / 2 + 1), int16_t(l)});
        db.insertRow("Tags", {int32_t(1), int32_t(3)});
        db.insertRow("Tags", {int32_t(2), int32_t(3)});
    });
}

std::optional<RowId> find(Database& db, const std::string& table, int32_t key) {
    std::optional<RowId> at;
    db.forEachRow(table, [&](RowId id, const std::vector<Value>& row) {
        if (row[0] == Value(key)) at = id;
        return !at;
    });
    return at;
}

std::vector<std::vector<Value>> rows(Database& db, const std::string& table) {
    return db.readTable(table).rows;
}

void expectClean(Database& db, const std::string& where) {
    auto problems = checkIntegrity(db);
    EXPECT_TRUE(problems.empty()) << where << ": " << problems.front();
}

struct Refusal {
    SimDisk& disk;
    void operator()(const std::function<void()>& action, const std::string& message) {
        const std::vector<uint8_t> before = disk.current("db");
        try {
            action();
            ADD_FAILURE() << "accepted, expected: " << message;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), index::kIntegrityViolation) << e.what();
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_TRUE(disk.current("db") == before) << message;
    }
};

const std::string kNeedsCustomer =
    "You cannot add or change a record because a related record is required in table "
    "'Customers'.";
const std::string kHasOrders =
    "The record cannot be deleted or changed because table 'Orders' includes related records.";

}  // namespace

TEST(Relationships, SecondaryRecordsNeedTheirPrimaryRecord) {
    SimDisk disk;
    disk.put("db", buildShopImage());
    auto db = openSim(disk);
    fill(*db);
    Refusal refused{disk};
    refused([&] { db->insertRow("Orders", {int32_t(200), int32_t(9), Value()}); }, kNeedsCustomer);
    // a null key relates to nothing and needs nothing
    db->insertRow("Orders", {int32_t(201), Value(), Value("walk-in")});
    RowId o = *find(*db, "Orders", 201);
    refused(
        [&] {
            db->updateRow("Orders", o, {int32_t(201), int32_t(7), Value()});
        },
        kNeedsCustomer);
    db->updateRow("Orders", o, {int32_t(201), int32_t(3), Value("now customer 3")});
    // a change elsewhere in a record with a key that is already related is not looked up again
    db->updateRow("Orders", o, {int32_t(201), int32_t(3), Value("note")});
    refused(
        [&] {
            db->insertRow("Lines", {int32_t(2000), int32_t(999), int16_t(1)});
        },
        "You cannot add or change a record because a related record is required in table "
        "'Orders'.");
    // inside one change, a primary record added earlier counts
    db->transact([&] {
        db->insertRow("Customers", {int32_t(10), Value("new")});
        db->insertRow("Orders", {int32_t(300), int32_t(10), Value()});
    });
    EXPECT_TRUE(find(*db, "Orders", 300).has_value());
    expectClean(*db, "after inserts");
}

TEST(Relationships, PrimaryRecordsWithDependentsAreKeptOrCascade) {
    SimDisk disk;
    disk.put("db", buildShopImage());
    auto db = openSim(disk);
    fill(*db);
    Refusal refused{disk};

    // Customer 1 has orders: it cannot go; its key change cascades into Orders.
    RowId c1 = *find(*db, "Customers", 1);
    refused([&] { db->deleteRow("Customers", c1); }, kHasOrders);
    db->updateRow("Customers", c1, {int32_t(11), Value("renumbered")});
    int moved = 0;
    for (const auto& r : rows(*db, "Orders")) {
        EXPECT_NE(r[1], Value(int32_t(1)));
        moved += r[1] == Value(int32_t(11));
    }
    EXPECT_EQ(moved, 4);
    expectClean(*db, "after cascaded key change");

    // Order 101 has lines: its key may not change, but deleting it takes its lines along.
    RowId o101 = *find(*db, "Orders", 101);
    refused(
        [&] {
            db->updateRow("Orders", o101, {int32_t(151), int32_t(11), Value()});
        },
        "The record cannot be deleted or changed because table 'Lines' includes related "
        "records.");
    const size_t linesBefore = rows(*db, "Lines").size();
    db->deleteRow("Orders", o101);
    EXPECT_EQ(rows(*db, "Lines").size(), linesBefore - 2);
    for (const auto& r : rows(*db, "Lines"))
        EXPECT_NE(r[1], Value(int32_t(101)));
    expectClean(*db, "after cascaded delete");

    // Customer 3 has only tags: deleting it empties their key.
    RowId c3 = *find(*db, "Customers", 3);
    db->deleteRow("Customers", c3);
    for (const auto& r : rows(*db, "Tags"))
        EXPECT_TRUE(r[1].isNull());
    EXPECT_EQ(rows(*db, "Tags").size(), 2u);

    // Customer 2 has orders (5, 6) with lines: the refusal comes from Orders, and nothing of
    // the change remains, even though the set-null and cascade parts would be allowed.
    db->insertRow("Tags", {int32_t(3), int32_t(2)});
    RowId c2 = *find(*db, "Customers", 2);
    refused([&] { db->deleteRow("Customers", c2); }, kHasOrders);
    // With its orders gone first, in one change, it goes and their lines with them.
    db->transact([&] {
        for (int32_t o : {105, 106})
            db->deleteRow("Orders", *find(*db, "Orders", o));
        db->deleteRow("Customers", c2);
    });
    EXPECT_EQ(rows(*db, "Lines").size(), linesBefore - 2 - 4);
    EXPECT_TRUE(rows(*db, "Tags").back()[1].isNull());
    expectClean(*db, "after the change of several steps");

    // The file reopens with the same rows (nothing was left only in memory).
    auto lines = rows(*db, "Lines");
    db.reset();
    db = openSim(disk);
    EXPECT_EQ(rows(*db, "Lines"), lines);
}

TEST(Relationships, NorthwindKeepsItsRelationships) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    TempFile copy(readFileBytes(corpusDir() / "jet4-northwind-statdata.mdb"), "nw.mdb");
    OpenOptions rw;
    rw.readOnly = false;
    auto db = Database::open(copy.path(), rw);
    auto column = [&](const std::string& table, const std::string& name) {
        const TableDef& def = db->tableDef(table);
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (namesEqual(def.columns[i].name, name)) return i;
        throw std::runtime_error("no column " + name);
    };
    auto expectRefused = [&](const std::function<void()>& action, const std::string& table) {
        try {
            action();
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), index::kIntegrityViolation);
            EXPECT_NE(std::string(e.what()).find("'" + table + "'"), std::string::npos) << e.what();
        }
    };
    TableData customers = db->readTable("Customers");
    TableData orders = db->readTable("Orders");
    const size_t custId = column("Customers", "CustomerID");
    const size_t orderCust = column("Orders", "CustomerID");
    const size_t orderId = column("Orders", "OrderID");
    const size_t detailOrder = column("Order Details", "OrderID");

    // ALFKI has orders: kept; its key change cascades (CustomersOrders cascades updates).
    size_t alfki = 0;
    while (!(customers.rows[alfki][custId] == Value(std::string("ALFKI"))))
        ++alfki;
    expectRefused([&] { db->deleteRow("Customers", customers.rowIds[alfki]); }, "Orders");
    std::vector<Value> renamed = customers.rows[alfki];
    renamed[custId] = std::string("ALFKZ");
    db->updateRow("Customers", customers.rowIds[alfki], renamed);
    int alfkz = 0;
    for (const auto& r : db->readTable("Orders").rows) {
        EXPECT_NE(r[orderCust], Value(std::string("ALFKI")));
        alfkz += r[orderCust] == Value(std::string("ALFKZ"));
    }
    EXPECT_EQ(alfkz, 6);

    // An order with an unknown customer is refused.
    std::vector<Value> order = orders.rows.front();
    order[orderCust] = std::string("NOONE");
    expectRefused([&] { db->updateRow("Orders", orders.rowIds.front(), order); }, "Customers");

    // Deleting an order takes its details along (OrdersOrder Details cascades deletes).
    const Value firstId = orders.rows.front()[orderId];
    size_t details = 0, detailsOfFirst = 0;
    for (const auto& r : db->readTable("Order Details").rows) {
        ++details;
        detailsOfFirst += r[detailOrder] == firstId;
    }
    ASSERT_GT(detailsOfFirst, 0u);
    db->deleteRow("Orders", orders.rowIds.front());
    EXPECT_EQ(db->readTable("Order Details").rows.size(), details - detailsOfFirst);

    // A product with order details is kept.
    TableData products = db->readTable("Products");
    expectRefused([&] { db->deleteRow("Products", products.rowIds.front()); }, "Order Details");

    auto problems = checkIntegrity(*db);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ForeignTable theirs = readWithMdbExport(copy.path(), "Order Details");
    if (theirs.available) {
        ASSERT_TRUE(theirs.ok) << theirs.output;
        EXPECT_EQ(theirs.rows.size(), details - detailsOfFirst);
    }
    ForeignTable viaReader = readWithMdbReader(copy.path(), "Orders");
    if (viaReader.available) {
        ASSERT_TRUE(viaReader.ok) << viaReader.output;
        int n = 0;
        const int col = viaReader.column("CustomerID");
        for (const auto& r : viaReader.rows)
            n += r[col] == "ALFKZ";
        EXPECT_EQ(n, 6);
    }
}
