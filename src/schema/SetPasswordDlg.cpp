#include "schema/SetPasswordDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "lang/LangText.h"
#include "res/ResourceIds.h"

namespace {

const QString kSection = QStringLiteral("Password Dialog");

}  // namespace

CSetPasswordDlg::CSetPasswordDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Password"));
    setProperty("resourceId", res::IDD_SET_PASSWORD);

    auto makeEdit = [this](int id) {
        auto* edit = new QLineEdit(this);
        edit->setEchoMode(QLineEdit::Password);
        edit->setProperty("controlId", id);
        edit->installEventFilter(this);
        return edit;
    };
    m_editNew = makeEdit(res::IDC_NEW_PASSWORD);
    m_editConfirm = makeEdit(res::IDC_CONFIRM_PASSWORD);
    m_editOld = makeEdit(res::IDC_OLD_PASSWORD);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setProperty("controlId", res::IDOK);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setProperty("controlId", res::IDCANCEL);
    connect(ok, &QPushButton::clicked, this, &CSetPasswordDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(m_editNew, m_editConfirm);
    setTabOrder(m_editConfirm, m_editOld);
    setTabOrder(m_editOld, ok);
    setTabOrder(ok, cancel);

    auto* grid = new QGridLayout;
    const std::pair<const char*, QLineEdit*> rows[] = {{"New Password:", m_editNew},
                                                       {"Confirm Password:", m_editConfirm},
                                                       {"Old Password:", m_editOld}};
    int r = 0;
    for (const auto& [text, edit] : rows) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(edit);
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
        ++r;
    }
    // The old password stands a little apart from the two new ones.
    grid->setRowMinimumHeight(2, m_editOld->sizeHint().height() + 8);
    grid->setRowStretch(2, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(12);
    top->addLayout(buttons);
    m_editNew->setFocus();

    CLangText lang;
    lang.SetIniFile(CLangText::DefaultIniPath());
    lang.SetSection(kSection);
    lang.TranslateWindow(this);
}

void CSetPasswordDlg::UpdateData() {
    m_strConfirm = m_editConfirm->text();
    m_strNew = m_editNew->text();
    m_strOld = m_editOld->text();
}

bool CSetPasswordDlg::eventFilter(QObject* watched, QEvent* e) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter in a field goes on to the next control in tab order.
            QWidget* next = edit->nextInFocusChain();
            while (next && next != edit && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            if (auto* nextEdit = qobject_cast<QLineEdit*>(next)) nextEdit->selectAll();
            if (next) next->setFocus(Qt::TabFocusReason);
            UpdateData();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void CSetPasswordDlg::accept() {
    if (m_editNew->text() != m_editConfirm->text()) {
        CLangText lang;
        lang.SetIniFile(CLangText::DefaultIniPath());
        lang.SetSection(kSection);
        QMessageBox::warning(
            this, QStringLiteral("Tessor"),
            lang.GetText(QStringLiteral("New Password and Confirm Password not the same!")));
        return;
    }
    UpdateData();
    QDialog::accept();
}
