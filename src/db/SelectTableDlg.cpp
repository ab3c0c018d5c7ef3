#include "provider/ProviderError.h"
#include "provider/Recordset.h"

#include "db/SelectTableDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "lang/LangText.h"
#include "res/ResourceIds.h"

using tessor::provider::ProviderError;

CSelectTableDlg::CSelectTableDlg(const QString& iniPath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select Table"));
    setProperty("resourceId", res::IDD_SELECT_TABLE);

    m_list = new QListWidget(this);
    m_list->setProperty("controlId", res::IDC_TABLE_LIST);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(ok, &QPushButton::clicked, this, &CSelectTableDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CSelectTableDlg::accept);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* top = new QHBoxLayout(this);
    top->addWidget(m_list, 1);
    top->addLayout(buttons);

    // The list is still empty here, so the walk leaves the table names alone.
    CLangText lang;
    lang.SetIniFile(iniPath);
    lang.SetSection(QStringLiteral("Select Table Dialog"));
    lang.TranslateWindow(this);
}

int CSelectTableDlg::exec() {
    if (!FillList()) return QDialog::Rejected;
    return QDialog::exec();
}

bool CSelectTableDlg::FillList() {
    m_list->clear();
    m_strError.clear();
    if (!m_pTables) return true;
    try {
        m_pTables->moveFirst();
        while (!m_pTables->isEOF()) {
            const auto& fields = m_pTables->fields();
            if (fields.item("TABLE_TYPE").text() == "TABLE")
                AddSorted(QString::fromStdString(fields.item("TABLE_NAME").text()));
            m_pTables->moveNext();
        }
    } catch (const ProviderError& e) {
        m_strError = QString::fromStdString(e.description());
        return false;
    }
    if (m_list->count() > 0) m_list->setCurrentRow(0);
    return true;
}

void CSelectTableDlg::AddSorted(const QString& name) {
    // A sorted list box orders its entries without regard to letter case.
    int at = 0;
    while (at < m_list->count()) {
        const QString other = m_list->item(at)->text();
        const int order = QString::compare(name, other, Qt::CaseInsensitive);
        if (order < 0 || (order == 0 && name < other)) break;
        ++at;
    }
    m_list->insertItem(at, name);
}

void CSelectTableDlg::accept() {
    QListWidgetItem* item = m_list->currentItem();
    // Nothing selected: nothing to open, the dialog stays.
    if (!item || !item->isSelected()) return;
    m_strTable = item->text();
    QDialog::accept();
}
