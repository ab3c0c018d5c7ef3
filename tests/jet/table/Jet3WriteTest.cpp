// Record changes in Access 97 files (2 KB pages, one-byte row offsets with jump tables, text in
// the code page, General 97 index keys). Random inserts, updates and deletes on copies of real
// files are checked against rows kept in memory: afterwards our reader, mdb-export and
// mdb-reader read exactly those rows, the integrity check finds nothing new and every index key
// equals the key built again from its row. A crash at any write leaves a change wholly there
// or wholly absent, and what this format cannot take yet is refused without a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "ForeignReaders.h"
#include "SimDisk.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "check/IndexChecker.h"
#include "index/IndexWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/SchemaChange.h"
#include "jet/ValueText.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> corpusImage(const std::string& file) {
    const fs::path p = corpusDir() / file;
    return fs::exists(p) ? readFileBytes(p) : std::vector<uint8_t>{};
}

// Records moved off their page by an update that grew them: slots of 2 KB data pages that
// point elsewhere.
int movedRecords(const std::vector<uint8_t>& image) {
    int moved = 0;
    for (size_t at = 2048; at + 2048 <= image.size(); at += 2048) {
        const uint8_t* p = image.data() + at;
        if (p[0] != 0x01 || (p[4] == 'L' && p[5] == 'V')) continue;
        const size_t slots = p[8] | p[9] << 8;
        for (size_t i = 0; i < slots && 10 + 2 * i + 1 < 2048; ++i)
            moved += ((p[10 + 2 * i + 1] << 8) & 0xC000) == 0x4000;
    }
    return moved;
}

struct ModelRow {
    RowId id;
    std::vector<Value> values;
};

struct Generator {
    std::mt19937 rng;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    // Text of the Windows-1252 code page: accents, the euro sign, German letters.
    std::string text(size_t maxChars) {
        static const char* alphabet[] = {"a", "B", "z", " ", "-", "1", "\xc3\xa9", "\xc3\x9f",
                                         "\xc3\x84", "\xe2\x82\xac", "\xc3\xbc", "Q"};
        std::string s;
        for (size_t n = size_t(pick(int(std::min<size_t>(maxChars, 24)) + 1)); n > 0; --n)
            s += alphabet[pick(12)];
        return s;
    }

    Value value(const ColumnDef& c) {
        if (c.type == ColumnType::Bool) return bool(pick(2));
        if (pick(6) == 0) return Value();
        switch (c.type) {
            case ColumnType::Byte: return uint8_t(pick(256));
            case ColumnType::Int: return int16_t(pick(60000) - 30000);
            case ColumnType::Long: return int32_t(pick(3000));  // unique indexes meet collisions
            case ColumnType::Money: return Currency{int64_t(pick(2000000)) - 1000000};
            case ColumnType::Float: return float(pick(100000)) / 8.0f;
            case ColumnType::Double: return double(pick(1 << 30)) / 1024.0;
            case ColumnType::DateTime: return DateTime{30000.0 + pick(20000) + pick(86400) / 86400.0};
            case ColumnType::Guid: {
                Guid g;
                for (auto& b : g.bytes)
                    b = uint8_t(pick(256));
                return g;
            }
            case ColumnType::Text: return text(c.length);
            case ColumnType::Memo: {
                // inline, one LVAL row, chains over several 2 KB pages
                const size_t sizes[] = {0, 10, 60, 200, 1900, 2100, 9000};
                const size_t n = sizes[pick(7)];
                return n < 100 ? text(n) : pattern(n, pick(26));
            }
            case ColumnType::Ole:
            case ColumnType::Binary: {
                const size_t sizes[] = {0, 10, 60, 500, 2040, 7000};
                size_t n = sizes[pick(6)];
                if (c.type == ColumnType::Binary) n = std::min<size_t>(n, c.length);
                return bytePattern(n, pick(100));
            }
            default: return Value();
        }
    }

    // Now and then a value some row already holds: keys of related tables, unique keys met.
    std::vector<Value> row(const TableDef& def, const std::vector<ModelRow>& model);
};

