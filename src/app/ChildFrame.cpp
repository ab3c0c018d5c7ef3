#include "app/ChildFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSplitter>
#include <QStyle>

#include <memory>

#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "db/FileAccess.h"
#include "grid/RecordsetView.h"
#include "lang/LangText.h"
#include "preview/ImagePreviewWnd.h"
#include "res/Events.h"
#include "res/ResourceIds.h"
#include "schema/FieldCommands.h"

namespace {

// The platform's save dialog for a copy of the database; it asks before replacing a file.
QString chooseCopyFile(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QStringLiteral("mdb"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

CChildFrame::CChildFrame(CMainFrame* mainFrame, const QString& iniPath)
    : m_strIniPath(iniPath), m_pMainFrame(mainFrame), m_chooseSaveFile(chooseCopyFile) {
    OnCreateClient();
}

CChildFrame::~CChildFrame() {
    if (!m_pMainFrame) return;
    QEvent closed(res::eventType(res::WM_CHILD_CLOSED));
    QCoreApplication::sendEvent(m_pMainFrame, &closed);
}

void CChildFrame::OnCreateClient() {
    m_wndSplitter = new QSplitter(Qt::Horizontal, this);
    m_wndSplitter->setChildrenCollapsible(false);
    m_pView = new CRecordsetView(m_wndSplitter);
    m_pPreview = new CImagePreviewWnd(m_wndSplitter);
    m_wndSplitter->addWidget(m_pView);
    m_wndSplitter->addWidget(m_pPreview);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_wndSplitter);

    m_pView->SetFrame(this);
    m_pView->OnInitialUpdate();
    schema::InstallCommands(m_pView);
    // Save As reopens the copy with the password the database has now.
    connect(m_pView, &CRecordsetView::PasswordChanged, this,
            [this](const QString& password) { m_szPassword = password; });
    setFocusProxy(m_pView);
}

void CChildFrame::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (m_bPlaced) return;
    m_bPlaced = true;
    // A new table window covers the client area, less one caption and one scroll bar height.
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub && sub->mdiArea()) {
        const QSize client = sub->mdiArea()->viewport()->size();
        const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
        const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        sub->setGeometry(0, 0, client.width(), client.height() - caption - scrollBar);
    }
    const QSize outer = sub ? sub->frameGeometry().size() : frameGeometry().size();
    m_wndSplitter->setSizes({outer.width() * 3 / 4, outer.width() / 4});
}

int CChildFrame::OpenTable(const QString& path, const QString& table, const QString& password) {
    if (!m_pView) return 0;
    if (!m_pView->OpenRecordset(path, table, password) && m_pView->OpenWasCanceled()) {
        // Stopped while the table was read: the window goes, as if it had never opened.
        if (parentWidget())
            parentWidget()->close();
        else
            close();
        return 0;
    }
    m_pPreview->SetRecordset(m_pView->GetRecordset());
    setWindowTitle(table);
    m_szPath = path;
    m_szTable = table;
    m_szPassword = password;
    return 1;
}

bool CChildFrame::event(QEvent* e) {
    switch (res::windowMessage(e->type())) {
        case res::WM_RECORD_CHANGED:
            if (m_pPreview) m_pPreview->UpdatePreview();
            break;
        case res::WM_RECORDSET_REPLACED:
            if (m_pPreview && m_pView) m_pPreview->SetRecordset(m_pView->GetRecordset());
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

bool CChildFrame::HandlesCommand(int id) const {
    switch (id) {
        case res::ID_FILE_CLOSE:
        case res::ID_FILE_SAVE:
        case res::ID_FILE_SAVE_AS:
        case res::ID_NEXT_PANE:
        case res::ID_PREV_PANE:
            return true;
        default:
            break;
    }
    auto* view = dynamic_cast<const app::CommandTarget*>(m_pView);
    return view && view->HandlesCommand(id);
}

bool CChildFrame::OnCommand(int id) {
    // The record view comes first on the route, as the active view of this window.
    if (auto* view = dynamic_cast<app::CommandTarget*>(m_pView); view && view->OnCommand(id))
        return true;
    switch (id) {
        case res::ID_FILE_CLOSE:
            if (parentWidget())
                parentWidget()->close();
            else
                close();
            return true;
        case res::ID_FILE_SAVE:
            // Every change is already in the file: there is nothing to save.
            return true;
        case res::ID_FILE_SAVE_AS:
            OnFileSaveAs();
            return true;
        case res::ID_NEXT_PANE:
        case res::ID_PREV_PANE:
            SwitchPane(id == res::ID_NEXT_PANE);
            return true;
        default:
            return false;
    }
}

bool CChildFrame::CanDoCommand(int nWhich) {
    return m_pView && m_pView->CanDoCommand(nWhich);
}

void CChildFrame::SwitchPane(bool next) {
    // With two panes the next and the previous one are the same: the other one.
    (void)next;
    QWidget* focus = QApplication::focusWidget();
    const bool inView = focus && (focus == m_pView || m_pView->isAncestorOf(focus));
    QWidget* target = inView ? static_cast<QWidget*>(m_pPreview) : m_pView;
    target->setFocus(Qt::OtherFocusReason);
}

void CChildFrame::OnFileSaveAs() {
    const QString chosen =
        m_chooseSaveFile ? m_chooseSaveFile(this, CMainApp::DatabaseFilter()) : QString();
    if (chosen.isEmpty()) return;
    const QString path = QFileInfo(chosen).absoluteFilePath();
    if (path == m_szPath) return;
    // Another name for the same file (a link, "..") is the same file: copying it onto itself
    // would replace the file this window holds.
    const QFileInfo target(path);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(m_szPath).canonicalFilePath())
        return;

    // A file that another table window (or anyone) holds, or that may not be written, is not
    // replaced.
    bool copied = !target.exists() || db::TestExclusive(path);
    CLangText lang;
    lang.SetIniFile(m_strIniPath);
    lang.SetSection(QStringLiteral("APP"));
    if (copied) {
        // A large file shows how far the copy is; stopping it leaves the target as it was and
        // this window on the original, without a message.
        const qint64 total = QFileInfo(m_szPath).size();
        std::unique_ptr<QProgressDialog> progress;
        if (total >= kSaveProgressBytes) {
            progress = std::make_unique<QProgressDialog>(
                lang.GetText(QStringLiteral("Saving a copy of the database...")),
                lang.GetText(QStringLiteral("Cancel")), 0, 1000, this);
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
            progress->setAutoReset(false);
            progress->setValue(0);
        }
        copied = db::CopyFileWhole(m_szPath, path, [&progress, total](qint64 done) {
            if (!progress) return true;
            progress->setValue(static_cast<int>(done * 1000 / total));
            return !progress->wasCanceled();
        });
        const bool stopped = !copied && progress && progress->wasCanceled();
        progress.reset();
        if (stopped) return;
    }
    if (copied) {
        OpenTable(path, m_szTable, m_szPassword);
        return;
    }
    QMessageBox::warning(this, QStringLiteral("Tessor"),
                         lang.GetText(QStringLiteral("Save database file failed")));
}
