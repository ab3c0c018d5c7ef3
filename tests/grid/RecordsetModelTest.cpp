#include "GridFixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "RecordsetModelTest.h"
#include "grid/RecordsetModel.h"

using grid::RecordsetModel;
using namespace gridtest;

namespace {

QString shown(const RecordsetModel& m, int row, int col) {
    return m.data(m.index(row, col), Qt::DisplayRole).toString();
}

}  // namespace

void RecordsetModelTest::showsValuesAndCaptions() {
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto rs = cards(5);
    model.setRecordset(rs);

    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.rowCount(), 6);  // five records and the new-record line
    const QStringList captions = {"ID", "Name", "Memo", "Price", "Photo"};
    for (int c = 0; c < 5; ++c)
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), captions[c]);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 4; ++c)
            QCOMPARE(model.data(model.index(r, c), Qt::EditRole).toString(),
                     QString::fromStdString(rs->textAt(r, c)));
    QCOMPARE(shown(model, 2, 1), QStringLiteral("CARD 3"));
    QCOMPARE(shown(model, 3, 3), QStringLiteral("5"));
    // A null is an empty cell; a two-line memo shows its first line, the editor gets both.
    QCOMPARE(shown(model, 0, 2), QString());
    QCOMPARE(shown(model, 1, 2), QStringLiteral("first line 2\u2026"));
    QCOMPARE(model.data(model.index(1, 2), Qt::EditRole).toString(),
             QStringLiteral("first line 2\r\nsecond line"));
    // A picture's bytes are cut to what a cell can show.
    const QString photo = shown(model, 1, 4);
    QVERIFY(photo.startsWith(QStringLiteral("ABAB")));
    QVERIFY(photo.endsWith(QChar(0x2026)));
    QCOMPARE(photo.size(), RecordsetModel::kMaxShownChars + 1);
    QCOMPARE(model.data(model.index(1, 4), Qt::EditRole).toString().size(), 1200);
    // Numbers to the right, texts to the left.
    QCOMPARE(model.data(model.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QCOMPARE(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignLeft);
    // The new-record line is empty and marked.
    QCOMPARE(shown(model, 5, 1), QString());
    QCOMPARE(model.headerData(5, Qt::Vertical).toString(), QStringLiteral("*"));
}

void RecordsetModelTest::noRecordsetOrClosedShowsNothing() {
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.newRecordLine(), -1);

    auto rs = cards(3);
    model.setRecordset(rs);
    QCOMPARE(model.rowCount(), 4);
    // Closing behind the model's back must not change its shape under a view, nor crash a read.
    rs->close();
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(shown(model, 1, 1), QString());
    model.reload();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void RecordsetModelTest::sortOfRecordsetReordersRows() {
    RecordsetModel model;
    auto rs = cards(6);
    model.setRecordset(rs);
    rs->setSort("ID DESC");
    // The model reads by position: the new order is there at once, a reload tells the views.
    QCOMPARE(shown(model, 0, 0), QStringLiteral("6"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.reload();
    QCOMPARE(reset.count(), 1);
    QStringList ids;
    for (int r = 0; r < 6; ++r)
        ids << shown(model, r, 0);
    QCOMPARE(ids, QStringList({"6", "5", "4", "3", "2", "1"}));
    rs->setSort("Name ASC");
    model.reload();
    ids.clear();
    for (int r = 0; r < 6; ++r)
        ids << shown(model, r, 1);
    // Text sorts without regard to case.
    QCOMPARE(ids, QStringList({"card 1", "card 2", "CARD 3", "card 4", "card 5", "CARD 6"}));
}

void RecordsetModelTest::editBufferHoldsOneRow() {
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto rs = cards(4);
    model.setRecordset(rs);

    model.setAllowUpdate(false);
    QVERIFY(!(model.flags(model.index(1, 1)) & Qt::ItemIsEditable));
    QVERIFY(!model.setData(model.index(1, 1), QStringLiteral("x")));
    model.setAllowUpdate(true);

    // The same text again is no edit.
    QVERIFY(!model.setData(model.index(1, 1), QStringLiteral("card 2")));
    QVERIFY(!model.isDirty());

    QVERIFY(model.setData(model.index(1, 1), QStringLiteral("renamed")));
    QVERIFY(model.setData(model.index(1, 3), QStringLiteral("9.5")));
    QVERIFY(model.isDirty());
    QCOMPARE(model.editRow(), 1);
    QCOMPARE(model.edits().size(), 2);
    QCOMPARE(shown(model, 1, 1), QStringLiteral("renamed"));
    // The recordset is not written by the model.
    QCOMPARE(QString::fromStdString(rs->textAt(1, 1)), QStringLiteral("card 2"));

    // An edit of another row drops what the first row still held.
    QVERIFY(model.setData(model.index(2, 1), QStringLiteral("other")));
    QCOMPARE(model.editRow(), 2);
    QCOMPARE(model.edits().size(), 1);
    QCOMPARE(shown(model, 1, 1), QStringLiteral("card 2"));

    model.clearEdits();
    QVERIFY(!model.isDirty());
    QCOMPARE(model.editRow(), -1);
}

void RecordsetModelTest::newRecordLineBecomesPendingRecord() {
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRecordset(cards(3));
    QCOMPARE(model.newRecordLine(), 3);
    QCOMPARE(model.pendingNewRow(), -1);

    // Nothing typed leaves the line as it is.
    QVERIFY(!model.setData(model.index(3, 1), QString()));
    QCOMPARE(model.rowCount(), 4);

    QVERIFY(model.setData(model.index(3, 1), QStringLiteral("new card")));
    QCOMPARE(model.pendingNewRow(), 3);
    QCOMPARE(model.newRecordLine(), 4);
    QCOMPARE(model.recordRows(), 4);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(shown(model, 3, 1), QStringLiteral("new card"));
    QCOMPARE(model.headerData(4, Qt::Vertical).toString(), QStringLiteral("*"));
    // One new record at a time: the line below it takes nothing yet.
    QVERIFY(!model.setData(model.index(4, 1), QStringLiteral("second")));

    model.discardEdits();
    QCOMPARE(model.pendingNewRow(), -1);
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(shown(model, 3, 1), QString());

    // Without the line, a table shows its records only.
    model.setAllowAddNew(false);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.newRecordLine(), -1);
    model.setAllowAddNew(true);
    QCOMPARE(model.rowCount(), 4);
}

void RecordsetModelTest::currentRowMarks() {
    RecordsetModel model;
    model.setRecordset(cards(3));
    model.setAllowUpdate(true);
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    model.setCurrentRow(1);
    QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
    model.setCurrentRow(2);
    QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QString());
    QVERIFY(headers.count() >= 2);
    QVERIFY(model.setData(model.index(2, 1), QStringLiteral("typed")));
    QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("\u270E"));
}

void RecordsetModelTest::largeTableBuildsNothingPerRow() {
    const int rows = 100000;
    auto rs = cards(rows);
    RecordsetModel model;
    model.setRecordset(rs);
    // Every row is there to show, the last one included; how long binding takes is measured
    // by bench/grid_open.cpp, not here.
    QCOMPARE(model.rowCount(), rows + 1);
    QCOMPARE(shown(model, rows - 1, 0), QString::number(rows));
    QCOMPARE(shown(model, rows - 1, 1), QStringLiteral("card 100000"));
}
