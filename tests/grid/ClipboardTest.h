#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class ClipboardTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void textForm_data();
    void textForm();
    void copyAndCutPickRecordsColumnOrCell();
    void pasteWritesRecordsAndReportsRefusals();
    void pasteColumnStopsAtTheFirstRefusal();
    void customersRoundTrip();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};
