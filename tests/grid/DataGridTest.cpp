#include "GridFixture.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "DataGridTest.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetModel.h"
#include "res/Events.h"

using namespace gridtest;

namespace {

// The grid's parent as the record view is one: it notes the private notices it is sent, and
// what the grid's state was at that moment.
class GridHost : public QWidget {
public:
    GridHost() : grid(this) {
        resize(640, 360);
        grid.setGeometry(0, 0, 640, 360);
    }
    bool event(QEvent* e) override {
        if (res::windowMessage(e->type()) == res::WM_GRID_RBUTTONDOWN) {
            ++rightPresses;
            rowAtNotice = grid.GetRow();
        }
        return QWidget::event(e);
    }
    CDataGrid grid;
    int rightPresses = 0;
    long rowAtNotice = -2;
};

void bind(CDataGrid& grid, std::shared_ptr<Recordset> rs) {
    grid.SetDataSource(nullptr);
    grid.SetDataSource(std::move(rs));
    grid.Refresh();
}

QPoint rowHeaderPoint(CDataGrid& grid, int row) {
    QHeaderView* h = grid.verticalHeader();
    return QPoint(h->width() / 2, h->sectionViewportPosition(row) + h->sectionSize(row) / 2);
}

QPoint colHeaderPoint(CDataGrid& grid, int col) {
    QHeaderView* h = grid.horizontalHeader();
    return QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
}

QPoint cellPoint(CDataGrid& grid, int row, int col) {
    return grid.visualRect(grid.model()->index(row, col)).center();
}

QList<long> bookmarks(const CDataGrid& grid) {
    const CDataGrid::CSelBookmarks b = grid.GetSelBookmarks();
    QList<long> out;
    for (long i = 0; i < b.GetCount(); ++i)
        out << b.GetItem(i).value<long>();
    return out;
}

// The open cell editor, or null.
QLineEdit* editorOf(CDataGrid& grid) {
    for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) return e;
    return nullptr;
}

}  // namespace

void DataGridTest::bindingPutsCurrentOnRecordset() {
    GridHost host;
    host.show();
    auto rs = cards(10);
    rs->move(4, tessor::provider::ado::kBookmarkFirst);
    bind(host.grid, rs);
    QCOMPARE(host.grid.GetRow(), 4L);
    QCOMPARE(host.grid.GetCol(), short(0));
    QCOMPARE(host.grid.GetApproxCount(), 10L);
    const CDataGrid::CColumns cols = host.grid.GetColumns();
    QCOMPARE(cols.GetCount(), short(5));
    QCOMPARE(cols.GetItem(1).GetCaption(), QStringLiteral("Name"));
    QCOMPARE(cols.GetItem(4).GetCaption(), QStringLiteral("Photo"));
    QCOMPARE(cols.GetItem(9).GetCaption(), QString());

    // Unbinding empties the grid; nothing is read from the recordset afterwards.
    host.grid.SetDataSource(nullptr);
    QCOMPARE(host.grid.model()->rowCount(), 0);
    QCOMPARE(host.grid.GetRow(), -1L);
    QCOMPARE(host.grid.GetCol(), short(-1));
    QCOMPARE(host.grid.GetColumns().GetCount(), short(0));
}

