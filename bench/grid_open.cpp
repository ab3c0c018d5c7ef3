// Times the record grid: opening the largest table of the real databases in a record view,
// the first paint, and going to the last record and painting there; then the same over a
// generated 100k-row table. Offscreen, painting into an image (QWidget::grab). The grid's
// Refresh (re-reading the recordset and sizing the columns) is also timed on its own: on the
// real table as a second Refresh of the opened grid, on the generated one as part of opening.
//   grid_open_bench [<corpus dir>] [runs]
//   grid_open_bench --table FILE TABLE [runs]
//   grid_open_bench --memory [<corpus dir>]
// The corpus dir defaults to $TESSOR_SHARED_DIR/testdata/mdb. With --table, only that table is
// opened in a record view, and the line printed is "open+paint ms M rss-growth KiB K
// snapshot/data R cpu ms C": the median time from the open to the first paint done, the growth
// of the resident set that the first open left (the snapshot, the grid and what they cached),
// the snapshot's heap over the bytes of its values, and the median CPU time of the open.
// With --memory, every user table of every database in the corpus is read into a snapshot, as
// the record view reads it, one line each: "R FILE TABLE (N rows, C columns, D bytes of values,
// H of heap, E empty, rows' share S)", R = H / D, E the heap of an empty store of the same
// columns, S = (H - E) / D; the last line names the worst. A file that does not open
// read-only without a password is named and left out.

// The provider's headers come before Qt's, whose keyword macros would rewrite names in them.
#include "provider/Connection.h"
#include "provider/Constants.h"
#include "provider/Recordset.h"
#include "provider/RowStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "Median.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"

using namespace tessor::provider;

namespace {

struct Times {
    double open = 0, refresh = 0, firstPaint = 0, toEnd = 0, lastPaint = 0;
};

double msSince(QElapsedTimer& t) {
    const double ms = t.nsecsElapsed() / 1e6;
    t.restart();
    return ms;
}

// Paints the grid as the screen would, then goes to the last record and paints again.
void paintAndScroll(CDataGrid& grid, Times& t, QElapsedTimer& timer) {
    grid.grab();
    t.firstPaint = msSince(timer);
    grid.SetRow(grid.GetApproxCount() - 1);
    QCoreApplication::processEvents();
    t.toEnd = msSince(timer);
    grid.grab();
    t.lastPaint = msSince(timer);
}

void report(const char* what, long rows, const std::vector<Times>& runs) {
    auto pick = [&](double Times::*field) {
        std::vector<double> v;
        for (const Times& t : runs)
            v.push_back(t.*field);
        return median(v);
    };
    std::printf("| %s | %ld | %.1f | %.1f | %.1f | %.1f | %.1f |\n", what, rows, pick(&Times::open),
                pick(&Times::refresh), pick(&Times::firstPaint), pick(&Times::toEnd),
                pick(&Times::lastPaint));
}

std::unique_ptr<RowStore> generated(int rows) {
    std::vector<ColumnInfo> cols = {
        {"ID", DataType::Integer, 4},     {"Name", DataType::VarWChar, 50},
        {"City", DataType::VarWChar, 50}, {"Price", DataType::Currency, 8},
        {"Born", DataType::Date, 8},      {"Picture", DataType::VarWChar, 255}};
    auto store = std::make_unique<RowStore>(cols);
    store->reserve(rows);
    std::vector<Variant> v(cols.size());
    for (int r = 0; r < rows; ++r) {
        v[0] = Variant(int32_t(r + 1));
        v[1] = Variant("Card holder " + std::to_string(r));
        v[2] = Variant(r % 7 == 0 ? std::string("Berlin") : std::string("Paris"));
        v[3] = Variant(Currency{int64_t(r) * 125});
        v[4] = Variant(Date{30000.0 + r % 9000});
        v[5] = Variant("photos/card" + std::to_string(r) + ".jpg");
        store->appendRow(v);
    }
    return store;
}

// CPU time of this thread (user and system), steadier than the wall clock on a busy machine.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long residentKiB() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    long size = 0, resident = 0;
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * 4;
}

int openOneTable(const QString& path, const QString& table, int runs) {
    std::vector<double> times;
    std::vector<double> cpuTimes;
    long growth = 0;
    double snapshot = 0;
    for (int i = 0; i < runs; ++i) {
        const long before = residentKiB();
        CRecordsetView view;
        view.resize(1000, 700);
        view.show();
        view.OnInitialUpdate();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        const double cpuBefore = cpuMs();
        timer.start();
        if (!view.OpenRecordset(path, table, {})) return 1;
        view.GetGrid().grab();
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpuTimes.push_back(cpuMs() - cpuBefore);
        if (i == 0) growth = residentKiB() - before;
        if (auto rs = view.GetRecordset(); rs && rs->dataBytes() > 0)
            snapshot = double(rs->memoryBytes()) / double(rs->dataBytes());
    }
    std::printf("open+paint ms %.1f rss-growth KiB %ld snapshot/data %.2f cpu ms %.1f\n",
                median(times), growth, snapshot, median(cpuTimes));
    return 0;
}

