#pragma once

#include <QObject>

class DataGridTest : public QObject {
    Q_OBJECT

private slots:
    void bindingPutsCurrentOnRecordset();
    void movingFiresRowColChangeAndMovesRecordset();
    void columnHeaderPicksColumn();
    void rowHeadersPickRowsInOrder();
    void leftAndVisibleColumnsFollowScroll();
    void newRecordLineAndPendingRecord();
    void keyPressCanSwallowAndReplace();
    void selectedTextOfCellAndEditor();
    void deleteKeyOnPickedRows();
    void rightPressNotifiesParentFirst();
    void closeRequestIsIgnored();
    void sortAndRefreshReorderView();
    void scrollsToEndOfLargeTable();
};
