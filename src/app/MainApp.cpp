#include "app/MainApp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QUrl>

#include "app/AboutDlg.h"
#include "app/AppResources.h"
#include "app/AppVersion.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "res/ResourceIds.h"
#include "wizard/NewSheet.h"

namespace {

// The platform's open dialog as the Open command runs it: a default extension, and a typed
// name of a file that does not exist is let through (opening it is refused afterwards).
QString chooseDatabaseFile(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QStringLiteral("mdb"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

CMainApp::CMainApp(const QString& appDir, QObject* parent)
    : QObject(parent),
      m_strAppDir(appDir.isEmpty() ? QCoreApplication::applicationDirPath() : appDir),
      m_chooseFile(chooseDatabaseFile),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_createChild([this](CMainFrame* frame) { return new CChildFrame(frame, IniPath()); }) {
    AddHandler(res::ID_FILE_NEW, [this] { OnFileNew(); });
    AddHandler(res::ID_FILE_OPEN, [this] { OnFileOpen(); });
    AddHandler(res::ID_APP_ABOUT, [this] { OnAppAbout(); });
    AddHandler(res::ID_HELP, [this] { OnHelp(); });
}

CMainApp::~CMainApp() {
    delete m_pMainFrame;
    delete m_hMDIMenu;
}

QString CMainApp::IniPath() const {
    return m_strAppDir + QStringLiteral("/DB_ML.ini");
}

QString CMainApp::DatabaseFilter() {
    return QStringLiteral("Acess Format (*.mdb)");
}

bool CMainApp::InitInstance() {
    // The framework's own settings live under this name; the program stores nothing there.
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessor"));

    m_lang.SetIniFile(IniPath());
    m_lang.SetSection(QStringLiteral("APP"));

    auto* frame = new CMainFrame;
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    if (!frame->Create(IniPath())) {
        delete frame;
        return false;
    }
    frame->SetAppTarget(this);
    m_pMainFrame = frame;

    m_hMDIMenu = app::loadMenu(res::IDM_TABLE_MENU, nullptr);
    m_lang.SetSection(QStringLiteral("Menu"));
    m_lang.TranslateMenu(m_hMDIMenu, nullptr);

    // Without a window manager a maximise request is not acted on; the frame then still covers
    // the screen.
    if (QScreen* screen = frame->screen()) frame->resize(screen->availableGeometry().size());
    frame->showMaximized();
    m_lang.SetSection(QStringLiteral("APP"));
    return true;
}

int CMainApp::ExitInstance(int code) {
    return code;
}

bool CMainApp::HandlesCommand(int id) const {
    return m_handlers.count(id) != 0;
}

bool CMainApp::OnCommand(int id) {
    const auto it = m_handlers.find(id);
    if (it == m_handlers.end()) return false;
    it->second();
    return true;
}

void CMainApp::OnFileOpen() {
    const QString path = m_chooseFile ? m_chooseFile(m_pMainFrame, DatabaseFilter()) : QString();
    if (path.isEmpty()) return;
    OpenDatabase(QFileInfo(path).absoluteFilePath());
}

void CMainApp::OnFileNew() {
    // The wizard makes the file on Finish; only a file made without a flagged failure is opened.
    CNewSheet sheet(m_strAppDir, nullptr);
    sheet.setWindowTitle(QStringLiteral("New File"));
    if (m_prepareSheet) m_prepareSheet(sheet);
    if (sheet.exec() != QDialog::Accepted || sheet.m_bCreateFailed != 0) return;
    if (sheet.m_strDbPath.isEmpty()) return;
    OpenDatabase(QFileInfo(sheet.m_strDbPath).absoluteFilePath());
}

void CMainApp::OnAppAbout() {
    CAboutDlg dlg(IniPath(), QString::fromLatin1(app::kFileVersion), m_pMainFrame);
    dlg.exec();
}

void CMainApp::OnHelp() {
    // The help is one HTML page, which every Linux desktop opens with its browser; a compiled
    // help file would need a viewer that few systems have.
    const QString path = m_strAppDir + QStringLiteral("/Tessor.html");
    // A missing help file is no error: nothing happens.
    if (!QFileInfo(path).isFile() || !m_openUrl) return;
    m_openUrl(QUrl::fromLocalFile(path));
}
