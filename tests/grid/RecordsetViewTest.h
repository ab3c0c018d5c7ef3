#pragma once

#include <QObject>
#include <QTemporaryDir>

class RecordsetViewTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void commandTexts();
    void opensTableWithBlankInName();
    void holdsFileExclusively();
    void refusedOpensTellTheProvidersWords();
    void opensPasswordDatabase();
    void pathWithSemicolonOpens();
    void canDoCommandStates();
    void canDoCommandOnEmptyTable();
    void noticesReachFrame();
    void gridFillsView();
    void destroyReleasesFile();

private:
    QString copy(const QString& file, const QString& name = {});
    std::unique_ptr<QTemporaryDir> m_dir;
};