// The largest share of a snapshot's heap over its values among the corpus's tables.
int corpusMemory(const QString& corpus) {
    namespace ado = tessor::provider::ado;
    double worst = 0;
    std::string worstTable;
    int tables = 0;
    const QStringList files = QDir(corpus).entryList({QStringLiteral("*.mdb")}, QDir::Files,
                                                     QDir::Name);
    for (const QString& name : files) {
        const QString path = corpus + QLatin1Char('/') + name;
        std::shared_ptr<Connection> c = Connection::create();
        std::vector<std::string> names;
        try {
            c->setMode(ado::kModeRead);
            c->open(CRecordsetView::ConnectionText(path, {}).toStdString(), "", "", -1);
            auto list = c->openSchema(ado::kSchemaTables);
            for (; !list->isEOF(); list->moveNext())
                if (list->fields().item("TABLE_TYPE").text() == "TABLE")
                    names.push_back(list->fields().item("TABLE_NAME").text());
        } catch (const std::exception& e) {
            std::printf("left out %s: %s\n", qPrintable(name), e.what());
            continue;
        }
        for (const std::string& table : names) {
            auto rs = Recordset::create();
            try {
                rs->setCursorLocation(ado::kUseClient);
                rs->open("[" + table + "]", c, ado::kOpenStatic, ado::kLockReadOnly,
                         ado::kCmdTable);
            } catch (const std::exception& e) {
                std::printf("left out %s %s: %s\n", qPrintable(name), table.c_str(), e.what());
                continue;
            }
            ++tables;
            const size_t data = rs->dataBytes(), heap = rs->memoryBytes();
            if (data == 0) continue;
            const size_t empty = RowStore(rs->columns()).memoryBytes();
            const double ratio = double(heap) / double(data);
            std::printf("%.2f %s %s (%ld rows, %zu columns, %zu bytes of values, %zu of heap, "
                        "%zu empty, rows' share %.2f)\n",
                        ratio, qPrintable(name), table.c_str(), rs->recordCount(),
                        rs->columns().size(), data, heap, empty, double(heap - empty) / data);
            if (ratio > worst) {
                worst = ratio;
                worstTable = name.toStdString() + " " + table;
            }
        }
    }
    std::printf("%d tables; worst snapshot/data %.2f (%s)\n", tables, worst, worstTable.c_str());
    return tables > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 3 && std::string(argv[1]) == "--table")
        return openOneTable(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                            argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
    const bool memory = argc > 1 && std::string(argv[1]) == "--memory";
    if (memory) {
        --argc;
        ++argv;
    }
    QString corpus = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (corpus.isEmpty()) {
        const QByteArray shared = qgetenv("TESSOR_SHARED_DIR");
        corpus = QString::fromLocal8Bit(shared.isEmpty() ? QByteArray("/work/shared") : shared) +
                 QStringLiteral("/testdata/mdb");
    }
    if (memory) return corpusMemory(corpus);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

    std::printf(
        "| table | rows | open ms | Refresh ms | first paint ms | to last row ms | paint at end "
        "ms |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");

    const QString file = corpus + QStringLiteral("/jet4-northwind-statdata.mdb");
    if (QFile::exists(file)) {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/northwind.mdb");
        QFile::copy(file, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        std::vector<Times> all;
        long rows = 0;
        for (int i = 0; i < runs; ++i) {
            CRecordsetView view;
            view.resize(1000, 700);
            view.show();
            view.OnInitialUpdate();
            QCoreApplication::processEvents();
            Times t;
            QElapsedTimer timer;
            timer.start();
            if (!view.OpenRecordset(path, QStringLiteral("Order Details"), {})) return 1;
            t.open = msSince(timer);
            paintAndScroll(view.GetGrid(), t, timer);
            rows = view.GetGrid().GetApproxCount();
            view.GetGrid().Refresh();
            t.refresh = msSince(timer);
            all.push_back(t);
        }
        report("Order Details (jet4-northwind-statdata.mdb)", rows, all);
    } else {
        std::fprintf(stderr, "no corpus at %s: real table skipped\n", qPrintable(corpus));
    }

    std::vector<Times> all;
    const int rows = 100000;
    for (int i = 0; i < runs; ++i) {
        auto store = generated(rows);
        auto rs = Recordset::create();
        rs->setCursorLocation(ado::kUseClient);
        rs->openSnapshot(std::move(store));
        CDataGrid grid;
        grid.resize(1000, 700);
        grid.show();
        QCoreApplication::processEvents();
        Times t;
        QElapsedTimer timer;
        timer.start();
        grid.SetDataSource(rs);
        const double bind = msSince(timer);
        grid.Refresh();
        t.refresh = msSince(timer);
        t.open = bind + t.refresh;
        paintAndScroll(grid, t, timer);
        all.push_back(t);
    }
    report("generated (6 columns, bound snapshot)", rows, all);
    return 0;
}
