#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class RecordCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void deleteRecordRemovesExactlyThePickedRows();
    void gridDeleteKeyAsksOnce();
    void refusedDeletionKeepsTheOnesBeforeIt();
    void addRecordOpensTheNewRecordLine();
    void enterAndWheelMoveTheCursor();
    void contextMenuFollowsWhatIsPicked();
    void sortsByNamesWithBlanksAndBracketsInTheDatabasesOrder();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};
