#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QString>

#include "lang/LangText.h"

class QListWidget;

// The name field of the name dialog: only letters A-Z and a-z, digits, "_", "@", ":" and
// characters beyond Latin-1 get in, typed or pasted. Text set by the program is taken as it is.
class CNameEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CNameEdit(QWidget* parent = nullptr);

    static bool IsNameChar(QChar c);
    // The text without the characters a name may not hold.
    static QString Filtered(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void OnTextEdited(const QString& text);
};

// Asks for the name of a new column (mode 0, "New") or a new name of one (mode 1, "Rename").
// Refuses an empty name and one that already is a line of m_pList; in Rename mode the list's
// selected line is the column's own name and does not count. On OK, m_strName holds the name.
class CNameDlg : public QDialog {
    Q_OBJECT

public:
    explicit CNameDlg(QWidget* parent = nullptr);

    int m_nMode = 0;                  // 0 New, 1 Rename
    QListWidget* m_pList = nullptr;   // names to compare with; null: none
    QString m_strName;                // the proposal before the run, the name after OK

    CNameEdit* NameEdit() const { return m_edit; }

    int exec() override;

public slots:
    void accept() override;

private:
    void OnInitDialog();

    CNameEdit* m_edit = nullptr;  // control 1018
    CLangText m_lang;             // section "Name Dialog"
};
