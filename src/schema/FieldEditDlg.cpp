#include "schema/FieldEditDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

#include "provider/Connection.h"
#include "provider/Field.h"
#include "provider/Fields.h"
#include "provider/Recordset.h"
#include "db/ProviderText.h"
#include "res/ResourceIds.h"
#include "schema/FieldCommands.h"
#include "schema/NameDlg.h"
#include "schema/SchemaSql.h"

CFieldEditDlg::CFieldEditDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Field Edit"));
    setProperty("resourceId", res::IDD_FIELD_EDIT);

    auto* label = new QLabel(QStringLiteral("Field"), this);
    m_listFields = new QListWidget(this);
    m_listFields->setProperty("controlId", res::IDC_FIELD_LIST);
    m_listFields->setSelectionMode(QAbstractItemView::SingleSelection);
    auto button = [this](const char* text, int id) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setProperty("controlId", id);
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* ok = button("OK", res::IDOK);
    ok->setDefault(true);
    QPushButton* cancel = button("Cancel", res::IDCANCEL);
    QPushButton* add = button("New", res::IDC_FIELD_NEW);
    QPushButton* del = button("Delete", res::IDC_FIELD_DELETE);
    // Renaming a column is not offered; the button stays hidden.
    QPushButton* rename = button("Rename", res::IDC_FIELD_RENAME);
    rename->hide();
    connect(ok, &QPushButton::clicked, this, &CFieldEditDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, &CFieldEditDlg::OnNew);
    connect(del, &QPushButton::clicked, this, &CFieldEditDlg::OnDelete);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_listFields);
    setTabOrder(m_listFields, add);
    setTabOrder(add, del);

    auto* side = new QVBoxLayout;
    side->addWidget(add);
    side->addSpacing(16);
    side->addWidget(del);
    side->addStretch();
    auto* middle = new QGridLayout;
    middle->addWidget(label, 0, 0);
    middle->addWidget(m_listFields, 1, 0);
    middle->addLayout(side, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* top = new QVBoxLayout(this);
    top->addLayout(middle);
    top->addLayout(buttons);
}

int CFieldEditDlg::exec() {
    if (!OnInitDialog()) return QDialog::Rejected;
    const int result = QDialog::exec();
    m_changes.clear();
    m_indexColumns.clear();
    m_relationColumns.clear();
    return result;
}

bool CFieldEditDlg::OnInitDialog() {
    m_lang.SetIniFile(CLangText::DefaultIniPath());
    m_lang.SetSection(QStringLiteral("Field Page"));
    m_lang.TranslateWindow(this);
    // Column names are filled in after the translation: they are never translated.
    m_listFields->clear();
    m_changes.clear();
    try {
        if (m_pRecordset) {
            const size_t count = m_pRecordset->fields().count();
            for (size_t i = 0; i < count; ++i) {
                const QString name =
                    QString::fromStdString(m_pRecordset->fields().item(i).name());
                m_listFields->addItem(name);
                m_changes.push_back({name, QString(), FIELD_KEEP});
            }
        }
        if (m_pConnection) {
            m_strPrimaryKey = schema::PrimaryKeyColumn(*m_pConnection, m_strTable);
            m_indexColumns = schema::IndexColumns(*m_pConnection, m_strTable);
            m_relationColumns = schema::RelationshipColumns(*m_pConnection, m_strTable);
        }
    } catch (const std::exception& e) {
        // Without the table's design the refusals could not be told: nothing is offered.
        QMessageBox::warning(parentWidget(), QStringLiteral("Tessor"), db::ProviderText(e));
        return false;
    }
    return true;
}

void CFieldEditDlg::Message(const char* key) {
    QMessageBox::warning(this, QStringLiteral("Tessor"), m_lang.GetText(QString::fromLatin1(key)));
}

QString CFieldEditDlg::ProposedName(const QStringList& lines) {
    const int n = static_cast<int>(lines.size());
    if (n == 0) return QStringLiteral("Field1");
    for (int k = n + 1;; ++k) {
        const QString name = QStringLiteral("Field%1").arg(k);
        if (!lines.contains(name)) return name;
    }
}

void CFieldEditDlg::OnNew() {
    QStringList lines;
    for (int i = 0; i < m_listFields->count(); ++i)
        lines << m_listFields->item(i)->text();
    CNameDlg dlg(this);
    dlg.m_nMode = 0;
    dlg.m_strName = ProposedName(lines);
    dlg.m_pList = m_listFields;
    if (dlg.exec() != QDialog::Accepted) return;
    m_listFields->insertItem(0, dlg.m_strName);
    m_changes.push_front({QString(), dlg.m_strName, FIELD_ADD});
    m_bModified = true;
}

void CFieldEditDlg::OnDelete() {
    if (m_listFields->count() == 1) {
        Message("Must has at least one field");
        return;
    }
    const QList<QListWidgetItem*> picked = m_listFields->selectedItems();
    if (picked.isEmpty()) {
        Message("Please select field");
        return;
    }
    const int row = m_listFields->row(picked.front());
    const QString s = picked.front()->text();
    // A column added in this dialog is in no key, index or relationship yet.
    auto entry = std::next(m_changes.begin(), row);
    if (entry->action != FIELD_ADD) {
        if (!m_strPrimaryKey.isEmpty() && s == m_strPrimaryKey) {
            Message("Can't delete the field that set as primary key");
            return;
        }
        if (m_indexColumns.contains(s)) {
            Message("Can't delete the field that index reference");
            return;
        }
        if (m_relationColumns.contains(s)) {
            Message("Can't delete the field that a relationship uses");
            return;
        }
    }
    if (QMessageBox::question(this, QStringLiteral("Tessor"),
                              m_lang.GetText(QStringLiteral("Delete field")),
                              QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Ok) != QMessageBox::Ok)
        return;
    delete m_listFields->takeItem(row);
    FieldChange gone = *entry;
    m_changes.erase(entry);
    gone.action = FIELD_DELETE;
    m_changes.push_back(gone);
    m_bModified = true;
}

QStringList CFieldEditDlg::Statements() const {
    QStringList out;
    for (const FieldChange& c : m_changes) {
        if (c.action == FIELD_ADD)
            out << schema::AddColumn(m_strTable, c.newName, QStringLiteral("VARCHAR(255)"));
        else if (c.action == FIELD_DELETE && !c.oldName.isEmpty())
            out << schema::DropColumn(m_strTable, c.oldName);
    }
    return out;
}

void CFieldEditDlg::accept() {
    if (!m_bModified) {
        QDialog::accept();
        return;
    }
    if (QMessageBox::question(this, QStringLiteral("Tessor"),
                              m_lang.GetText(QStringLiteral("Apply Change")),
                              QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Ok) != QMessageBox::Ok) {
        QDialog::accept();
        return;
    }
    if (m_pConnection) {
        const long rows = m_pRecordset && m_pRecordset->isOpen() ? m_pRecordset->recordCount() : 0;
        schema::RunStatements(this, *m_pConnection, Statements(), rows);
    }
    QDialog::accept();
}
