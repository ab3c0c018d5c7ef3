// The programs behind bench/write_bench.py: the files for the import benchmark, SQLite doing the
// same import, and single-row updates on both.
//
//   write_bench setup DB.mdb ROWS.csv ROWS     an empty Items table (primary key on the Long Id,
//                                             an index on the Text Name) and ROWS rows of CSV
//   write_bench sqlite-import DB.sqlite ROWS.csv   the same table in SQLite, the rows inserted in
//                                             one transaction
//   write_bench jet-update DB.mdb COUNT FIELD       COUNT single-row updates, each its own change
//   write_bench sqlite-update DB.sqlite COUNT FIELD COUNT autocommit UPDATEs
//
// FIELD is qty (a field no index covers) or name (the indexed text). The update programs print
// "updates N ms T" with the time of the updates alone.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "CsvReader.h"
#include "CsvWriter.h"
#include "Jet4ImageBuilder.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace {

using Clock = std::chrono::steady_clock;
using jet::ColumnType;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A name that sorts far from its neighbours' so that the text index sees inserts all over.
std::string itemName(uint32_t i, uint32_t salt) {
    uint32_t h = (i + 1) * 2654435761u ^ salt * 40503u;
    std::string s = "item ";
    for (int k = 0; k < 6; ++k, h /= 26)
        s.push_back(char('a' + h % 26));
    return s + " " + std::to_string(i);
}

int setup(const std::string& dbPath, const std::string& csvPath, long rows) {
    jettest::Jet4ImageBuilder b;
    const int items = b.addTable("Items",
                                 {{"Id", ColumnType::Long},
                                  {"Name", ColumnType::Text, false, 120},
                                  {"Qty", ColumnType::Int},
                                  {"Price", ColumnType::Money},
                                  {"Added", ColumnType::DateTime},
                                  {"Note", ColumnType::Text, false, 200},
                                  {"City", ColumnType::Text, false, 60},
                                  {"Score", ColumnType::Double},
                                  {"Active", ColumnType::Bool},
                                  {"Ref", ColumnType::Long}},
                                 {{"PrimaryKey", {{0, true}}, 0x01, jet::IndexKind::Primary},
                                  {"Name", {{1, true}}, 0x00, jet::IndexKind::Normal}});
    // Maps wide enough for about 24 MB up front, so that no map is rebuilt during the import.
    b.setMapReach(items, 6144);
    const std::vector<uint8_t> image = b.build();
    std::ofstream(dbPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    tessor::csv::CsvWriter writer;
    static const char* const kCities[] = {"Berlin", "Lyon", "Porto", "Graz", "Turku",
                                          "Gdansk", "Aarhus", "Brno"};
    std::string out = "Id,Name,Qty,Price,Added,Note,City,Score,Active,Ref\n";
    std::vector<jet::Value> row(10);
    for (long i = 0; i < rows; ++i) {
        const auto u = uint32_t(i);
        row[0] = int32_t(i + 1);
        row[1] = itemName(u, 0);
        row[2] = int16_t(i % 1000);
        row[3] = jet::Currency{int64_t(u * 37u % 10000000u)};
        row[4] = jet::DateTime{40000.0 + double(i / 24) + double(i % 24) / 24.0};
        row[5] = i % 5 == 0 ? jet::Value() : jet::Value("note for item " + std::to_string(i));
        row[6] = std::string(kCities[u % 8]);
        row[7] = double(u % 9973) / 7.0;
        row[8] = u % 3 == 0;
        row[9] = int32_t(u * 7u % 50000u);
        writer.appendRow(out, row);
    }
    std::ofstream(csvPath, std::ios::binary).write(out.data(), std::streamsize(out.size()));
    return 0;
}

void check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// SQLite with the promise our commits keep: a committed change survives a power loss (a
// rollback journal that is deleted at commit, every sync done in full).
sqlite3* openSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path);
    check(db,
          sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;", nullptr,
                       nullptr, nullptr),
          "pragma");
    return db;
}

