#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class RecordsetEditTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cellEditLandsInFile();
    void refusedValueShowsProvidersWordsAndChangesNothing();
    void typingIntoNewRecordLineAddsRecord();
    void longAndMultiLineMemosSurviveTheEditor();
    void commandsRouteWhileTheirGroupIsPossible();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};