void DataGridTest::movingFiresRowColChangeAndMovesRecordset() {
    GridHost host;
    host.show();
    auto rs = cards(10);
    bind(host.grid, rs);
    QList<QPair<QVariant, short>> changes;
    connect(&host.grid, &CDataGrid::RowColChange, &host, [&](QVariant* lastRow, short lastCol) {
        changes.append({*lastRow, lastCol});
    });

    host.grid.SetRow(3);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes[0].first.value<long>(), 0L);
    QCOMPARE(rs->position(), 3L);
    QCOMPARE(rs->fields().item(0).value().toInt32(), 4);

    host.grid.SetCol(2);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes[1].first.value<long>(), 3L);
    QCOMPARE(changes[1].second, short(0));
    QCOMPARE(host.grid.GetCol(), short(2));

    // Keys move the cell too, and the recordset follows.
    host.grid.setFocus();
    QTest::keyClick(&host.grid, Qt::Key_Down);
    QCOMPARE(host.grid.GetRow(), 4L);
    QCOMPARE(rs->position(), 4L);
    QCOMPARE(changes.size(), 3);

    // A click on a cell.
    QTest::mouseClick(host.grid.viewport(), Qt::LeftButton, {}, cellPoint(host.grid, 1, 1));
    QCOMPARE(host.grid.GetRow(), 1L);
    QCOMPARE(host.grid.GetCol(), short(1));
    QCOMPARE(rs->position(), 1L);

    // Out of range is refused and changes nothing.
    host.grid.SetRow(50);
    host.grid.SetCol(9);
    QCOMPARE(host.grid.GetRow(), 1L);
    QCOMPARE(host.grid.GetCol(), short(1));
}

void DataGridTest::columnHeaderPicksColumn() {
    GridHost host;
    host.show();
    auto rs = cards(10);
    bind(host.grid, rs);
    host.grid.SetRow(6);
    QSignalSpy heads(&host.grid, &CDataGrid::HeadClick);
    QSignalSpy moves(&host.grid, &CDataGrid::RowColChange);

    QTest::mouseClick(host.grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(host.grid, 2));
    QCOMPARE(heads.count(), 1);
    QCOMPARE(heads[0][0].value<short>(), short(2));
    QCOMPARE(host.grid.GetCol(), short(-1));
    QCOMPARE(host.grid.GetSelBookmarks().GetCount(), 0L);
    // The current record stays where it was: picking a column is no move.
    QCOMPARE(host.grid.GetRow(), 6L);
    QCOMPARE(rs->position(), 6L);
    QCOMPARE(moves.count(), 0);
    QVERIFY(host.grid.selectionModel()->isColumnSelected(2, QModelIndex()));

    // A click on a cell makes a single cell current again.
    QTest::mouseClick(host.grid.viewport(), Qt::LeftButton, {}, cellPoint(host.grid, 2, 3));
    QCOMPARE(host.grid.GetCol(), short(3));
    QCOMPARE(host.grid.GetRow(), 2L);
}

void DataGridTest::rowHeadersPickRowsInOrder() {
    GridHost host;
    host.show();
    auto rs = cards(12);
    bind(host.grid, rs);
    host.grid.SetCol(1);
    QSignalSpy moves(&host.grid, &CDataGrid::RowColChange);
    QWidget* rows = host.grid.verticalHeader()->viewport();

    QTest::mouseClick(rows, Qt::LeftButton, {}, rowHeaderPoint(host.grid, 4));
    QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, rowHeaderPoint(host.grid, 1));
    QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, rowHeaderPoint(host.grid, 8));
    QCOMPARE(bookmarks(host.grid), QList<long>({5, 2, 9}));
    QCOMPARE(host.grid.GetCol(), short(-1));
    // The last picked row is the current record.
    QCOMPARE(host.grid.GetRow(), 8L);
    QCOMPARE(rs->position(), 8L);
    QVERIFY(moves.count() >= 1);
    for (int r : {4, 1, 8})
        QVERIFY(host.grid.selectionModel()->isRowSelected(r, QModelIndex()));

    // Control on a picked row takes it out again.
    QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, rowHeaderPoint(host.grid, 1));
    QCOMPARE(bookmarks(host.grid), QList<long>({5, 9}));
    QVERIFY(!host.grid.selectionModel()->isRowSelected(1, QModelIndex()));

    // Shift picks the run from the last row clicked alone or with control.
    QTest::mouseClick(rows, Qt::LeftButton, {}, rowHeaderPoint(host.grid, 6));
    QTest::mouseClick(rows, Qt::LeftButton, Qt::ShiftModifier, rowHeaderPoint(host.grid, 3));
    QCOMPARE(bookmarks(host.grid), QList<long>({7, 6, 5, 4}));

    // A copy does not follow later changes.
    const CDataGrid::CSelBookmarks taken = host.grid.GetSelBookmarks();
    // A key moves a single cell and drops the picked rows.
    host.grid.setFocus();
    QTest::keyClick(&host.grid, Qt::Key_Right);
    QCOMPARE(host.grid.GetSelBookmarks().GetCount(), 0L);
    QVERIFY(host.grid.GetCol() >= 0);
    QCOMPARE(taken.GetCount(), 4L);
    QVERIFY(!taken.GetItem(4).isValid());

    // The new-record line is no record to pick.
    QTest::mouseClick(rows, Qt::LeftButton, {}, rowHeaderPoint(host.grid, 12));
    QCOMPARE(host.grid.GetSelBookmarks().GetCount(), 0L);
    QCOMPARE(host.grid.GetAddNewMode(), CDataGrid::dbgAddNewCurrent);
}

