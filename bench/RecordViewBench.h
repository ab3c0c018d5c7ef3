#pragma once

// What the record view benches share: a generated database file with one table, a fresh copy
// of it opened in a record view offscreen, and clicks on the view's row headers. Include the
// provider's headers before this one (Qt's keyword macros would rewrite names in them).

#include <QFile>
#include <QHeaderView>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Jet4ImageBuilder.h"
#include "Median.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "jet/Database.h"

namespace bench {

// The runs asked for on the command line (argument `at`), at least one.
inline int runsFrom(int argc, char** argv, int at, int otherwise) {
    return argc > at ? std::max(1, std::atoi(argv[at])) : otherwise;
}

// A database file at `path` with one table of `columns`, filled with `rows` rows made by
// `row` (0-based) in one change.
inline void makeDatabase(const std::string& path, const std::string& table,
                         const std::vector<jettest::Jet4ImageBuilder::Column>& columns, int rows,
                         const std::function<std::vector<jet::Value>(int)>& row) {
    jettest::Jet4ImageBuilder b;
    b.addTable(table, columns);
    auto db = b.buildFile(path);
    db->transact([&] {
        for (int i = 0; i < rows; ++i)
            db->insertRow(table, row(i));
    });
}

// A folder of the bench's own, with the master database, made by `make(path)`, in it.
class Files {
public:
    explicit Files(const std::function<void(const std::string&)>& make) {
        make(master().toStdString());
    }
    QString master() const { return path("master.mdb"); }
    QString path(const char* name) const { return m_dir.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_dir;
};

// A fresh copy of the master database, `name` in the bench's folder, with `table` opened in
// `view`; false when it does not open. A non-empty `size` shows the view at that size first.
inline bool openCopy(CRecordsetView& view, const Files& files, const char* name,
                     const QString& table, QSize size = {}) {
    const QString path = files.path(name);
    QFile::remove(path);
    QFile::copy(files.master(), path);
    if (!size.isEmpty()) {
        view.resize(size);
        view.show();
    }
    view.OnInitialUpdate();
    return view.OpenRecordset(path, table, {});
}

// A click on the header of the grid's `row`, scrolled into view first.
inline void clickRowHeader(CDataGrid& grid, int row, Qt::KeyboardModifiers modifiers) {
    QHeaderView* h = grid.verticalHeader();
    grid.scrollTo(grid.model()->index(row, 0));
    QTest::mouseClick(h->viewport(), Qt::LeftButton, modifiers,
                      QPoint(h->width() / 2,
                             h->sectionViewportPosition(row) + h->sectionSize(row) / 2));
}

}  // namespace bench
