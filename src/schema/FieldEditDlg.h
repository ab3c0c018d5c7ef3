#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <list>
#include <memory>

#include "lang/LangText.h"

class QListWidget;
class QPushButton;

namespace tessor::provider {
class Connection;
class Recordset;
}  // namespace tessor::provider

// Adds and deletes columns of one table in one go. Nothing changes while the dialog is open:
// every New and Delete is a pending change, and OK runs them, asking first, as ALTER TABLE
// statements one by one (the added columns first, the latest first, then the deleted ones in
// the order they were deleted); a refused statement is shown and the others still run.
//
// The pending list: its first N entries are the N lines of the list box, in order (a line
// shows newName when set, else oldName); the entries after them are the deleted columns.
class CFieldEditDlg : public QDialog {
    Q_OBJECT

public:
    enum Action : uint8_t { FIELD_KEEP = 0, FIELD_ADD = 1, FIELD_DELETE = 2 };
    struct FieldChange {
        QString oldName;  // the column's name in the table; empty for one added here
        QString newName;  // the name of a column added here; empty for one of the table
        uint8_t action = FIELD_KEEP;
    };

    explicit CFieldEditDlg(QWidget* parent = nullptr);

    bool m_bModified = false;  // a New or Delete was accepted
    std::shared_ptr<tessor::provider::Connection> m_pConnection;
    std::shared_ptr<tessor::provider::Recordset> m_pRecordset;  // its fields fill the list
    QString m_strTable;

    int exec() override;

    QListWidget* FieldList() const { return m_listFields; }
    const std::list<FieldChange>& Changes() const { return m_changes; }
    // The statements OK would run now, in their order.
    QStringList Statements() const;
    // The name New proposes: "Field" and the line count plus one, raised past every line.
    static QString ProposedName(const QStringList& lines);

    void OnNew();
    void OnDelete();

public slots:
    void accept() override;

private:
    bool OnInitDialog();
    void Message(const char* key);

    QListWidget* m_listFields = nullptr;  // control 1019
    std::list<FieldChange> m_changes;
    CLangText m_lang;  // section "Field Page"
    QString m_strPrimaryKey;
    QStringList m_indexColumns;
    QStringList m_relationColumns;  // columns a relationship uses
};