std::vector<Value> Generator::row(const TableDef& def, const std::vector<ModelRow>& model) {
    std::vector<Value> r;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const ColumnDef& c = def.columns[i];
        if (c.isAutoNumber())
            r.push_back(Value());
        else if (!model.empty() && c.type != ColumnType::Memo && c.type != ColumnType::Ole &&
                 pick(4) == 0)
            r.push_back(model[size_t(pick(int(model.size())))].values[i]);
        else
            r.push_back(value(c));
    }
    return r;
}

// A cell as both foreign readers print it, for the types whose form is plain.
std::string cellText(const Value& v, ColumnType type) {
    if (v.isNull()) return "";
    switch (type) {
        case ColumnType::Byte: return std::to_string(v.as<uint8_t>());
        case ColumnType::Int: return std::to_string(v.as<int16_t>());
        case ColumnType::Long: return std::to_string(v.as<int32_t>());
        case ColumnType::Text:
        case ColumnType::Memo: return v.as<std::string>();
        case ColumnType::Ole:
        case ColumnType::Binary: return upperHex(v.as<std::vector<uint8_t>>());
        default: return "?";
    }
}

bool plain(ColumnType t) {
    return t == ColumnType::Byte || t == ColumnType::Int || t == ColumnType::Long ||
           t == ColumnType::Text || t == ColumnType::Memo || t == ColumnType::Ole ||
           t == ColumnType::Binary;
}

// Every row the foreign reader read equals one of the model's, over the plain columns.
// The code page's unassigned bytes read as U+0080..U+009F here; mdbtools prints them as '?',
// mdb-reader as U+FFFD.
std::string asForeignPrints(const std::string& s, bool mdbtools) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (uint8_t(s[i]) == 0xC2 && i + 1 < s.size() && uint8_t(s[i + 1]) < 0xA0) {
            out += mdbtools ? "?" : "\xef\xbf\xbd";
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

void compareRows(const ForeignTable& t, const TableDef& def, const std::vector<ModelRow>& model,
                 const std::string& who, bool mdbtools) {
    ASSERT_TRUE(t.ok) << who << ": " << t.output.substr(0, 400);
    ASSERT_EQ(t.rows.size(), model.size()) << who;
    std::vector<std::string> theirs, ours;
    for (const auto& r : t.rows) {
        std::string sig;
        for (const ColumnDef& c : def.columns) {
            if (!plain(c.type)) continue;
            const int at = t.column(c.name);
            ASSERT_GE(at, 0) << who << ": no column " << c.name;
            std::string cell = r[size_t(at)];
            if (c.type == ColumnType::Ole || c.type == ColumnType::Binary)
                for (char& ch : cell)
                    ch = char(std::toupper(uint8_t(ch)));
            sig += cell + "\x1f";
        }
        theirs.push_back(sig);
    }
    for (const ModelRow& m : model) {
        std::string sig;
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (plain(def.columns[i].type))
                sig += asForeignPrints(cellText(m.values[i], def.columns[i].type), mdbtools) +
                       "\x1f";
        ours.push_back(sig);
    }
    std::sort(theirs.begin(), theirs.end());
    std::sort(ours.begin(), ours.end());
    for (size_t i = 0; i < ours.size(); ++i)
        ASSERT_EQ(theirs[i], ours[i]) << who << ": row " << i << " of the sorted rows";
}


// Returns whether the reader was there to compare with.
bool compareWithForeign(const ForeignTable& t, const TableDef& def,
                        const std::vector<ModelRow>& model, const std::string& who,
                        bool mdbtools) {
    if (!t.available) return false;
    compareRows(t, def, model, who, mdbtools);
    return true;
}

}  // namespace

