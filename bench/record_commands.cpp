// Times two record commands of the record view over a generated 100,000-row table in a real
// database file: Delete Record on 10,000 picked rows (every tenth record, picked through the
// row headers), and Ascend on a text column. Offscreen; the question is answered Yes at once.
//   record_commands_bench [runs]

// The provider's headers come before Qt's, whose keyword macros would rewrite names in them.
#include "provider/Recordset.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "RecordViewBench.h"
#include "res/ResourceIds.h"

namespace {

constexpr int kRows = 100000;
constexpr int kPicked = 10000;

// Cards(Id, Name, City): Name a text whose order differs from Id's, City one of 50 towns.
void makeDatabase(const std::string& path) {
    bench::makeDatabase(path, "Cards",
                        {{"Id", jet::ColumnType::Long},
                         {"Name", jet::ColumnType::Text, false, 60},
                         {"City", jet::ColumnType::Text, false, 40}},
                        kRows, [](int i) {
                            const unsigned h = static_cast<unsigned>(i) * 2654435761u;
                            std::string name =
                                (h % 3 == 0 ? "Card " : "card ") + std::to_string(h % 1000003);
                            return std::vector<jet::Value>{int32_t(i + 1), name,
                                                           "Town " + std::to_string(h % 50)};
                        });
}

// Answers every question Yes as soon as it is up.
void answerYes() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            if (QAbstractButton* yes = box->button(QMessageBox::Yes)) yes->click();
    });
    timer->start(0);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = bench::runsFrom(argc, argv, 1, 5);
    const bench::Files files(makeDatabase);
    answerYes();

    std::vector<double> deleteMs, deleteCoreMs, singleMs, sortMs;
    for (int run = 0; run < runs; ++run) {
        CRecordsetView view;
        if (!bench::openCopy(view, files, "run.mdb", QStringLiteral("Cards"), QSize(1000, 700)))
            return 1;
        CDataGrid& grid = view.GetGrid();

        // Every tenth record, picked through the row headers as the user would (with Control).
        for (int i = 0; i < kPicked; ++i)
            bench::clickRowHeader(grid, i * (kRows / kPicked),
                                  i == 0 ? Qt::KeyboardModifiers() : Qt::ControlModifier);
        if (grid.GetSelBookmarks().GetCount() != kPicked) {
            std::fprintf(stderr, "picked %ld rows\n", grid.GetSelBookmarks().GetCount());
            return 1;
        }

        QElapsedTimer timer;
        timer.start();
        view.OnCommand(res::ID_RECORD_DELETE);
        deleteMs.push_back(timer.nsecsElapsed() / 1e6);
        if (view.GetRecordset()->recordCount() != kRows - kPicked) {
            std::fprintf(stderr, "%ld records left\n", view.GetRecordset()->recordCount());
            return 1;
        }

        // The provider's part alone, on a fresh copy: the deletion as one change of the file.
        {
            CRecordsetView other;
            if (!bench::openCopy(other, files, "core.mdb", QStringLiteral("Cards")))
                return 1;
            auto rs = other.GetRecordset();
            std::vector<long> positions;
            for (int i = kPicked - 1; i >= 0; --i)
                positions.push_back(long(i) * (kRows / kPicked));
            timer.restart();
            rs->deleteRecords(positions);
            deleteCoreMs.push_back(timer.nsecsElapsed() / 1e6);
        }

        // For comparison: the same walk record by record, each deletion a change of its own
        // (the first 500 of it, timed per record).
        {
            CRecordsetView other;
            if (!bench::openCopy(other, files, "single.mdb", QStringLiteral("Cards")))
                return 1;
            auto rs = other.GetRecordset();
            constexpr int kSingles = 500;
            timer.restart();
            for (int i = kPicked - 1; i >= kPicked - kSingles; --i) {
                rs->move(long(i) * (kRows / kPicked), tessor::provider::ado::kBookmarkFirst);
                rs->deleteRecord();
            }
            singleMs.push_back(timer.nsecsElapsed() / 1e6 / kSingles);
        }

        // Ascend on Name, picked by a click on its header.
        QHeaderView* cols = grid.horizontalHeader();
        emit cols->sectionClicked(1);
        timer.restart();
        view.OnCommand(res::ID_FIELD_ASCEND);
        sortMs.push_back(timer.nsecsElapsed() / 1e6);
        if (view.GetRecordset()->sort() != "[Name] ASC") return 1;
    }
    std::printf("record commands over %d rows, median of %d runs\n", kRows, runs);
    std::printf("  Delete Record, %d picked rows (whole command): %8.1f ms\n", kPicked,
                median(deleteMs));
    std::printf("  of which the recordset's deletion alone:        %8.1f ms\n",
                median(deleteCoreMs));
    std::printf("  record by record instead, per record:           %8.2f ms\n", median(singleMs));
    std::printf("  Ascend on a text column (whole command):        %8.1f ms\n", median(sortMs));
    return 0;
}
