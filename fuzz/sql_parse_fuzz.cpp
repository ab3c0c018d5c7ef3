// libFuzzer target: any text read as a SQL statement, and a SELECT's condition worked out over
// a row of every kind of field; a SELECT is also run whole (totals, groups, DISTINCT, TOP,
// ORDER BY) over a table of that shape in a database held in memory, with repeated values and
// nulls. Refusals are jet::Error; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "create/NewDatabaseWriter.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"
#include "sql/Evaluator.h"
#include "sql/Parser.h"
#include "sql/ValueConverter.h"

namespace {

jet::TableDef makeTable() {
    jet::TableDef t;
    t.name = "T";
    const std::pair<const char*, jet::ColumnType> cols[] = {
        {"A", jet::ColumnType::Long},     {"B", jet::ColumnType::Text},
        {"C", jet::ColumnType::DateTime}, {"D", jet::ColumnType::Bool},
        {"E", jet::ColumnType::Money},    {"F", jet::ColumnType::Numeric},
        {"G", jet::ColumnType::Guid},     {"H", jet::ColumnType::Ole},
    };
    uint16_t id = 0;
    for (const auto& [name, type] : cols) {
        jet::ColumnDef c;
        c.name = name;
        c.type = type;
        c.id = id++;
        c.precision = 10;
        c.scale = 2;
        t.columns.push_back(c);
    }
    return t;
}

// T with the fields above and rows that repeat values and hold nulls, in memory. Only SELECTs
// run on it, so every input sees the same rows.
jet::Database& sampleDatabase() {
    static jet::MemoryFile* memory = nullptr;
    static const std::unique_ptr<jet::Database> db = [] {
        auto d = jet::NewDatabaseWriter::openImage(
            jet::NewDatabaseWriter::image(jet::NewDatabase{}, 45000.0), "", &memory);
        jet::sql::execute(*d,
                          "CREATE TABLE T (A LONG, B TEXT(50), C DATETIME, D BIT, E CURRENCY, "
                          "F DECIMAL(10, 2), G GUID, H LONGBINARY)");
        const char* const rows[] = {
            "INSERT INTO T (A, B, C, D, E, F) VALUES (-7, 'Caf\xc3\xa9', #1/2/2003#, -1, 12.3456, "
            "123.45)",
            "INSERT INTO T (A, B, C, D, E, F) VALUES (-7, 'cafe', #1/2/2003 10:00 PM#, 0, 0.5, -1)",
            "INSERT INTO T (A, B, E) VALUES (3, 'CAF\xc3\x89', 922337203685477.5807)",
            "INSERT INTO T (A, B, E) VALUES (2147483647, '', -922337203685477.5808)",
            "INSERT INTO T (A, G) VALUES (0, '{01234567-89AB-CDEF-0123-456789ABCDEF}')",
            "INSERT INTO T (B) VALUES (NULL)",
        };
        for (const char* row : rows) jet::sql::execute(*d, row);
        return d;
    }();
    return *db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const jet::TableDef table = makeTable();
    static const std::vector<jet::Value> row = {
        jet::Value(int32_t(-7)),           jet::Value(std::string("Caf\xc3\xa9 [x]*")),
        jet::Value(jet::DateTime{-1.25}),  jet::Value(true),
        jet::Value(jet::Currency{123456}), jet::Value(jet::Decimal{0, 12345, true, 10, 2}),
        jet::Value(jet::Guid{}),           jet::Value(std::vector<uint8_t>{1, 2, 3}),
    };
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        jet::sql::Statement s = jet::sql::Parser::parse(text);
        jet::sql::Evaluator ev(&table, jet::index::TextSortOrder::GeneralLegacy);
        if (auto* sel = std::get_if<jet::sql::SelectStatement>(&s); sel && sel->where) {
            ev.bind(*sel->where);
            ev.test(*sel->where, row);
        }
        if (std::holds_alternative<jet::sql::SelectStatement>(s))
            jet::sql::execute(sampleDatabase(), text);
        if (auto* upd = std::get_if<jet::sql::UpdateStatement>(&s)) {
            for (auto& a : upd->assignments) {
                const jet::ColumnDef* c = table.findColumn(a.column);
                if (!c) continue;
                ev.bind(*a.value);
                jet::sql::ValueConverter::toColumn(ev.evaluate(*a.value, row), *c, table.name);
            }
        }
    } catch (const jet::Error&) {
    }
    return 0;
}