TEST(Jet3Write, RandomChangesReadBackExactlyEverywhere) {
    if (corpusDir().empty()) GTEST_SKIP() << "no corpus";
    struct Case {
        const char* file;
        const char* table;
    };
    // Every Jet 3 type between them; rows past 256 bytes (jump tables), memos over several
    // pages, OLE values, unique and text indexes, a table with related tables.
    const Case cases[] = {
        {"jet3-jackcess-types.mdb", "Table1"},
        {"jet3-jackcess-msproject-ole.mdb", "MSP_PROJECTS"},
        {"jet3-pecl-bigmemo.mdb", "Tabelle1"},
        {"jet3-jackcess-indexcodes.mdb", "Table1"},
        {"jet3-jackcess-indexcodes.mdb", "Table2_desc"},
        {"jet3-jackcess-indexcodes.mdb", "Table5"},
        {"jet3-jackcess-indexcodes.mdb", "Table13_desc"},
        {"jet3-mdbtools-nwind.mdb", "Order Details"},
        {"jet3-mdbtools-nwind.mdb", "Customers"},
        {"jet3-jackcess-compindex.mdb", "Table1"},
        {"jet3-mdbtools-nwind.mdb", "Employees"},
    };
    Generator gen{std::mt19937(20261208)};
    std::map<ColumnType, int> typesWritten;
    int applied = 0, refused = 0, foreignReads = 0, moved = 0;
    for (const Case& c : cases) {
        const std::string where = std::string(c.file) + " / " + c.table;
        SimDisk disk;
        disk.put("db", corpusImage(c.file));
        if (disk.current("db").empty()) continue;
        auto db = openSim(disk);
        ASSERT_EQ(db->format(), Format::Jet3);
        const int movedBefore = movedRecords(disk.current("db"));
        const std::vector<std::string> known = checkIntegrity(*db);  // leftovers of the file
        const TableDef def = db->tableDef(c.table);
        std::vector<ModelRow> model;
        {
            TableData data = db->readTable(c.table);
            for (size_t i = 0; i < data.rows.size(); ++i)
                model.push_back({data.rowIds[i], data.rows[i]});
        }
        auto autoNumberOf = [&](std::vector<Value>& r) {
            for (size_t i = 0; i < def.columns.size(); ++i)
                if (def.columns[i].isAutoNumber())
                    r[i] = int32_t(db->tableDef(c.table).autoNumber);
        };
        for (int op = 0; op < 90; ++op) {
            const int kind = model.size() < 3 ? 0 : gen.pick(10);
            try {
                if (kind < 4) {
                    std::vector<Value> r = gen.row(def, model);
                    const RowId at = db->insertRow(c.table, r);
                    autoNumberOf(r);
                    // a Replication ID left empty is filled in by the database
                    db->forEachRow(c.table, [&](RowId id, const std::vector<Value>& stored) {
                        if (!(id == at)) return true;
                        for (size_t i = 0; i < def.columns.size(); ++i)
                            if (def.columns[i].isAutoGuid() && r[i].isNull()) r[i] = stored[i];
                        return false;
                    });
                    model.push_back({at, r});
                } else if (kind < 8) {
                    ModelRow& m = model[size_t(gen.pick(int(model.size())))];
                    std::vector<Value> r = gen.row(def, model);
                    for (size_t i = 0; i < def.columns.size(); ++i)
                        if (def.columns[i].isAutoNumber() || def.columns[i].isAutoGuid() ||
                            gen.pick(4) == 0)
                            r[i] = m.values[i];  // kept as it was
                    db->updateRow(c.table, m.id, r);
                    m.values = r;
                } else {
                    const size_t k = size_t(gen.pick(int(model.size())));
                    db->deleteRow(c.table, model[k].id);
                    model.erase(model.begin() + long(k));
                }
                ++applied;
            } catch (const Error& e) {
                // unique keys met, required fields left empty, rows of related tables
                const std::string what = e.what();
                ASSERT_TRUE(e.code() == index::kIntegrityViolation ||
                            (e.code() == hr::kInvalidArg &&
                             what.find("code page") == std::string::npos))
                    << where << ": " << what;
                ++refused;
            }
        }
        for (const ColumnDef& col : def.columns)
            ++typesWritten[col.type];

        TableData data = db->readTable(c.table);
        ASSERT_EQ(data.rows.size(), model.size()) << where;
        for (size_t i = 0; i < data.rows.size(); ++i) {
            auto it = std::find_if(model.begin(), model.end(),
                                   [&](const ModelRow& m) { return m.id == data.rowIds[i]; });
            ASSERT_NE(it, model.end()) << where;
            for (size_t k = 0; k < def.columns.size(); ++k)
                EXPECT_EQ(data.rows[i][k], it->values[k])
                    << where << " row " << i << " field " << def.columns[k].name << ": "
                    << ValueText::toText(data.rows[i][k]) << " read, "
                    << ValueText::toText(it->values[k])
                    << " written";
        }
        EXPECT_EQ(checkIntegrity(*db), known) << where;
        index::IndexCheckStats stats;
        EXPECT_TRUE(index::checkIndexes(*db, &stats).empty()) << where;
        EXPECT_EQ(stats.keyMismatches, 0u) << where;
        if (!def.indexes.empty()) {
            EXPECT_GT(stats.keysCompared, model.size()) << where;
        }

        db.reset();
        moved += movedRecords(disk.current("db")) - movedBefore;
        TempFile copy(disk.current("db"), "jet3.mdb");
        foreignReads += compareWithForeign(readWithMdbExport(copy.path(), c.table), def, model,
                           where + " mdb-export", true);
        foreignReads += compareWithForeign(readWithMdbReader(copy.path(), c.table), def, model,
                           where + " mdb-reader", false);
        // Opened again: the stored counts and maps are what a fresh open reads.
        auto again = openSim(disk, true);
        EXPECT_EQ(again->readTable(c.table).rows.size(), model.size()) << where;
    }
    // Every type of the format was written at least once.
    for (ColumnType t : {ColumnType::Bool, ColumnType::Byte, ColumnType::Int, ColumnType::Long,
                         ColumnType::Money, ColumnType::Float, ColumnType::Double,
                         ColumnType::DateTime, ColumnType::Text, ColumnType::Memo,
                         ColumnType::Ole, ColumnType::Guid})
        EXPECT_GT(typesWritten[t], 0) << columnTypeName(t);
    EXPECT_GT(applied, refused);
    EXPECT_GT(moved, 0);  // updates that outgrew their page were among them
    std::cout << applied << " changes applied, " << refused << " refused, " << moved
              << " records moved, " << foreignReads << " tables compared with a foreign reader\n";
}

