#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// Asks for the password of a database that refused a plain open. OK with an empty entry is
// refused inside the dialog; on OK m_strPassword holds a non-empty text.
class CDbPasswordDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDbPasswordDlg(const QString& iniPath, QWidget* parent = nullptr);

    QString m_strPassword;  // control 1037

    QLineEdit* PasswordEdit() const { return m_edit; }

public slots:
    void accept() override;

private:
    QString m_strIniPath;
    QLineEdit* m_edit = nullptr;
};
