#include "schema/NameDlg.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "res/ResourceIds.h"

CNameEdit::CNameEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, &CNameEdit::OnTextEdited);
}

bool CNameEdit::IsNameChar(QChar c) {
    const char16_t u = c.unicode();
    if (u > 255) return true;
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
           u == '_' || u == '@' || u == ':';
}

QString CNameEdit::Filtered(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (IsNameChar(c)) out += c;
    return out;
}

void CNameEdit::keyPressEvent(QKeyEvent* e) {
    // A printable character typed without a command modifier is dropped silently when a name
    // may not hold it; keys that edit or move (backspace, arrows, shortcuts) go on as usual.
    const QString typed = e->text();
    const bool command = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (!command && typed.size() == 1 && typed[0].isPrint() && !IsNameChar(typed[0])) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void CNameEdit::OnTextEdited(const QString& text) {
    // Pasted or dropped text: a blank or a punctuation mark in it would reach the statement.
    const QString clean = Filtered(text);
    if (clean == text) return;
    const int cursor = cursorPosition();
    const int dropped = Filtered(text.left(cursor)).size();
    setText(clean);
    setCursorPosition(dropped);
}

CNameDlg::CNameDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Name"));
    setProperty("resourceId", res::IDD_NAME);

    auto* label = new QLabel(QStringLiteral("Field Name"), this);
    m_edit = new CNameEdit(this);
    m_edit->setProperty("controlId", res::IDC_NAME_EDIT);
    label->setBuddy(m_edit);
    auto* hint = new QLabel(QStringLiteral("A-Z  a-z  0-9 _  @ :"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setProperty("controlId", res::IDOK);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setProperty("controlId", res::IDCANCEL);
    connect(ok, &QPushButton::clicked, this, &CNameDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_edit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* top = new QVBoxLayout(this);
    top->addLayout(row);
    top->addWidget(hint, 0, Qt::AlignHCenter);
    top->addLayout(buttons);
    m_edit->setFocus();
}

int CNameDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CNameDlg::OnInitDialog() {
    m_edit->setText(m_strName);
    m_edit->selectAll();
    if (m_nMode == 0)
        setWindowTitle(QStringLiteral("New"));
    else if (m_nMode == 1)
        setWindowTitle(QStringLiteral("Rename"));
    m_lang.SetIniFile(CLangText::DefaultIniPath());
    m_lang.SetSection(QStringLiteral("Name Dialog"));
    m_lang.TranslateWindow(this);
}

void CNameDlg::accept() {
    m_strName = m_edit->text();
    auto refuse = [this](const char* key) {
        QMessageBox::warning(this, QStringLiteral("Tessor"),
                             m_lang.GetText(QString::fromLatin1(key)));
        m_edit->setFocus();
    };
    if (m_strName.isEmpty()) {
        refuse("Please input the name");
        return;
    }
    if (m_pList) {
        for (int i = 0; i < m_pList->count(); ++i) {
            if (m_pList->item(i)->text() != m_strName) continue;
            if (m_nMode == 1 && m_pList->item(i)->isSelected()) continue;
            refuse("The field name already exist");
            return;
        }
    }
    QDialog::accept();
}
