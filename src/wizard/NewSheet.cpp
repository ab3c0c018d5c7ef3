#include "wizard/NewSheet.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "res/ResourceIds.h"
#include "schema/NameDlg.h"

namespace {

// The platform's file dialog as the Browse buttons run it: the save dialog asks before a file
// is replaced.
QString chooseFile(QWidget* parent, bool save, const QString& filter, const QString& suffix) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QPushButton* button(const QString& text, int id, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setProperty("controlId", id);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* edit(int id, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setProperty("controlId", id);
    return e;
}

}  // namespace

CWizardPage::CWizardPage(const QString& section, const QString& captionKey, int resourceId)
    : m_strSection(section), m_strCaptionKey(captionKey) {
    setProperty("resourceId", resourceId);
}

void CWizardPage::OnSetActive(CNewSheet* sheet) {
    m_lang.SetIniFile(sheet->IniPath());
    m_lang.SetSection(m_strSection);
    m_lang.TranslateWindow(this);
    sheet->setWindowTitle(m_lang.GetText(m_strCaptionKey));
    // A page's text arrives selected, so that typing replaces a proposal such as "Table1"
    // instead of adding to it.
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->selectAll();
}

CNewSheet* CWizardPage::Sheet() const {
    return qobject_cast<CNewSheet*>(wizard());
}

void CWizardPage::ShowMessage(const QString& key) {
    QMessageBox::warning(this, QStringLiteral("Tessor"), m_lang.GetText(key));
}

QLineEdit* CWizardPage::AddPathRow(const QString& labelText, int editId, int browseId,
                                   QString* value, const std::function<void()>& onBrowse) {
    auto* label = new QLabel(labelText, this);
    QLineEdit* pathEdit = edit(editId, this);
    auto* browse = button(QStringLiteral("Browse"), browseId, this);
    connect(browse, &QPushButton::clicked, this, onBrowse);
    connect(pathEdit, &QLineEdit::editingFinished, this,
            [value, pathEdit] { *value = pathEdit->text(); });
    auto* row = new QHBoxLayout;
    row->addWidget(pathEdit, 1);
    row->addWidget(browse);
    auto* top = new QVBoxLayout(this);
    top->addWidget(label);
    top->addLayout(row);
    top->addStretch();
    return pathEdit;
}

void CWizardPage::BrowseInto(QLineEdit* pathEdit, QString* value, bool save,
                             const QString& filter, const QString& suffix) {
    CNewSheet* sheet = Sheet();
    const QString path =
        sheet && sheet->m_chooseFile ? sheet->m_chooseFile(this, save, filter, suffix) : QString();
    if (path.isEmpty()) return;
    *value = path;
    pathEdit->setText(path);
}

CNewPage::CNewPage()
    : CWizardPage(QStringLiteral("New Page"), QStringLiteral("New File: Step 1/4"),
                  res::IDD_NEW_PAGE) {
    m_edit = AddPathRow(QStringLiteral("New Database File Path"), res::IDC_DB_PATH,
                        res::IDC_DB_PATH_BROWSE, &m_strPath, [this] { OnBrowse(); });
}

bool CNewPage::validatePage() {
    m_strPath = m_edit->text();
    // Only an empty text is refused: a path of blanks goes on.
    if (m_strPath.isEmpty()) {
        ShowMessage(QStringLiteral("Please input the path of database file"));
        return false;
    }
    return true;
}

void CNewPage::OnBrowse() {
    BrowseInto(m_edit, &m_strPath, true, QStringLiteral("Acess Format (*.mdb)"),
               QStringLiteral("mdb"));
}

CTablePage::CTablePage()
    : CWizardPage(QStringLiteral("Table Page"), QStringLiteral("New File: Step 2/4"),
                  res::IDD_TABLE_PAGE) {
    auto* label = new QLabel(QStringLiteral("New Table Name"), this);
    m_edit = edit(res::IDC_TABLE_NAME, this);
    m_edit->setText(m_strTableName);
    connect(m_edit, &QLineEdit::editingFinished, this, [this] { m_strTableName = m_edit->text(); });
    auto* top = new QVBoxLayout(this);
    top->addWidget(label);
    top->addWidget(m_edit);
    top->addStretch();
}

bool CTablePage::validatePage() {
    m_strTableName = m_edit->text();
    if (m_strTableName.isEmpty()) {
        ShowMessage(QStringLiteral("Please input name of table"));
        return false;
    }
    return true;
}

CMethodPage::CMethodPage()
    : CWizardPage(QStringLiteral("Method Page"), QStringLiteral("New File: Step 3/4"),
                  res::IDD_METHOD_PAGE) {
    auto* fromTemplate =
        new QRadioButton(QStringLiteral("Auto Create Based on Existed Template"), this);
    fromTemplate->setProperty("controlId", res::IDC_METHOD_TEMPLATE);
    auto* manual = new QRadioButton(QStringLiteral("Manual Create"), this);
    manual->setProperty("controlId", res::IDC_METHOD_MANUAL);
    m_group = new QButtonGroup(this);
    m_group->addButton(fromTemplate, 0);
    m_group->addButton(manual, 1);
    fromTemplate->setChecked(true);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { m_nMethod = id; });
    auto* top = new QVBoxLayout(this);
    top->addWidget(fromTemplate);
    top->addWidget(manual);
    top->addStretch();
}

