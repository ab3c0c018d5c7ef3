#pragma once

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QString>

#include <memory>

#include "res/Events.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class CRecordsetView;

namespace tessor::provider {
class Recordset;
}

// The notice the find dialog sends its view after a hit: select the find text in the current
// cell, as it occurs in the value of field `field` of the current record.
class FindSelectEvent : public QEvent {
public:
    FindSelectEvent(int field, const QString& text)
        : QEvent(res::eventType(res::WM_FIND_SELECT)), m_field(field), m_text(text) {}
    int Field() const { return m_field; }
    const QString& Text() const { return m_text; }

private:
    int m_field;
    QString m_text;
};

// The modeless "Search" dialog of a record view (resource 140): finds the next record, down or
// up from the current one, whose chosen field holds the find text, and has the view select the
// text there. Its three options live in Corvane.ini (grid::FindSettings); they are read when the
// dialog opens and written when it goes.
//
// Life: the view makes it (the Find command), shows it, and on WM_FIND_CLOSED calls
// OnDestroy and lets it go; a dialog still open when the view goes is deleted with it.
class CSearchDlg : public QDialog {
    Q_OBJECT

public:
    using RecordsetPtr = std::shared_ptr<tessor::provider::Recordset>;

    // `fieldIndex` is the field selected at first, `findText` the text shown to find.
    CSearchDlg(CRecordsetView* view, RecordsetPtr recordset, int fieldIndex,
               const QString& findText, QWidget* parent = nullptr);
    ~CSearchDlg() override;

    // Loads the options, fills the controls and translates them (section "Search Dialog").
    void OnInitDialog();
    // One search from the current record, in the chosen direction.
    void OnFindNext();
    // Takes the controls' values and writes the options to the settings file, once; the
    // destructor does it for a dialog that never got the call.
    void OnDestroy();

    int m_fieldIndex = 0;
    QString m_findText;
    int m_direction = 1;   // 0 up, 1 down
    int m_matchWhole = 0;
    int m_matchCase = 0;   // kept in the settings, no effect on the search
    QString m_settingsDir;

    QComboBox* FieldCombo() const { return m_combo; }
    QLineEdit* FindEdit() const { return m_edit; }

public slots:
    void done(int result) override;

private:
    void UpdateData();
    void ShowMessage(const QString& text);

    RecordsetPtr m_pRecordset;
    QPointer<CRecordsetView> m_pView;
    QLineEdit* m_edit = nullptr;
    QComboBox* m_combo = nullptr;
    QCheckBox* m_whole = nullptr;
    QCheckBox* m_case = nullptr;
    QRadioButton* m_up = nullptr;
    QRadioButton* m_down = nullptr;
    bool m_destroyed = false;
};
