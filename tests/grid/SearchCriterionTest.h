#pragma once

#include <QObject>

class SearchCriterionTest : public QObject {
    Q_OBJECT

private slots:
    void findsWhatWasTyped_data();
    void findsWhatWasTyped();
    void settingsFileKeepsTheOptions();
};
