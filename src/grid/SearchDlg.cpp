#include "provider/Constants.h"
#include "provider/Field.h"
#include "provider/Fields.h"
#include "provider/Recordset.h"

#include "grid/SearchDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "grid/FindSettings.h"
#include "grid/RecordsetView.h"
#include "grid/SearchCriterion.h"
#include "lang/LangText.h"
#include "preview/DibUtil.h"
#include "res/ResourceIds.h"

namespace ado = tessor::provider::ado;

namespace {

const QString kSection = QStringLiteral("Search Dialog");

template <typename W>
W* control(W* w, int id) {
    w->setProperty("controlId", id);
    return w;
}

}  // namespace

CSearchDlg::CSearchDlg(CRecordsetView* view, RecordsetPtr recordset, int fieldIndex,
                       const QString& findText, QWidget* parent)
    : QDialog(parent),
      m_fieldIndex(fieldIndex),
      m_findText(findText),
      m_pRecordset(std::move(recordset)),
      m_pView(view) {
    setWindowTitle(QStringLiteral("Search"));
    setProperty("resourceId", res::IDD_SEARCH);
    setModal(false);

    auto* findLabel = new QLabel(QStringLiteral("Find what"), this);
    m_edit = control(new QLineEdit(this), res::IDC_FIND_TEXT);
    findLabel->setBuddy(m_edit);
    auto* fieldLabel = new QLabel(QStringLiteral("Field"), this);
    m_combo = control(new QComboBox(this), res::IDC_FIND_FIELD);
    fieldLabel->setBuddy(m_combo);
    // Kept from the form the dialog was drawn on; replacing is not offered.
    auto* replaceLabel = new QLabel(QStringLiteral("Replace with"), this);
    auto* replaceEdit = control(new QLineEdit(this), res::IDC_REPLACE_TEXT);
    auto* replace = control(new QPushButton(QStringLiteral("Replace"), this), res::IDC_REPLACE);
    auto* replaceAll =
        control(new QPushButton(QStringLiteral("Replace All"), this), res::IDC_REPLACE_ALL);
    for (QWidget* w : {static_cast<QWidget*>(replaceLabel), static_cast<QWidget*>(replaceEdit),
                       static_cast<QWidget*>(replace), static_cast<QWidget*>(replaceAll)})
        w->hide();

    m_whole = control(new QCheckBox(QStringLiteral("Match whole field"), this),
                      res::IDC_MATCH_WHOLE);
    m_case = control(new QCheckBox(QStringLiteral("Match case"), this), res::IDC_MATCH_CASE);
    m_case->hide();
    auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
    m_up = control(new QRadioButton(QStringLiteral("Up"), direction), res::IDC_DIRECTION_UP);
    m_down =
        control(new QRadioButton(QStringLiteral("Down"), direction), res::IDC_DIRECTION_DOWN);
    auto* directionRow = new QHBoxLayout(direction);
    directionRow->addWidget(m_up);
    directionRow->addWidget(m_down);

    auto* findNext =
        control(new QPushButton(QStringLiteral("Find Next"), this), res::IDC_FIND_NEXT);
    // Enter ends the dialog as OK; Find Next is pressed on purpose.
    findNext->setAutoDefault(false);
    auto* close = control(new QPushButton(QStringLiteral("Close"), this), 2);
    close->setAutoDefault(false);
    connect(findNext, &QPushButton::clicked, this, &CSearchDlg::OnFindNext);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(findLabel, 0, 0);
    fields->addWidget(m_edit, 0, 1);
    fields->addWidget(fieldLabel, 1, 0);
    fields->addWidget(m_combo, 1, 1);
    fields->addWidget(replaceLabel, 2, 0);
    fields->addWidget(replaceEdit, 2, 1);
    auto* options = new QVBoxLayout;
    options->addWidget(m_whole);
    options->addWidget(m_case);
    options->addStretch();
    auto* lower = new QHBoxLayout;
    lower->addLayout(options);
    lower->addWidget(direction);
    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(lower);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNext);
    buttons->addWidget(close);
    buttons->addWidget(replace);
    buttons->addWidget(replaceAll);
    buttons->addStretch();
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(buttons);
    m_edit->setMinimumWidth(220);
}

CSearchDlg::~CSearchDlg() {
    OnDestroy();
}

