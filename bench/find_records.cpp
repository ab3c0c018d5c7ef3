// Times a recordset's Find over 100,000 records for a value only the last record holds, by
// each kind of criterion the find dialog makes (a whole text, a text within, a number), beside
// a plain loop over the same snapshot that does the least such a search can do: the equality
// of bytes, or of the number, field by field. The criterion is read once per Find; each record
// then costs the field's key in the database's order (the literal's is made once).
//   find_bench [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Median.h"
#include "provider/Recordset.h"
#include "provider/RowStore.h"

using namespace tessor::provider;

namespace {

constexpr int kRows = 100000;

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// People(ID, First, Last, City, Score): Last and ID are unique, the last record's last.
std::unique_ptr<RowStore> people() {
    std::vector<ColumnInfo> cols = {{"ID", DataType::Integer},
                                    {"First", DataType::VarWChar},
                                    {"Last", DataType::VarWChar},
                                    {"City", DataType::VarWChar},
                                    {"Score", DataType::Double}};
    auto store = std::make_unique<RowStore>(cols);
    const char* firsts[] = {"Anna", "Benedikt", "Chloé", "Dmitri", "Eva", "François"};
    const char* cities[] = {"Berlin", "Zürich", "Paris", "Wien", "København"};
    std::vector<Variant> row(cols.size());
    store->reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        row[0] = Variant(int32_t{i + 1});
        row[1] = Variant(firsts[i % 6]);
        row[2] = Variant("Surname" + std::to_string(i));
        row[3] = Variant(cities[i % 5]);
        row[4] = Variant(i * 0.25);
        store->appendRow(row);
    }
    return store;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    auto rs = Recordset::create();
    rs->openSnapshot(people());
    const RowStore& store = *rs->rows();
    const std::string last = "Surname" + std::to_string(kRows - 1);
    const long lastPosition = kRows - 1;

    struct Case {
        const char* what;
        std::string criterion;
        std::vector<double> find, loop;
    };
    std::vector<Case> cases = {
        {"Last = 'surname99999'", "Last = 'surname" + std::to_string(kRows - 1) + "'", {}, {}},
        {"Last like '*name99999*'", "Last like '*name" + std::to_string(kRows - 1) + "*'", {}, {}},
        {"ID = 100000", "ID = " + std::to_string(kRows), {}, {}},
    };
    for (int r = 0; r < runs; ++r) {
        for (size_t c = 0; c < cases.size(); ++c) {
            Case& k = cases[c];
            rs->moveFirst();
            auto t0 = std::chrono::steady_clock::now();
            rs->find(k.criterion, 0);
            k.find.push_back(msSince(t0));
            if (rs->isEOF() || rs->position() != lastPosition) {
                std::fprintf(stderr, "%s: found the wrong record\n", k.what);
                return 1;
            }
            // The plain loop: exact bytes for the texts, the number for the ID.
            t0 = std::chrono::steady_clock::now();
            long found = -1;
            for (size_t row = 0; row < store.rowCount() && found < 0; ++row) {
                if (c == 2) {
                    double v = 0;
                    if (store.value(row, 0).numeric(v) && v == kRows) found = long(row);
                } else if (c == 1 ? store.bytes(row, 2).find(last.substr(4)) != std::string::npos
                                  : store.bytes(row, 2) == last) {
                    found = long(row);
                }
            }
            k.loop.push_back(msSince(t0));
            if (found != lastPosition) {
                std::fprintf(stderr, "%s: the plain loop found the wrong record\n", k.what);
                return 1;
            }
        }
    }
    std::printf("Find over %d records, the value in the last one; median of %d runs\n", kRows,
                runs);
    std::printf("  %-28s %10s %12s\n", "criterion", "Find", "plain loop");
    for (const Case& k : cases)
        std::printf("  %-28s %7.2f ms %9.2f ms\n", k.what, median(k.find), median(k.loop));
    return 0;
}