int sqliteImport(const std::string& dbPath, const std::string& csvPath) {
    std::filesystem::remove(dbPath);
    sqlite3* db = openSqlite(dbPath);
    check(db,
          sqlite3_exec(db,
                       "CREATE TABLE Items (Id INTEGER PRIMARY KEY, Name TEXT, Qty INTEGER, "
                       "Price NUMERIC, Added TEXT, Note TEXT, City TEXT, Score REAL, "
                       "Active INTEGER, Ref INTEGER);"
                       "CREATE INDEX Name ON Items (Name);",
                       nullptr, nullptr, nullptr),
          "create");
    std::FILE* in = std::fopen(csvPath.c_str(), "rb");
    if (!in) throw std::runtime_error("cannot open " + csvPath);
    tessor::csv::CsvReader reader(in);
    std::vector<tessor::csv::CsvReader::Field> fields;
    reader.next(fields);  // header
    sqlite3_stmt* insert = nullptr;
    check(
        db,
        sqlite3_prepare_v2(db, "INSERT INTO Items VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr),
        "prepare");
    check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), "begin");
    while (reader.next(fields)) {
        for (size_t k = 0; k < fields.size(); ++k) {
            if (fields[k].text.empty() && !fields[k].quoted)
                sqlite3_bind_null(insert, int(k + 1));
            else
                sqlite3_bind_text(insert, int(k + 1), fields[k].text.data(),
                                  int(fields[k].text.size()), SQLITE_STATIC);
        }
        check(db, sqlite3_step(insert), "insert");
        sqlite3_reset(insert);
    }
    check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    sqlite3_finalize(insert);
    std::fclose(in);
    sqlite3_close(db);
    return 0;
}

// Which rows the i-th update touches: spread over the table, none twice in a row.
uint32_t pick(uint32_t i, uint32_t rows) {
    return uint32_t((uint64_t(i) * 7919u + 13u) % rows);
}

int jetUpdate(const std::string& dbPath, long count, const std::string& field) {
    jet::OpenOptions options;
    options.readOnly = false;
    auto db = jet::Database::open(dbPath, options);
    std::vector<jet::RowId> ids;
    std::vector<std::vector<jet::Value>> rows;
    db->forEachRow("Items", [&](jet::RowId id, const std::vector<jet::Value>& row) {
        ids.push_back(id);
        rows.push_back(row);
        return true;
    });
    if (ids.empty()) throw std::runtime_error("Items is empty");
    const auto start = Clock::now();
    for (long i = 0; i < count; ++i) {
        const uint32_t r = pick(uint32_t(i), uint32_t(ids.size()));
        std::vector<jet::Value>& row = rows[r];
        if (field == "name")
            row[1] = itemName(r, uint32_t(i + 1));
        else
            row[2] = int16_t((row[2].as<int16_t>() + 1) % 30000);
        db->updateRow("Items", ids[r], row);
    }
    std::printf("updates %ld ms %.1f\n", count, msSince(start));
    return 0;
}

int sqliteUpdate(const std::string& dbPath, long count, const std::string& field) {
    sqlite3* db = openSqlite(dbPath);
    sqlite3_stmt* count0 = nullptr;
    check(db, sqlite3_prepare_v2(db, "SELECT count(*) FROM Items", -1, &count0, nullptr), "count");
    check(db, sqlite3_step(count0), "count");
    const auto rows = uint32_t(sqlite3_column_int64(count0, 0));
    sqlite3_finalize(count0);
    if (rows == 0) throw std::runtime_error("Items is empty");
    sqlite3_stmt* update = nullptr;
    const char* sql = field == "name" ? "UPDATE Items SET Name = ? WHERE Id = ?"
                                      : "UPDATE Items SET Qty = (Qty + 1) % 30000 WHERE Id = ?";
    check(db, sqlite3_prepare_v2(db, sql, -1, &update, nullptr), "prepare");
    const auto start = Clock::now();
    std::string name;
    for (long i = 0; i < count; ++i) {
        const uint32_t r = pick(uint32_t(i), rows);
        int at = 1;
        if (field == "name") {
            name = itemName(r, uint32_t(i + 1));
            sqlite3_bind_text(update, at++, name.data(), int(name.size()), SQLITE_STATIC);
        }
        sqlite3_bind_int64(update, at, int64_t(r) + 1);
        check(db, sqlite3_step(update), "update");
        sqlite3_reset(update);
    }
    std::printf("updates %ld ms %.1f\n", count, msSince(start));
    sqlite3_finalize(update);
    sqlite3_close(db);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() == 4 && a[0] == "setup") return setup(a[1], a[2], std::stol(a[3]));
        if (a.size() == 3 && a[0] == "sqlite-import") return sqliteImport(a[1], a[2]);
        if (a.size() == 4 && a[0] == "jet-update") return jetUpdate(a[1], std::stol(a[2]), a[3]);
        if (a.size() == 4 && a[0] == "sqlite-update")
            return sqliteUpdate(a[1], std::stol(a[2]), a[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "write_bench: %s\n", e.what());
        return 1;
    }
    std::fputs(
        "usage: write_bench setup DB.mdb ROWS.csv ROWS | sqlite-import DB.sqlite ROWS.csv |\n"
        "       jet-update DB.mdb COUNT qty|name | sqlite-update DB.sqlite COUNT qty|name\n",
        stderr);
    return 2;
}