TEST(Jet3Write, EveryCrashPointLeavesTheChangeWhollyThereOrWhollyAbsent) {
    const std::vector<uint8_t> image = corpusImage("jet3-pecl-bigmemo.mdb");
    if (image.empty()) GTEST_SKIP() << "no corpus";
    const std::string table = "Tabelle1";
    std::vector<RowId> ids;
    {
        SimDisk d;
        d.put("db", image);
        ids = openSim(d)->readTable(table).rowIds;
        ASSERT_GT(ids.size(), 2u);
    }
    // An insert with a memo over several pages, an update that moves the record, a delete.
    auto apply = [&](Database& db, int op) {
        if (op == 0) db.insertRow(table, {Value(), std::string("neu \xc3\xa4"), pattern(5000, 3)});
        if (op == 1) {
            std::vector<Value> row = db.readTable(table).rows[1];
            row[1] = std::string(50, 'x');
            row[2] = pattern(3000, 5);
            db.updateRow(table, ids[1], row);
        }
        if (op == 2) db.deleteRow(table, ids[2]);
    };
    for (int op = 0; op < 3; ++op) {
        SimDisk clean;
        clean.put("db", image);
        auto cleanDb = openSim(clean);
        const auto before = cleanDb->readTable(table).rows;
        apply(*cleanDb, op);
        const auto after = cleanDb->readTable(table).rows;
        ASSERT_NE(before, after);
        const int writes = clean.writes();
        ASSERT_GT(writes, 3) << op;
        for (bool keep : {false, true}) {
            for (int n = 1; n <= writes; ++n) {
                const std::string where = "change " + std::to_string(op) + ", crash at write " +
                                          std::to_string(n) + (keep ? ", unsynced kept" : "");
                SimDisk disk;
                disk.put("db", image);
                disk.crashAt(n);
                auto db = openSim(disk);
                EXPECT_THROW(apply(*db, op), Error) << where;
                db.reset();
                SimDisk restart = restartFrom(disk, keep);
                auto re = openSim(restart);
                EXPECT_FALSE(restart.exists("db-journal")) << where;
                expectSound(*re, where);
                const auto rows = re->readTable(table).rows;
                EXPECT_TRUE(rows == before || rows == after) << where;
            }
        }
    }
}

