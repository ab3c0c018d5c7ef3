#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include "app/CommandTarget.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QShortcut;
class QToolBar;

// The main window: menu bar, the start and record toolbars, the status bar, and the client
// area in which one window per open table lives. Commands from its menus, toolbars and
// accelerators go first to the active table window, then to this window, then to the
// application; a popup's items are greyed by that route and, for the table menus, by the
// active table's CanDoCommand answers.
class CMainFrame : public QMainWindow, public app::CommandTarget {
    Q_OBJECT

public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds bars and menu and translates menu 128 from `iniPath`, section "Menu". False when
    // a part cannot be made; the window is then unusable.
    bool Create(const QString& iniPath);

    // The application, the last target on the command route. May be null.
    void SetAppTarget(app::CommandTarget* target);

    // Shows the record toolbar in place of the start toolbar unless it is already showing.
    void ShowRecordToolbar();
    // Shows the start toolbar again when no table window is left.
    void RestoreStartToolbar();

    // Puts a table window into the client area; while a table window is active the menu bar
    // shows `sharedMenu` (a root menu as app::loadMenu makes it). Null when `frame` is null.
    QMdiSubWindow* AddChildFrame(QWidget* frame, QMenu* sharedMenu);
    // The table window that commands go to, or null.
    QWidget* ActiveChildFrame() const;

    // Runs a command on the first target of the route that handles it.
    bool RouteCommand(int id);
    // Whether some target on the route handles the command.
    bool RouteHandles(int id) const;

    // Enables the items of a popup as the route and the active table allow; `index` is the
    // popup's position in the menu bar.
    void OnInitMenuPopup(QMenu* popup, int index);

    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override;

    QMdiArea* MdiArea() const { return m_mdiArea; }
    QMenu* MainMenu() const { return m_mainMenu; }
    QToolBar* StartToolBar() const { return m_wndToolBar; }
    QToolBar* RecordToolBar() const { return m_wndRecordBar; }
    // The status bar pane with identifier `id` (res::ID_INDICATOR_*), or null.
    QLabel* StatusPane(int id) const;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QToolBar* CreateToolBar(int resourceId);
    bool CreateStatusBar();
    void ShowMenu(QMenu* root);
    void WatchPopups(QMenu* root);
    void UpdateMenuBar();
    void UpdateToolbarStates();
    void UpdateAcceleratorStates();
    void RouteMenuItems(QMenu* popup);
    void OnChildClosed();
    void ListTableWindows(QMenu* popup);
    int LiveChildCount() const;

    QMdiArea* m_mdiArea = nullptr;
    QMenu* m_mainMenu = nullptr;         // menu 128, owned by this window
    QToolBar* m_wndToolBar = nullptr;    // start toolbar, resource 128
    QToolBar* m_wndRecordBar = nullptr;  // record toolbar, resource 129
    QHash<int, QLabel*> m_statusPanes;   // indicator panes by identifier
    QHash<QMdiSubWindow*, QPointer<QMenu>> m_childMenus;
    QList<QPair<QShortcut*, int>> m_accelerators;  // the accelerator table: shortcut, command
    QList<QMenu*> m_watchedRoots;                  // root menus whose popups report their opening
    QPointer<QMenu> m_shownRoot;
    app::CommandTarget* m_pAppTarget = nullptr;
    bool m_bDestroying = false;
};