bool CMethodPage::validatePage() {
    m_nMethod = m_group->checkedId();
    return m_nMethod == 0 || m_nMethod == 1;
}

int CMethodPage::nextId() const {
    // The step-4 page the chosen method needs; both exist in the sheet at once.
    return m_group->checkedId() == 1 ? CNewSheet::kFieldPage : CNewSheet::kTemplatePage;
}

CTemplatePage::CTemplatePage()
    : CWizardPage(QStringLiteral("Template Page"), QStringLiteral("New File: Step 4/4"),
                  res::IDD_TEMPLATE_PAGE) {
    m_edit = AddPathRow(QStringLiteral("Template Path"), res::IDC_TEMPLATE_PATH,
                        res::IDC_TEMPLATE_BROWSE, &m_strTemplatePath, [this] { OnBrowse(); });
    setFinalPage(true);
}

bool CTemplatePage::validatePage() {
    m_strTemplatePath = m_edit->text();
    if (m_strTemplatePath.isEmpty()) {
        ShowMessage(QStringLiteral("Please input the path of template file"));
        return false;
    }
    // The wizard closes whatever the creation reported; the sheet's flags tell the rest.
    if (CNewSheet* sheet = Sheet()) sheet->SendCreate(0);
    return true;
}

void CTemplatePage::OnBrowse() {
    BrowseInto(m_edit, &m_strTemplatePath, false, QStringLiteral("CardWeave Format (*.mds)"),
               QStringLiteral("mds"));
}

CFieldPage::CFieldPage()
    : CWizardPage(QStringLiteral("Field Page"), QStringLiteral("New File: Step 4/4"),
                  res::IDD_FIELD_PAGE) {
    auto* label = new QLabel(QStringLiteral("Field"), this);
    m_listFields = new QListWidget(this);
    m_listFields->setProperty("controlId", res::IDC_PAGE_FIELD_LIST);
    m_listFields->setSortingEnabled(false);
    auto* add = button(QStringLiteral("New"), res::IDC_PAGE_FIELD_NEW, this);
    auto* remove = button(QStringLiteral("Delete"), res::IDC_PAGE_FIELD_DELETE, this);
    auto* rename = button(QStringLiteral("Rename"), res::IDC_PAGE_FIELD_RENAME, this);
    connect(add, &QPushButton::clicked, this, &CFieldPage::OnNew);
    connect(remove, &QPushButton::clicked, this, &CFieldPage::OnDelete);
    connect(rename, &QPushButton::clicked, this, &CFieldPage::OnRename);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(rename);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(m_listFields, 1);
    row->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->addWidget(label);
    top->addLayout(row);
    setFinalPage(true);
}

