// Times Paste of 10,000 records of 10 fields into a real database file through the record
// view (the records picked from the first one on, the text on the clipboard), and the copy of
// the same records. Offscreen.
//   clipboard_paste_bench [runs]

// The provider's headers come before Qt's, whose keyword macros would rewrite names in them.
#include "provider/Recordset.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "RecordViewBench.h"
#include "res/ResourceIds.h"

namespace {

constexpr int kRows = 10000;
constexpr int kFields = 10;

// Cards(Id long, F1..F9 text): the records exist, their texts are what the paste replaces.
void makeDatabase(const std::string& path) {
    std::vector<jettest::Jet4ImageBuilder::Column> cols{{"Id", jet::ColumnType::Long}};
    for (int f = 1; f < kFields; ++f)
        cols.push_back({"F" + std::to_string(f), jet::ColumnType::Text, false, 40});
    bench::makeDatabase(path, "Cards", cols, kRows, [](int i) {
        std::vector<jet::Value> values{int32_t(i + 1)};
        for (int f = 1; f < kFields; ++f)
            values.push_back("old " + std::to_string(f) + "-" + std::to_string(i));
        return values;
    });
}

QString pasteText() {
    QString text;
    for (int i = 0; i < kRows; ++i) {
        if (i > 0) text += QStringLiteral("\r\n");
        text += QString::number(i + 1);
        for (int f = 1; f < kFields; ++f)
            text += QStringLiteral("\tnew %1-%2").arg(f).arg(i);
    }
    return text;
}

// Picks the first row, and with `all` the rows down to the last.
void pick(CDataGrid& grid, bool all) {
    bench::clickRowHeader(grid, 0, {});
    if (all) bench::clickRowHeader(grid, kRows - 1, Qt::ShiftModifier);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = bench::runsFrom(argc, argv, 1, 5);
    const bench::Files files(makeDatabase);
    const QString text = pasteText();
    std::vector<double> paste, copy;
    for (int r = 0; r < runs; ++r) {
        CRecordsetView view;
        if (!bench::openCopy(view, files, "run.mdb", QStringLiteral("Cards"), QSize(900, 600)))
            return 1;
        // Paste goes from the current record on: the first one, picked.
        pick(view.GetGrid(), false);

        QGuiApplication::clipboard()->setText(text);
        QElapsedTimer t;
        t.start();
        view.OnCommand(res::ID_EDIT_PASTE);
        paste.push_back(t.nsecsElapsed() / 1e6);
        if (view.GetRecordset()->textAt(kRows - 1, kFields - 1) !=
            "new " + std::to_string(kFields - 1) + "-" + std::to_string(kRows - 1)) {
            std::fprintf(stderr, "the paste did not reach the last record\n");
            return 1;
        }

        pick(view.GetGrid(), true);
        if (view.GetGrid().GetSelBookmarks().GetCount() != kRows) {
            std::fprintf(stderr, "picked %ld rows\n", view.GetGrid().GetSelBookmarks().GetCount());
            return 1;
        }
        t.restart();
        view.OnCommand(res::ID_EDIT_COPY);
        copy.push_back(t.nsecsElapsed() / 1e6);
        if (QGuiApplication::clipboard()->text() != text) {
            std::fprintf(stderr, "the copy differs from the pasted text\n");
            return 1;
        }
    }
    std::printf("paste %d records x %d fields: median %.1f ms over %d runs\n", kRows, kFields,
                median(paste), runs);
    std::printf("copy  %d records x %d fields: median %.1f ms over %d runs\n", kRows, kFields,
                median(copy), runs);
    return 0;
}
