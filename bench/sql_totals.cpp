// Totals through SQL over a 100,000-row table: Count, GROUP BY with Sum/Avg/Min/Max, HAVING,
// DISTINCT and TOP, each the median of several runs on a file made first with the engine.
//
//   sql_totals_bench [ROWS] [RUNS]      defaults 100000 and 7
//
// Prints one line per statement: median ms and the number of result rows.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Jet4ImageBuilder.h"
#include "jet/Database.h"
#include "jet/Sql.h"

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    using jet::ColumnType;
    const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const auto dir = std::filesystem::temp_directory_path() / "sql-totals-bench";
    std::filesystem::create_directories(dir);
    const auto file = dir / "totals.mdb";
    std::filesystem::remove(file);
    {
        jettest::Jet4ImageBuilder b;
        b.addTable("Sales", {{"Id", ColumnType::Long},
                             {"Region", ColumnType::Text, false, 40},
                             {"Qty", ColumnType::Long},
                             {"Price", ColumnType::Money},
                             {"Day", ColumnType::DateTime}});
        const std::vector<uint8_t> image = b.build();
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        jet::OpenOptions o;
        o.readOnly = false;
        auto db = jet::Database::open(file, o);
        const char* regions[] = {"North", "South", "East", "West", "Centre", "Islands"};
        db->transact([&] {
            for (long i = 0; i < rows; ++i)
                db->insertRow("Sales", {jet::Value(int32_t(i)),
                                        jet::Value(std::string(regions[i % 6]) + " " +
                                                   std::to_string(i % 50)),
                                        i % 11 == 0 ? jet::Value() : jet::Value(int32_t(i % 97)),
                                        jet::Value(jet::Currency{(i * 7919) % 1000000}),
                                        jet::Value(jet::DateTime{45000.0 + double(i % 365)})});
        });
    }
    auto db = jet::Database::open(file);
    const char* statements[] = {
        "SELECT Count(*) FROM Sales",
        "SELECT Count(Qty), Sum(Qty), Avg(Price), Min(Day), Max(Day) FROM Sales",
        "SELECT Region, Count(*), Sum(Price), Avg(Qty) FROM Sales GROUP BY Region",
        "SELECT Region, Count(*) AS N FROM Sales WHERE Qty > 10 GROUP BY Region "
        "HAVING Count(*) > 100 ORDER BY Count(*) DESC",
        "SELECT DISTINCT Qty FROM Sales",
        "SELECT TOP 10 Id, Price FROM Sales ORDER BY Price DESC",
    };
    std::printf("%ld rows, median of %d runs\n", rows, runs);
    for (const char* s : statements) {
        std::vector<double> ms;
        size_t count = 0;
        for (int r = 0; r < runs; ++r) {
            const auto start = Clock::now();
            count = jet::sql::execute(*db, s).rows.size();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%8.1f ms  %6zu rows  %s\n", ms[ms.size() / 2], count, s);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