bool CFieldPage::validatePage() {
    if (m_listFields->count() == 0) {
        ShowMessage(QStringLiteral("Please new a least one field"));
        return false;
    }
    if (CNewSheet* sheet = Sheet()) sheet->SendCreate(1);
    return true;
}

QString CFieldPage::ProposedName() const {
    int n = m_listFields->count();
    if (n == 0) return QStringLiteral("Field1");
    for (;;) {
        const QString name = QStringLiteral("Field%1").arg(++n);
        bool taken = false;
        for (int i = 0; i < m_listFields->count() && !taken; ++i)
            taken = m_listFields->item(i)->text() == name;
        if (!taken) return name;
    }
}

void CFieldPage::OnNew() {
    CNameDlg dlg(this);
    dlg.m_nMode = 0;
    dlg.m_strName = ProposedName();
    dlg.m_pList = m_listFields;
    if (dlg.exec() != QDialog::Accepted) return;
    m_listFields->addItem(dlg.m_strName);
}

void CFieldPage::OnRename() {
    const int row = m_listFields->currentRow();
    QListWidgetItem* item = row >= 0 ? m_listFields->item(row) : nullptr;
    if (!item || !item->isSelected()) {
        ShowMessage(QStringLiteral("Please select field"));
        return;
    }
    CNameDlg dlg(this);
    dlg.m_nMode = 1;
    dlg.m_strName = item->text();
    dlg.m_pList = m_listFields;
    if (dlg.exec() != QDialog::Accepted) return;
    delete m_listFields->takeItem(row);
    m_listFields->insertItem(row, dlg.m_strName);
    m_listFields->setCurrentRow(row);
}

void CFieldPage::OnDelete() {
    const int row = m_listFields->currentRow();
    QListWidgetItem* item = row >= 0 ? m_listFields->item(row) : nullptr;
    if (!item || !item->isSelected()) {
        ShowMessage(QStringLiteral("Please select field"));
        return;
    }
    if (QMessageBox::question(this, QStringLiteral("Tessor"),
                              m_lang.GetText(QStringLiteral("Delete field")),
                              QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    delete m_listFields->takeItem(row);
}

CNewSheet::CNewSheet(const QString& appDir, QWidget* parent)
    : QWizard(parent),
      m_newPage(new CNewPage),
      m_tablePage(new CTablePage),
      m_methodPage(new CMethodPage),
      m_templatePage(new CTemplatePage),
      m_fieldPage(new CFieldPage),
      m_chooseFile(chooseFile),
      m_strAppDir(appDir.isEmpty() ? QCoreApplication::applicationDirPath() : appDir) {
    setWindowTitle(QStringLiteral("New File"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage, false);
    setPage(kNewPage, m_newPage);
    setPage(kTablePage, m_tablePage);
    setPage(kMethodPage, m_methodPage);
    setPage(kTemplatePage, m_templatePage);
    setPage(kFieldPage, m_fieldPage);
    setStartId(kNewPage);
    m_lang.SetIniFile(IniPath());
    m_lang.SetSection(QStringLiteral("New Sheet"));
    // Back follows the pages actually passed, so it leads from either step-4 page to step 3.
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (auto* page = qobject_cast<CWizardPage*>(this->page(id))) page->OnSetActive(this);
    });
}

void CNewSheet::SendCreate(int mode) {
    CreateEvent request(mode);
    QCoreApplication::sendEvent(this, &request);
}

bool CNewSheet::event(QEvent* e) {
    if (res::windowMessage(e->type()) == res::WM_NEWDB_CREATE) {
        CreateDatabase(static_cast<CreateEvent*>(e)->m_nMode);
        return true;
    }
    return QWizard::event(e);
}

void CNewSheet::ShowMessage(const QString& text) {
    QMessageBox::warning(this, QStringLiteral("Tessor"), text);
}