void CSearchDlg::OnInitDialog() {
    m_settingsDir = grid::FindSettings::Folder(CDibUtil().GetWindowsVersion());
    grid::FindSettings settings;
    settings.whole = m_matchWhole;
    settings.matchCase = m_matchCase;
    settings.direction = m_direction;
    settings.Load(grid::FindSettings::FilePath(m_settingsDir));
    m_matchWhole = settings.whole;
    m_matchCase = settings.matchCase;
    m_direction = settings.direction;
    m_whole->setChecked(m_matchWhole != 0);
    m_case->setChecked(m_matchCase != 0);
    (m_direction == 0 ? m_up : m_down)->setChecked(true);

    m_combo->clear();
    try {
        if (m_pRecordset && m_pRecordset->isOpen()) {
            const auto& fields = m_pRecordset->fields();
            for (size_t i = 0; i < fields.count(); ++i)
                m_combo->addItem(QString::fromStdString(fields.item(i).name()));
        }
    } catch (const std::exception& e) {
        ShowMessage(CRecordsetView::ProviderText(e));
    }
    m_combo->setCurrentIndex(m_fieldIndex < m_combo->count() ? m_fieldIndex : -1);

    CLangText lang;
    lang.SetIniFile(CLangText::DefaultIniPath());
    lang.SetSection(kSection);
    lang.TranslateWindow(this);
    // The find text goes in after the labels are translated: it is the user's text, to be
    // searched as it stands even where it happens to match one of them.
    m_edit->setText(m_findText);
    m_edit->selectAll();
}

void CSearchDlg::UpdateData() {
    m_findText = m_edit->text();
    m_matchWhole = m_whole->isChecked() ? 1 : 0;
    m_matchCase = m_case->isChecked() ? 1 : 0;
    m_direction = m_up->isChecked() ? 0 : 1;
    m_fieldIndex = m_combo->currentIndex();
}

void CSearchDlg::OnFindNext() {
    UpdateData();
    if (!m_pRecordset || m_fieldIndex < 0) return;
    std::optional<std::string> criterion;
    try {
        // The name comes from the recordset, not from the combo: a name shown under its
        // translation is still searched by the name the table knows.
        const auto field = m_pRecordset->fields().item(static_cast<size_t>(m_fieldIndex));
        criterion = grid::SearchCriterion::make(field.name(), field.typeCode(),
                                                m_findText.toStdString(), m_matchWhole == 1);
    } catch (const std::exception& e) {
        ShowMessage(CRecordsetView::ProviderText(e));
        return;
    }
    if (!criterion) return;

    // A value still being typed is saved (or refused) before the search leaves its record.
    if (m_pView) m_pView->GetGrid().SetEditActive(false);
    const bool down = m_direction != 0;
    try {
        m_pRecordset->find(*criterion, 1, down ? ado::kSearchForward : ado::kSearchBackward);
    } catch (const std::exception& e) {
        ShowMessage(CRecordsetView::ProviderText(e));
    }
    bool found = true;
    try {
        if (!m_pRecordset->isOpen()) return;
        if (down && m_pRecordset->isEOF()) {
            found = false;
            m_pRecordset->moveLast();
        } else if (!down && m_pRecordset->isBOF()) {
            found = false;
            m_pRecordset->moveFirst();
        }
    } catch (const std::exception& e) {
        ShowMessage(CRecordsetView::ProviderText(e));
    }
    if (!m_pView) return;
    m_pView->FollowRecordset();
    if (!found) {
        CLangText lang;
        lang.SetIniFile(CLangText::DefaultIniPath());
        lang.SetSection(kSection);
        ShowMessage(lang.GetText(QStringLiteral("Can't find any record")));
        return;
    }
    if (m_pRecordset->isBOF() || m_pRecordset->isEOF()) return;
    FindSelectEvent select(m_fieldIndex, m_findText);
    QCoreApplication::sendEvent(m_pView, &select);
}

void CSearchDlg::done(int result) {
    QDialog::done(result);
    if (m_pView) {
        QEvent closed(res::eventType(res::WM_FIND_CLOSED));
        QCoreApplication::sendEvent(m_pView, &closed);
    }
}

void CSearchDlg::OnDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    UpdateData();
    if (m_settingsDir.isEmpty()) return;
    grid::FindSettings settings;
    settings.whole = m_matchWhole;
    settings.matchCase = m_matchCase;
    settings.direction = m_direction;
    // A settings file that cannot be written costs the user the options, nothing else.
    settings.Save(grid::FindSettings::FilePath(m_settingsDir));
}

void CSearchDlg::ShowMessage(const QString& text) {
    QMessageBox::information(this, QStringLiteral("Tessor"), text);
}
