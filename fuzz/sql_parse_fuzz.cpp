// libFuzzer target: any text read as a SQL statement, and a SELECT's condition worked out over
// a row of every kind of field. Refusals are jet::Error; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/Error.h"
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