void DataGridTest::leftAndVisibleColumnsFollowScroll() {
    GridHost host;
    host.show();
    bind(host.grid, cards(200, 30));
    for (int c = 0; c < host.grid.model()->columnCount(); ++c)
        host.grid.setColumnWidth(c, 100);
    QCOMPARE(host.grid.GetLeftCol(), short(0));
    const int width = host.grid.viewport()->width();
    // Columns shown at least in part.
    QCOMPARE(int(host.grid.GetVisibleCols()), (width + 99) / 100);

    host.grid.Scroll(3, 0);
    QCOMPARE(host.grid.GetLeftCol(), short(3));
    host.grid.Scroll(-1, 0);
    QCOMPARE(host.grid.GetLeftCol(), short(2));
    host.grid.Scroll(0, 20);
    QCOMPARE(host.grid.rowAt(0), 20);
    host.grid.Scroll(0, -5);
    QCOMPARE(host.grid.rowAt(0), 15);
    // Scrolling past either end stops there.
    host.grid.Scroll(-50, -500);
    QCOMPARE(host.grid.GetLeftCol(), short(0));
    QCOMPARE(host.grid.rowAt(0), 0);
    // Scrolling moves no cell.
    QCOMPARE(host.grid.GetRow(), 0L);
}

void DataGridTest::newRecordLineAndPendingRecord() {
    GridHost host;
    host.show();
    auto rs = cards(5);
    bind(host.grid, rs);
    host.grid.SetAllowUpdate(true);
    QCOMPARE(host.grid.GetAddNewMode(), CDataGrid::dbgNoAddNew);

    host.grid.SetRow(host.grid.GetApproxCount());
    QCOMPARE(host.grid.GetRow(), 5L);
    QCOMPARE(host.grid.GetAddNewMode(), CDataGrid::dbgAddNewCurrent);
    QVERIFY(rs->isEOF());
    QVERIFY(!host.grid.GetDataChanged());

    QSignalSpy updates(&host.grid, &CDataGrid::AfterColUpdate);
    QSignalSpy edits(&host.grid, &CDataGrid::AfterColEdit);
    host.grid.SetCol(1);
    host.grid.setFocus();
    // The first key opens the editor and goes into it; the rest are typed there.
    QTest::keyClick(&host.grid, Qt::Key_N);
    QVERIFY(host.grid.GetEditActive());
    QVERIFY(editorOf(host.grid));
    QTest::keyClicks(editorOf(host.grid), QStringLiteral("ew"));
    QVERIFY(host.grid.GetDataChanged());
    QVERIFY(editorOf(host.grid));
    QTest::keyClick(editorOf(host.grid), Qt::Key_Return);
    QTRY_COMPARE(edits.count(), 1);
    QCOMPARE(updates.count(), 1);
    QCOMPARE(updates[0][0].value<short>(), short(1));
    QCOMPARE(edits[0][0].value<short>(), short(1));
    QVERIFY(!host.grid.GetEditActive());
    // The line became a pending record, with a fresh line below it.
    QCOMPARE(host.grid.GetAddNewMode(), CDataGrid::dbgAddNewPending);
    QCOMPARE(host.grid.GetApproxCount(), 6L);
    QCOMPARE(host.grid.model()->rowCount(), 7);
    QVERIFY(host.grid.GetDataChanged());
    QCOMPARE(host.grid.RecordModel()->edits().value(1), QStringLiteral("new"));
    QCOMPARE(rs->recordCount(), 5L);

    // Leaving the record with nothing written drops it.
    host.grid.SetRow(0);
    QCOMPARE(host.grid.GetApproxCount(), 5L);
    QVERIFY(!host.grid.GetDataChanged());
    QCOMPARE(host.grid.GetAddNewMode(), CDataGrid::dbgNoAddNew);

    // An edit left with Escape updates nothing.
    updates.clear();
    edits.clear();
    host.grid.SetRow(2);
    host.grid.SetEditActive(true);
    QVERIFY(host.grid.GetEditActive());
    QVERIFY(editorOf(host.grid));
    QTest::keyClick(editorOf(host.grid), Qt::Key_Escape);
    QTRY_COMPARE(edits.count(), 1);
    QCOMPARE(updates.count(), 0);

    // Read-only grids open no editor.
    host.grid.SetAllowUpdate(false);
    host.grid.SetEditActive(true);
    QVERIFY(!host.grid.GetEditActive());
}

