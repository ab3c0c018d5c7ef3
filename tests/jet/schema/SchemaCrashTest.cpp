// A crash or a full disk at every write of each schema change: after a restart the file is sound
// and holds the whole change or none of it; a reported failure leaves the file as it was.
#include <gtest/gtest.h>

#include "SimDisk.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "table/ColumnRules.h"

using namespace jet;
using namespace jettest;

namespace {

enum class Op {
    CreateTable,
    AddColumn,
    AddRequiredColumn,
    DropColumn,
    CreateIndex,
    DropIndex,
    DropTable
};
const std::vector<Op> kOps = {Op::CreateTable, Op::AddColumn, Op::AddRequiredColumn, Op::DropColumn,
                              Op::CreateIndex, Op::DropIndex, Op::DropTable};

const char* opName(Op op) {
    switch (op) {
        case Op::CreateTable:
            return "create table";
        case Op::AddColumn:
            return "add column";
        case Op::AddRequiredColumn:
            return "add required column";
        case Op::DropColumn:
            return "drop column";
        case Op::CreateIndex:
            return "create index";
        case Op::DropIndex:
            return "drop index";
        case Op::DropTable:
            return "drop table";
    }
    return "";
}

const std::vector<uint8_t>& baseImage() {
    static const std::vector<uint8_t> image = [] {
        SimDisk disk;
        disk.put("db", buildPeopleImage());
        auto db = openSim(disk);
        for (int i = 0; i < 30; ++i)
            db->insertRow("People", peopleRow(i, i == 1 ? 9000 : 20, i == 2 ? 5000 : 0));
        for (int i = 0; i < 300; ++i)
            db->insertRow("Keyed", {int32_t(i * 2), std::string(18, 'k'), DateTime{1.0 * i}});
        return disk.image(false).at("db");
    }();
    return image;
}

void apply(Database& db, Op op) {
    switch (op) {
        case Op::CreateTable: {
            NewTable t;
            t.name = "Fresh";
            NewColumn text{"Text", ColumnType::Text, 40};
            text.required = true;
            t.columns = {NewColumn{"Id", ColumnType::Long}, text,
                         NewColumn{"Memo", ColumnType::Memo}};
            NewIndex pk;
            pk.name = "PrimaryKey";
            pk.columns = {{"Id", true}};
            pk.primary = true;
            t.indexes = {pk};
            db.createTable(t);
            return;
        }
        case Op::AddColumn:
            db.addColumn("People", NewColumn{"Added", ColumnType::Double});
            return;
        case Op::AddRequiredColumn: {
            NewColumn c{"Checked", ColumnType::Bool};
            c.required = true;
            db.addColumn("Keyed", c);
            return;
        }
        case Op::DropColumn:
            db.dropColumn("People", "Notes");
            return;
        case Op::CreateIndex: {
            NewIndex x;
            x.name = "ByLabelStamp";
            x.columns = {{"Label", true}, {"Stamp", false}};
            db.createIndex("Keyed", x);
            return;
        }
        case Op::DropIndex:
            db.dropIndex("Keyed", "PrimaryKey");
            return;
        case Op::DropTable:
            db.dropTable("Keyed");
            return;
    }
}

// Tables, their fields and indexes, and every row: what a change must keep whole.
struct State {
    std::string layout;
    std::vector<std::vector<Value>> rows;
    bool operator==(const State&) const = default;
};

State state(Database& db) {
    State st;
    std::string& s = st.layout;
    for (const std::string& name : db.tableNames()) {
        TableData t = db.readTable(name);
        s += name + ":";
        const ColumnRules rules = ColumnRules::load(implOf(db), implOf(db).tableDef(name));
        for (size_t i = 0; i < t.def.columns.size(); ++i)
            s += t.def.columns[i].name + (rules.required(i) ? "!," : ",");
        for (const IndexDef& x : t.def.indexes)
            s += "#" + x.name;
        s += " rows " + std::to_string(t.rows.size()) + "\n";
        st.rows.insert(st.rows.end(), t.rows.begin(), t.rows.end());
    }
    return st;
}

}  // namespace

TEST(SchemaCrash, EveryCrashPointLeavesTheChangeWhollyThereOrWhollyAbsent) {
    for (Op op : kOps) {
        const CrashRuns runs = crashAtEveryWrite(
            baseImage(), opName(op),
            [op](Database& db) {
                apply(db, op);
                expectSound(db, opName(op));
            },
            state);
        EXPECT_GT(runs.writes, 3) << opName(op);
    }
}

TEST(SchemaCrash, AFullDiskAtAnyWriteLeavesTheFileAsItWas) {
    for (Op op : kOps) {
        for (int n = 1;; ++n) {
            const std::string where =
                std::string(opName(op)) + ", disk full at write " + std::to_string(n);
            SimDisk disk;
            disk.put("db", baseImage());
            disk.failAt(n);
            auto db = openSim(disk);
            const State before = state(*db);
            try {
                apply(*db, op);
                break;  // the change needed fewer writes
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), hr::kIoError) << where << ": " << e.what();
            }
            EXPECT_EQ(disk.current("db"), baseImage()) << where;
            EXPECT_EQ(state(*db), before) << where;
            db.reset();
            SimDisk restart = restartFrom(disk, true);
            auto re = openSim(restart);
            EXPECT_EQ(state(*re), before) << where;
            expectSound(*re, where);
            apply(*re, op);  // a new open makes the change
            ASSERT_LT(n, 400);
        }
    }
}
