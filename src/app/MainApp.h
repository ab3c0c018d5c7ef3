#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>

#include "app/CommandTarget.h"
#include "app/MainFrame.h"
#include "lang/LangText.h"

class CNewSheet;
class QMenu;
class QUrl;
class QWidget;

// The application: starts and ends the program, owns the main window and the menu that every
// table window shares, and runs the commands that need no open table (Open, About, Help) and
// the opening of a database.
class CMainApp : public QObject, public app::CommandTarget {
    Q_OBJECT

public:
    // Asks for a file to open: returns the chosen path, or an empty text on cancel.
    using FileChooser = std::function<QString(QWidget* parent, const QString& filter)>;
    // Hands a URL to the desktop; the result is not looked at.
    using UrlOpener = std::function<bool(const QUrl& url)>;
    // Makes the window that shows an opened table (an app::TableWindow), or null when it
    // cannot be made.
    // Called on the new-database wizard before it runs (tests set its file dialogs there).
    using SheetPreparer = std::function<void(CNewSheet& sheet)>;
    using ChildFrameFactory = std::function<QWidget*(CMainFrame* mainFrame)>;

    // `appDir` is the folder that DB_ML.ini and Tessor.html are looked for in; empty means the
    // executable's folder.
    explicit CMainApp(const QString& appDir = {}, QObject* parent = nullptr);
    ~CMainApp() override;

    // Start-up: translation file, main window, shared menu, then shows the main window.
    // Command-line arguments are not looked at. False when the program cannot start.
    bool InitInstance();
    // End of the program; returns the exit code to use.
    int ExitInstance(int code = 0);

    // Opens a database file and shows one of its tables in a new table window, asking for a
    // password and a table as needed. Every outcome is a window or a message (or nothing after
    // a cancel).
    void OpenDatabase(const QString& path);

    void OnFileNew();
    void OnFileOpen();
    void OnAppAbout();
    void OnHelp();

    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override;

    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    void SetSheetPreparer(SheetPreparer prepare) { m_prepareSheet = std::move(prepare); }
    void SetChildFrameFactory(ChildFrameFactory factory) { m_createChild = std::move(factory); }

    CMainFrame* MainFrame() const { return m_pMainFrame; }
    QMenu* SharedChildMenu() const { return m_hMDIMenu; }
    CLangText& Lang() { return m_lang; }
    const QString& AppDir() const { return m_strAppDir; }
    QString IniPath() const;

    // The filter of the open and save dialogs, as the resources spell it.
    static QString DatabaseFilter();

private:
    void AddHandler(int id, std::function<void()> handler) { m_handlers[id] = std::move(handler); }

    QString m_strAppDir;
    CLangText m_lang;  // section "APP"
    QPointer<CMainFrame> m_pMainFrame;
    QMenu* m_hMDIMenu = nullptr;  // menu 129, shared by every table window
    std::map<int, std::function<void()>> m_handlers;
    FileChooser m_chooseFile;
    UrlOpener m_openUrl;
    ChildFrameFactory m_createChild;
    SheetPreparer m_prepareSheet;
};
