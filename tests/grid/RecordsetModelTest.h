#pragma once

#include <QObject>

class RecordsetModelTest : public QObject {
    Q_OBJECT

private slots:
    void showsValuesAndCaptions();
    void noRecordsetOrClosedShowsNothing();
    void sortOfRecordsetReordersRows();
    void editBufferHoldsOneRow();
    void newRecordLineBecomesPendingRecord();
    void currentRowMarks();
    void largeTableBuildsNothingPerRow();
};
