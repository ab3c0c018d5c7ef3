#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class SearchDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void findNextWalksTheRecords();
    void optionsFollowTheUserAcrossTables();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};
