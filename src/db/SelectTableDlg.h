#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QListWidget;

namespace tessor::provider {
class Recordset;
}

// Lets the user pick one of the user tables of a database. The caller hands over the
// provider's tables rowset before running it; the list shows the names of its "TABLE" rows,
// sorted, with the first selected. On OK m_strTable holds the chosen name.
class CSelectTableDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSelectTableDlg(const QString& iniPath, QWidget* parent = nullptr);

    std::shared_ptr<tessor::provider::Recordset> m_pTables;  // set by the caller
    QString m_strTable;                                      // the choice, after OK

    // Fills the list from the rowset, then runs the dialog. When the rowset cannot be read the
    // dialog is not shown: the result is Rejected and ErrorText() says why.
    int exec() override;
    const QString& ErrorText() const { return m_strError; }

    QListWidget* TableList() const { return m_list; }

public slots:
    void accept() override;

private:
    bool FillList();
    void AddSorted(const QString& name);

    QListWidget* m_list = nullptr;  // control 1006
    QString m_strError;
};
