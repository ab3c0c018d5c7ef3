#pragma once

#include <memory>
#include <vector>

#include "provider/Recordset.h"
#include "provider/RowStore.h"

namespace tessor::provider::testing {

// A small table of people, built through the same store a table open fills.
//   pos ID  Name     City     Born        Active  Score
//   0   1   anna     Berlin   1980-01-02  yes     1.5
//   1   2   Bob      Paris    1899-12-29  no      null
//   2   3   Anna     berlin   null        yes     -2
//   3   4   null     Rome     1970-06-30  no      7
//   4   5   carl     null     1899-12-30 12:00 no 0
//   5   6   ANNA     Paris    2001-09-09  yes     1.5
//   6   7   O'Brien  Rome     1800-01-01  no      3
inline std::unique_ptr<RowStore> peopleStore() {
    std::vector<ColumnInfo> cols(6);
    cols[0] = {"ID", DataType::Integer, 4};
    cols[1] = {"Name", DataType::VarWChar, 50};
    cols[2] = {"City", DataType::VarWChar, 50};
    cols[3] = {"Born", DataType::Date, 8};
    cols[4] = {"Active", DataType::Boolean, 2};
    cols[5] = {"Score", DataType::Double, 8};
    auto store = std::make_unique<RowStore>(cols);
    auto row = [&](int32_t id, Variant name, Variant city, Variant born, bool active,
                   Variant score) {
        const Variant r[] = {Variant(id), name, city, born, Variant(active), score};
        store->appendRow(r);
    };
    const Variant null = Variant::null();
    row(1, Variant("anna"), Variant("Berlin"), Variant(Date{29222.0}), true, Variant(1.5));
    row(2, Variant("Bob"), Variant("Paris"), Variant(Date{-1.0}), false, null);
    row(3, Variant("Anna"), Variant("berlin"), null, true, Variant(-2.0));
    row(4, null, Variant("Rome"), Variant(Date{25749.0}), false, Variant(7.0));
    row(5, Variant("carl"), null, Variant(Date{-0.5}), false, Variant(0.0));
    row(6, Variant("ANNA"), Variant("Paris"), Variant(Date{37143.0}), true, Variant(1.5));
    row(7, Variant("O'Brien"), Variant("Rome"), Variant(Date{-36522.0}), false, Variant(3.0));
    return store;
}

inline std::shared_ptr<Recordset> people() {
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->openSnapshot(peopleStore());
    return rs;
}

// The IDs in the recordset's current order.
inline std::vector<int32_t> ids(const Recordset& rs) {
    std::vector<int32_t> out;
    for (long p = 0; p < rs.recordCount(); ++p)
        out.push_back(rs.valueAt(p, 0).toInt32());
    return out;
}

}  // namespace tessor::provider::testing