void DataGridTest::keyPressCanSwallowAndReplace() {
    GridHost host;
    host.show();
    bind(host.grid, cards(3));
    host.grid.SetAllowUpdate(true);
    QList<short> seen;
    connect(&host.grid, &CDataGrid::KeyPress, &host, [&](short* key) {
        seen << *key;
        if (*key == 'q') *key = 0;
        if (*key == 'a') *key = 'b';
    });
    host.grid.setFocus();
    QTest::keyClick(&host.grid, Qt::Key_Q, {}, 0);
    QCOMPARE(seen, QList<short>({'q'}));
    QVERIFY(!host.grid.GetEditActive());

    QTest::keyClick(&host.grid, Qt::Key_A);
    QVERIFY(host.grid.GetEditActive());
    auto* editor = editorOf(host.grid);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("b"));
    // Keys typed into the editor pass the handlers too.
    QTest::keyClick(editor, Qt::Key_A);
    QTest::keyClick(editor, Qt::Key_Q);
    QCOMPARE(editor->text(), QStringLiteral("bb"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(seen.last(), short(13));
}

void DataGridTest::selectedTextOfCellAndEditor() {
    GridHost host;
    host.show();
    bind(host.grid, cards(3));
    host.grid.SetCol(1);
    // Without an editor the whole current cell counts as selected.
    QCOMPARE(host.grid.GetSelText(), QStringLiteral("card 1"));
    // Nothing of a picked column.
    QTest::mouseClick(host.grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(host.grid, 1));
    QCOMPARE(host.grid.GetSelText(), QString());

    host.grid.SetAllowUpdate(true);
    host.grid.SetRow(2);
    host.grid.SetCol(1);
    host.grid.SetSelStart(1);
    host.grid.SetSelLength(3);
    QVERIFY(host.grid.GetEditActive());
    QCOMPARE(host.grid.GetSelText(), QStringLiteral("ARD"));
    host.grid.SetSelText(QStringLiteral("ool"));
    auto* editor = editorOf(host.grid);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("Cool 3"));
    // A length past the end selects to the end.
    host.grid.SetSelStart(5);
    host.grid.SetSelLength(40);
    QCOMPARE(host.grid.GetSelText(), QStringLiteral("3"));
    QSignalSpy updates(&host.grid, &CDataGrid::AfterColUpdate);
    host.grid.SetEditActive(false);
    QCOMPARE(updates.count(), 1);
    QCOMPARE(host.grid.RecordModel()->edits().value(1), QStringLiteral("Cool 3"));
}

