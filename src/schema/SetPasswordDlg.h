#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// Asks for a new database password twice and for the old one (empty: the database has none).
// OK with differing New and Confirm texts is refused inside the dialog. Enter in a field moves
// on to the next field (New, Confirm, Old, then OK), selecting its text.
class CSetPasswordDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSetPasswordDlg(QWidget* parent = nullptr);

    QString m_strConfirm;  // control 1037
    QString m_strNew;      // control 1036
    QString m_strOld;      // control 1038

    QLineEdit* NewEdit() const { return m_editNew; }
    QLineEdit* ConfirmEdit() const { return m_editConfirm; }
    QLineEdit* OldEdit() const { return m_editOld; }

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void UpdateData();

    QLineEdit* m_editNew = nullptr;
    QLineEdit* m_editConfirm = nullptr;
    QLineEdit* m_editOld = nullptr;
};