TEST(Jet3Write, WhatCannotBeStoredIsRefusedAndChangesNothing) {
    const std::vector<uint8_t> image = corpusImage("jet3-jackcess-types.mdb");
    if (image.empty()) GTEST_SKIP() << "no corpus";
    SimDisk disk;
    disk.put("db", image);
    auto db = openSim(disk);
    std::vector<Value> row = db->readTable("Table1").rows.front();
    auto withText = [&](const std::string& a) {
        std::vector<Value> r = row;
        r[0] = a;
        r[1] = std::string("other");
        return r;
    };
    NewColumn extra;
    extra.name = "Extra";
    struct Case {
        const char* what;
        std::function<void()> change;
        std::vector<std::string> sentence;  // fragments of the refusal
    };
    const Case cases[] = {
        {"a Greek letter",
         [&] { db->insertRow("Table1", withText("caf\xc3\xa9 \xce\xa9")); },
         {"field 'A'", "'\xce\xa9' (U+03A9)", "code page"}},
        {"a Chinese character in an update",
         [&] { db->updateRow("Table1", db->readTable("Table1").rowIds.front(), withText("\xe4\xb8\xad")); },
         {"field 'A'", "U+4E2D", "code page"}},
        {"create a table", [&] { db->createTable(NewTable{"New", {extra}, {}}); },
         {"Access 97", "design"}},
        {"add a field", [&] { db->addColumn("Table1", extra); }, {"Access 97"}},
        {"drop a field", [&] { db->dropColumn("Table1", "B"); }, {"Access 97"}},
        {"drop a table", [&] { db->dropTable("Table2"); }, {"Access 97"}},
        {"create an index",
         [&] { db->createIndex("Table1", NewIndex{"ByB", {{"B", true}}}); }, {"Access 97"}},
        {"set a password", [&] { db->changePassword("", "secret"); }, {"Access 97", "password"}},
    };
    for (const Case& c : cases) {
        const std::string sentence = refusal(disk, c.change, c.what);
        for (const std::string& part : c.sentence)
            EXPECT_NE(sentence.find(part), std::string::npos) << c.what << ": " << sentence;
    }
    // A field the table's properties mark Required (Access 97 property form) takes no null.
    const std::vector<uint8_t> nwind = corpusImage("jet3-mdbtools-nwind.mdb");
    if (!nwind.empty()) {
        SimDisk other;
        other.put("db", nwind);
        auto northwind = openSim(other);
        const TableDef details = northwind->tableDef("Order Details");
        std::vector<Value> line = northwind->readTable("Order Details").rows.front();
        for (size_t i = 0; i < details.columns.size(); ++i)
            if (details.columns[i].name == "Discount") line[i] = Value();
        const std::string sentence = refusal(
            other, [&] { northwind->insertRow("Order Details", line); }, "a required field");
        EXPECT_NE(sentence.find("'Order Details.Discount'"), std::string::npos) << sentence;
        EXPECT_NE(sentence.find("Required"), std::string::npos) << sentence;
    }
    // The same text in the code page is stored and reads back.
    ASSERT_NO_THROW(db->insertRow("Table1", withText("caf\xc3\xa9 \xe2\x82\xac")));
    bool found = false;
    for (const auto& r : db->readTable("Table1").rows)
        found = found || r[0] == Value(std::string("caf\xc3\xa9 \xe2\x82\xac"));
    EXPECT_TRUE(found);
}
