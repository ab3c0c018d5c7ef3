#include "db/DbPasswordDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "lang/LangText.h"
#include "res/ResourceIds.h"

CDbPasswordDlg::CDbPasswordDlg(const QString& iniPath, QWidget* parent)
    : QDialog(parent), m_strIniPath(iniPath) {
    setWindowTitle(QStringLiteral("Database Password"));
    setProperty("resourceId", res::IDD_DB_PASSWORD);

    auto* label = new QLabel(QStringLiteral("Password"), this);
    m_edit = new QLineEdit(this);
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setProperty("controlId", res::IDC_PASSWORD);
    label->setBuddy(m_edit);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(ok, &QPushButton::clicked, this, &CDbPasswordDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_edit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(row);
    top->addLayout(buttons);

    CLangText lang;
    lang.SetIniFile(m_strIniPath);
    lang.SetSection(QStringLiteral("Password Dialog"));
    lang.TranslateWindow(this);
}

void CDbPasswordDlg::accept() {
    m_strPassword = m_edit->text();
    if (m_strPassword.isEmpty()) {
        CLangText lang;
        lang.SetIniFile(m_strIniPath);
        lang.SetSection(QStringLiteral("Password Dialog"));
        QMessageBox::warning(this, QStringLiteral("Tessor"),
                             lang.GetText(QStringLiteral("Please Input Database Password!")));
        m_edit->setFocus();
        return;
    }
    QDialog::accept();
}
