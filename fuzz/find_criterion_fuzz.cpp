// libFuzzer target: any text as the criterion of a recordset's Find, over a snapshot with a field
// of every kind and a row of nulls. A refusal is a ProviderError with a message; anything
// else (another exception, a crash, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "provider/FindCriterion.h"
#include "provider/ProviderError.h"
#include "provider/RowStore.h"

namespace {

using namespace tessor::provider;

void check(bool ok) {
    if (!ok) std::abort();
}

RowStore makeRows() {
    const std::pair<const char*, DataType> cols[] = {
        {"Name", DataType::VarWChar},      {"Qty", DataType::Integer},
        {"Order Date", DataType::Date},    {"Price", DataType::Currency},
        {"Paid", DataType::Boolean},       {"Ratio", DataType::Double},
        {"Note", DataType::LongVarWChar},  {"Small", DataType::SmallInt},
        {"Tiny", DataType::UnsignedTinyInt}, {"Id", DataType::Guid},
        {"Amount", DataType::Numeric},     {"Photo", DataType::LongVarBinary},
        {"Weight", DataType::Single},      {"Like This", DataType::VarWChar},
    };
    std::vector<ColumnInfo> infos;
    for (const auto& col : cols) {
        ColumnInfo c;
        c.name = col.first;
        c.type = col.second;
        c.definedSize = c.type == DataType::VarWChar ? 255 : 0;
        c.precision = 18;
        c.scale = 2;
        infos.push_back(c);
    }
    RowStore rows(infos);
    Decimal dec;
    dec.scale = 2;
    dec.magnitude[0] = 12345;
    const std::vector<Variant> values = {
        Variant("Caf\xc3\xa9 O'Brien [x]*"), Variant(int32_t(-7)),
        Variant(Date{43831.5}),             Variant(Currency{123456}),
        Variant(true),                      Variant(2.5),
        Variant("memo \xf0\x9f\x98\x80"),   Variant(int16_t(300)),
        Variant(uint8_t(200)),              Variant(Guid{}),
        Variant(dec),                       Variant(Bytes{1, 2, 3}),
        Variant(1.5f),                      Variant("like"),
    };
    rows.appendRow(values);
    const std::vector<Variant> nulls(values.size(), Variant::null());
    rows.appendRow(nulls);
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const RowStore rows = makeRows();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const FindCriterion criterion(text, rows);
        for (size_t r = 0; r < rows.rowCount(); ++r)
            criterion.matches(rows, r);
    } catch (const ProviderError& e) {
        check(*e.what() != '\0');
    }
    return 0;
}