void DataGridTest::deleteKeyOnPickedRows() {
    GridHost host;
    host.show();
    bind(host.grid, cards(6));
    host.grid.SetAllowDelete(true);
    int asked = 0;
    short errorCode = 0;
    connect(&host.grid, &CDataGrid::BeforeDelete, &host, [&](short* cancel) {
        ++asked;
        *cancel = 1;
    });
    connect(&host.grid, &CDataGrid::Error, &host, [&](short code, short* response) {
        errorCode = code;
        *response = 0;
    });
    // On a single cell the delete key deletes no record.
    host.grid.setFocus();
    QTest::keyClick(&host.grid, Qt::Key_Delete);
    QCOMPARE(asked, 0);

    QWidget* rows = host.grid.verticalHeader()->viewport();
    QTest::mouseClick(rows, Qt::LeftButton, {}, rowHeaderPoint(host.grid, 2));
    QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, rowHeaderPoint(host.grid, 4));
    host.grid.setFocus();
    QTest::keyClick(&host.grid, Qt::Key_Delete);
    QCOMPARE(asked, 1);
    QCOMPARE(errorCode, CDataGrid::kErrDeleteCancelled);
    QCOMPARE(host.grid.GetApproxCount(), 6L);
    // The picked rows stay picked for the owner's own deletion.
    QCOMPARE(bookmarks(host.grid), QList<long>({3, 5}));

    host.grid.SetAllowDelete(false);
    QTest::keyClick(&host.grid, Qt::Key_Delete);
    QCOMPARE(asked, 1);
}

void DataGridTest::rightPressNotifiesParentFirst() {
    GridHost host;
    host.show();
    bind(host.grid, cards(6));
    QCOMPARE(host.grid.GetRow(), 0L);
    QTest::mouseClick(host.grid.viewport(), Qt::RightButton, {}, cellPoint(host.grid, 3, 1));
    QCOMPARE(host.rightPresses, 1);
    // The view heard of the press before the grid handled it.
    QCOMPARE(host.rowAtNotice, 0L);
    QTest::mouseClick(host.grid.horizontalHeader()->viewport(), Qt::RightButton, {},
                      colHeaderPoint(host.grid, 1));
    QTest::mouseClick(host.grid.verticalHeader()->viewport(), Qt::RightButton, {},
                      rowHeaderPoint(host.grid, 2));
    QCOMPARE(host.rightPresses, 3);
    // Left presses say nothing.
    QTest::mouseClick(host.grid.viewport(), Qt::LeftButton, {}, cellPoint(host.grid, 2, 1));
    QCOMPARE(host.rightPresses, 3);
}

void DataGridTest::closeRequestIsIgnored() {
    GridHost host;
    host.show();
    bind(host.grid, cards(2));
    QVERIFY(!host.grid.close());
    QVERIFY(host.grid.isVisible());
}

void DataGridTest::sortAndRefreshReorderView() {
    GridHost host;
    host.show();
    auto rs = cards(8);
    bind(host.grid, rs);
    host.grid.SetRow(5);
    host.grid.SetCol(2);
    rs->setSort("ID DESC");
    host.grid.Refresh();
    // The recordset's first record is current after a sort; the column stays.
    QCOMPARE(host.grid.GetRow(), 0L);
    QCOMPARE(host.grid.GetCol(), short(2));
    QCOMPARE(host.grid.model()->index(0, 0).data().toString(), QStringLiteral("8"));
    QCOMPARE(host.grid.model()->index(7, 0).data().toString(), QStringLiteral("1"));
    host.grid.SetRow(7);
    QCOMPARE(rs->fields().item(0).value().toInt32(), 1);
}

void DataGridTest::scrollsToEndOfLargeTable() {
    GridHost host;
    host.show();
    const int rows = 100000;
    bind(host.grid, cards(rows));
    QCOMPARE(host.grid.GetApproxCount(), long(rows));
    host.grid.setFocus();
    QTest::keyClick(&host.grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(host.grid.GetRow(), long(rows));  // the new-record line
    host.grid.SetRow(rows - 1);
    QCOMPARE(host.grid.GetRow(), long(rows - 1));
    QTest::qWait(0);
    const QRect cell = host.grid.visualRect(host.grid.model()->index(rows - 1, 0));
    QVERIFY(host.grid.viewport()->rect().intersects(cell));
    QCOMPARE(host.grid.model()->index(rows - 1, 1).data().toString(),
             QStringLiteral("card 100000"));
}
