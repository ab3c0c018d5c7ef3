// Column widths after Refresh: from the header and the rows near the top of the view, within
// half the view's width; rows further down never count, however few the table has.

#include "provider/Recordset.h"
#include "provider/RowStore.h"

#include <QHeaderView>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

#include "grid/DataGrid.h"

using tessor::provider::ColumnInfo;
using tessor::provider::DataType;
using tessor::provider::Recordset;
using tessor::provider::RowStore;
using tessor::provider::Variant;

namespace {

const int kRows = 5000;

// Columns: "Id" (number), "A much longer column caption" (short values), "Code" ("c<n>", one
// wide value at `wideRow`), "Memo" (one very long value on the first row).
std::shared_ptr<Recordset> Table(int wideRow, const std::string& wide) {
    std::vector<ColumnInfo> cols = {{"Id", DataType::Integer, 4},
                                    {"A much longer column caption", DataType::VarWChar, 10},
                                    {"Code", DataType::VarWChar, 255},
                                    {"Memo", DataType::LongVarWChar, 0}};
    auto store = std::make_unique<RowStore>(cols);
    std::vector<Variant> v(cols.size());
    for (int r = 0; r < kRows; ++r) {
        v[0] = Variant(int32_t(r + 1));
        v[1] = Variant(std::string("x"));
        v[2] = Variant(r == wideRow ? wide : "c" + std::to_string(r));
        v[3] = r == 0 ? Variant(std::string(3000, 'm')) : Variant::null();
        store->appendRow(v);
    }
    auto rs = Recordset::create();
    rs->setCursorLocation(tessor::provider::ado::kUseClient);
    rs->openSnapshot(std::move(store));
    return rs;
}

int TextWidth(const CDataGrid& grid, const QString& text) {
    return grid.fontMetrics().horizontalAdvance(text);
}

}  // namespace

class ColumnSizingTest : public QObject {
    Q_OBJECT

private slots:
    void headerAndRowsInViewSetTheWidths();
    void rowsBelowTheViewDoNotCount();
    void rowsNearTheCurrentRecordCount();
    void gridNotYetShownStillMeasuresItsFirstRows();
};

void ColumnSizingTest::headerAndRowsInViewSetTheWidths() {
    const QString wide = QStringLiteral("WWWWWWWWWWWWWWWWWWWW");
    CDataGrid grid;
    grid.resize(900, 400);
    grid.show();
    grid.SetDataSource(Table(2, wide.toStdString()));
    grid.Refresh();
    QHeaderView* header = grid.horizontalHeader();
    // The caption is wider than the values: the header decides.
    QVERIFY(grid.columnWidth(1) >= header->sectionSizeHint(1));
    QVERIFY(grid.columnWidth(1) >= TextWidth(grid, "A much longer column caption"));
    // A value in view is shown whole.
    QVERIFY(grid.columnWidth(2) > TextWidth(grid, wide));
    QVERIFY(grid.columnWidth(2) < TextWidth(grid, wide) * 2);
    // The long memo is held to half the view.
    QCOMPARE(grid.columnWidth(3), std::max(80, grid.viewport()->width() / 2));
}

void ColumnSizingTest::rowsBelowTheViewDoNotCount() {
    const QString wide(60, QChar('W'));
    CDataGrid grid;
    grid.resize(900, 400);
    grid.show();
    grid.SetDataSource(Table(300, wide.toStdString()));
    grid.Refresh();
    QCOMPARE(grid.GetRow(), 0L);
    // Sized by "Code" and "c<n>" only: far narrower than the value at the end.
    QVERIFY(grid.columnWidth(2) < TextWidth(grid, wide) / 3);
    QVERIFY(grid.columnWidth(2) >= TextWidth(grid, "c9999"));
}

// Refresh keeps the recordset's current record on screen and sizes by what is shown there.
void ColumnSizingTest::rowsNearTheCurrentRecordCount() {
    const QString wide(30, QChar('W'));
    auto rs = Table(kRows - 10, wide.toStdString());
    rs->move(kRows - 8, tessor::provider::ado::kBookmarkFirst);
    CDataGrid grid;
    grid.resize(900, 400);
    grid.show();
    grid.SetDataSource(rs);
    grid.Refresh();
    QCOMPARE(grid.GetRow(), long(kRows - 8));
    QVERIFY(grid.columnWidth(2) > TextWidth(grid, wide));
}

void ColumnSizingTest::gridNotYetShownStillMeasuresItsFirstRows() {
    const QString wide(30, QChar('W'));
    CDataGrid grid;
    grid.resize(900, 400);
    grid.SetDataSource(Table(20, wide.toStdString()));
    grid.Refresh();
    QVERIFY(grid.columnWidth(2) > TextWidth(grid, wide));
    // The bound holds there too.
    grid.SetDataSource(Table(300, wide.toStdString()));
    grid.Refresh();
    QVERIFY(grid.columnWidth(2) < TextWidth(grid, wide));
}

QTEST_MAIN(ColumnSizingTest)
#include "ColumnSizingTest.moc"
