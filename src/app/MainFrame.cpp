#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>

#include "app/AppResources.h"
#include "app/CommandStateSource.h"
#include "lang/LangText.h"
#include "res/Events.h"
#include "res/ResourceIds.h"

namespace {

// Which CanDoCommand group decides each item of the table menus, by the popup's position.
struct PopupRule {
    int position;
    int command;
    int group;
};
constexpr PopupRule kPopupRules[] = {
    {1, res::ID_EDIT_FIND, 3},  {1, res::ID_EDIT_CUT, 5},      {1, res::ID_EDIT_COPY, 4},
    {1, res::ID_EDIT_PASTE, 6}, {2, res::ID_FIELD_DESCEND, 0}, {2, res::ID_FIELD_ASCEND, 0},
    {3, res::ID_RECORD_ADD, 1}, {3, res::ID_RECORD_DELETE, 2},
};

int commandOf(const QAction* action) {
    if (action->isSeparator() || action->menu()) return 0;
    bool ok = false;
    const int id = action->data().toInt(&ok);
    return ok ? id : 0;
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {}

CMainFrame::~CMainFrame() {
    // Nothing may call back into members that are gone by the time the base class destroys
    // the child widgets: the menus' destroyed signals are cut, the table windows go now, and
    // their close notices are ignored from here on.
    m_bDestroying = true;
    qApp->removeEventFilter(this);
    for (QMenu* root : std::as_const(m_watchedRoots))
        disconnect(root, nullptr, this, nullptr);
    m_watchedRoots.clear();
    delete m_mdiArea;
    m_mdiArea = nullptr;
}

bool CMainFrame::Create(const QString& iniPath) {
    setWindowTitle(app::loadString(res::IDS_MAIN_TITLE));
    setWindowIcon(app::appIcon());
    m_mdiArea = new QMdiArea(this);
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this] {
        UpdateMenuBar();
        UpdateToolbarStates();
    });

    m_wndToolBar = CreateToolBar(res::IDR_START_TOOLBAR);
    if (!m_wndToolBar || !CreateStatusBar()) return false;
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    m_wndRecordBar = CreateToolBar(res::IDR_RECORD_TOOLBAR);
    if (!m_wndRecordBar) return false;

    m_mainMenu = app::loadMenu(res::IDM_MAIN_MENU, this);
    if (!m_mainMenu) return false;
    WatchPopups(m_mainMenu);
    ShowMenu(m_mainMenu);
    CLangText lang;
    lang.SetIniFile(iniPath);
    lang.SetSection(QStringLiteral("Menu"));
    lang.TranslateMenu(menuBar(), this);

    addToolBar(Qt::TopToolBarArea, m_wndRecordBar);
    m_wndRecordBar->hide();

    // The accelerators belong to the main window, so they serve the table windows as well.
    for (const app::Accelerator& accel : app::acceleratorTable()) {
        auto* shortcut = new QShortcut(accel.keys, this);
        const int id = accel.command;
        shortcut->setProperty("command", id);
        connect(shortcut, &QShortcut::activated, this, [this, id] { RouteCommand(id); });
        m_accelerators.append({shortcut, id});
    }
    // An accelerator whose command nobody runs is off, so that its key reaches the focused
    // control rather than vanishing: the states are brought up to date before each key is
    // matched against the accelerators.
    qApp->installEventFilter(this);
    UpdateToolbarStates();
    return true;
}

QToolBar* CMainFrame::CreateToolBar(int resourceId) {
    const std::vector<int> buttons = app::toolbarButtons(resourceId);
    if (buttons.empty()) return nullptr;
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("toolbar%1").arg(resourceId));
    // Both bars occupy the same slot of the frame, so they carry the same window identifier.
    bar->setProperty("windowId", res::AFX_IDW_TOOLBAR);
    bar->setProperty("resourceId", resourceId);
    bar->setIconSize(QSize(16, 15));
    bar->setMovable(true);
    bar->setFloatable(true);
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : buttons) {
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        QAction* action = bar->addAction(app::commandIcon(id), app::commandTip(id));
        action->setData(id);
        action->setToolTip(app::commandTip(id));
        action->setStatusTip(app::commandTip(id));
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
    return bar;
}

bool CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    if (!bar) return false;
    // The message pane is the bar's own; the indicator panes follow it, left to right.
    const struct {
        int id;
        const char* text;
    } panes[] = {{res::ID_INDICATOR_BLANK, "           "},
                 {res::ID_INDICATOR_CAPS, ""},
                 {res::ID_INDICATOR_NUM, ""},
                 {res::ID_INDICATOR_SCRL, ""}};
    const QFontMetrics metrics = bar->fontMetrics();
    for (const auto& pane : panes) {
        auto* label = new QLabel(QString::fromLatin1(pane.text), bar);
        label->setProperty("paneId", pane.id);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        // Lock indicators are as wide as their longest text, whether shown or not.
        const QString widest = pane.id == res::ID_INDICATOR_BLANK ? QString::fromLatin1(pane.text)
                                                                  : QStringLiteral("SCRL");
        label->setMinimumWidth(metrics.horizontalAdvance(widest) + 8);
        bar->addPermanentWidget(label);
        m_statusPanes.insert(pane.id, label);
    }
    return true;
}

QLabel* CMainFrame::StatusPane(int id) const {
    return m_statusPanes.value(id, nullptr);
}

void CMainFrame::WatchPopups(QMenu* root) {
    if (!root || m_watchedRoots.contains(root)) return;
    m_watchedRoots.append(root);
    connect(root, &QObject::destroyed, this, [this, root] { m_watchedRoots.removeAll(root); });
    const QList<QAction*> items = root->actions();
    for (int i = 0; i < items.size(); ++i) {
        QMenu* popup = items[i]->menu();
        if (!popup) continue;
        connect(popup, &QMenu::aboutToShow, this, [this, popup, i] { OnInitMenuPopup(popup, i); });
        RouteMenuItems(popup);
    }
}

void CMainFrame::RouteMenuItems(QMenu* popup) {
    // Menu items run their command through the same route as buttons and accelerators.
    for (QAction* item : popup->actions()) {
        if (QMenu* sub = item->menu()) {
            RouteMenuItems(sub);
            continue;
        }
        if (const int id = commandOf(item))
            connect(item, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
}

void CMainFrame::SetAppTarget(app::CommandTarget* target) {
    m_pAppTarget = target;
    // The start toolbar's buttons belong to the application: they are usable from now on.
    UpdateToolbarStates();
}

void CMainFrame::ShowMenu(QMenu* root) {
    if (m_shownRoot == root) return;
    QMenuBar* bar = menuBar();
    // The popups stay owned by their root menu; the bar only shows their items.
    bar->clear();
    if (root)
        for (QAction* item : root->actions())
            bar->addAction(item);
    m_shownRoot = root;
}

void CMainFrame::UpdateMenuBar() {
    QMenu* root = m_mainMenu;
    if (QMdiSubWindow* sub = m_mdiArea->currentSubWindow()) {
        if (QMenu* shared = m_childMenus.value(sub)) root = shared;
    } else {
        for (QMdiSubWindow* any : m_mdiArea->subWindowList())
            if (QMenu* shared = m_childMenus.value(any)) root = shared;
    }
    ShowMenu(root);
}

void CMainFrame::UpdateToolbarStates() {
    for (QToolBar* bar : {m_wndToolBar, m_wndRecordBar}) {
        if (!bar) continue;
        for (QAction* action : bar->actions())
            if (const int id = commandOf(action)) action->setEnabled(RouteHandles(id));
    }
    UpdateAcceleratorStates();
}

void CMainFrame::UpdateAcceleratorStates() {
    for (const auto& [shortcut, id] : std::as_const(m_accelerators))
        shortcut->setEnabled(RouteHandles(id));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride && !m_bDestroying) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) UpdateAcceleratorStates();
    }
    return QMainWindow::eventFilter(watched, e);
}

void CMainFrame::ShowRecordToolbar() {
    // isHidden(), not isVisible(): the frame itself may not be shown yet.
    if (!m_wndRecordBar || !m_wndRecordBar->isHidden()) return;
    if (m_wndToolBar) m_wndToolBar->hide();
    m_wndRecordBar->show();
}

QMdiSubWindow* CMainFrame::AddChildFrame(QWidget* frame, QMenu* sharedMenu) {
    if (!frame) return nullptr;
    QMdiSubWindow* sub = m_mdiArea->addSubWindow(frame);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    m_childMenus.insert(sub, sharedMenu);
    WatchPopups(sharedMenu);
    // The Window menu is the one whose items arrange the table windows.
    if (sharedMenu)
        for (QAction* top : sharedMenu->actions())
            if (QMenu* popup = top->menu())
                for (QAction* item : popup->actions())
                    if (commandOf(item) == app::ID_WINDOW_CASCADE)
                        popup->setProperty("windowMenu", true);
    connect(sub, &QObject::destroyed, this, [this, sub] {
        m_childMenus.remove(sub);
        if (m_bDestroying) return;
        UpdateMenuBar();
        UpdateToolbarStates();
    });
    return sub;
}

QWidget* CMainFrame::ActiveChildFrame() const {
    if (!m_mdiArea || m_bDestroying) return nullptr;
    QMdiSubWindow* sub = m_mdiArea->currentSubWindow();
    return sub ? sub->widget() : nullptr;
}

int CMainFrame::LiveChildCount() const {
    int n = 0;
    if (!m_mdiArea) return 0;
    for (QMdiSubWindow* sub : m_mdiArea->subWindowList())
        if (m_childMenus.contains(sub) && sub->widget()) ++n;
    return n;
}

bool CMainFrame::RouteCommand(int id) {
    bool handled = false;
    if (auto* child = dynamic_cast<app::CommandTarget*>(ActiveChildFrame()))
        handled = child->OnCommand(id);
    if (!handled) handled = OnCommand(id);
    if (!handled && m_pAppTarget) handled = m_pAppTarget->OnCommand(id);
    UpdateToolbarStates();
    return handled;
}

bool CMainFrame::RouteHandles(int id) const {
    if (auto* child = dynamic_cast<const app::CommandTarget*>(ActiveChildFrame()))
        if (child->HandlesCommand(id)) return true;
    if (HandlesCommand(id)) return true;
    return m_pAppTarget && m_pAppTarget->HandlesCommand(id);
}

bool CMainFrame::HandlesCommand(int id) const {
    switch (id) {
        case res::ID_APP_EXIT:
            return true;
        case app::ID_WINDOW_CASCADE:
        case app::ID_WINDOW_TILE_HORZ:
            return m_mdiArea && !m_mdiArea->subWindowList().isEmpty();
        default:
            return false;
    }
}

bool CMainFrame::OnCommand(int id) {
    if (!HandlesCommand(id)) return false;
    switch (id) {
        case res::ID_APP_EXIT:
            close();
            break;
        case app::ID_WINDOW_CASCADE:
            m_mdiArea->cascadeSubWindows();
            break;
        case app::ID_WINDOW_TILE_HORZ:
            m_mdiArea->tileSubWindows();
            break;
        default:
            break;
    }
    return true;
}

void CMainFrame::OnInitMenuPopup(QMenu* popup, int index) {
    if (!popup) return;
    if (popup->property("windowMenu").toBool()) ListTableWindows(popup);
    for (QAction* action : popup->actions())
        if (const int id = commandOf(action)) action->setEnabled(RouteHandles(id));

    auto* source = dynamic_cast<app::CommandStateSource*>(ActiveChildFrame());
    if (!source) return;
    // The table's answer can only grey an item further: an item whose command nobody on the
    // route runs stays greyed however possible the command would be.
    for (const PopupRule& rule : kPopupRules) {
        if (rule.position != index) continue;
        for (QAction* action : popup->actions())
            if (commandOf(action) == rule.command)
                action->setEnabled(action->isEnabled() && source->CanDoCommand(rule.group));
    }
}

void CMainFrame::ListTableWindows(QMenu* popup) {
    // The Window menu ends with one numbered item per table window, the current one checked.
    for (QAction* action : popup->actions())
        if (action->property("windowListItem").toBool()) {
            popup->removeAction(action);
            delete action;
        }
    const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList();
    if (windows.isEmpty()) return;
    QAction* separator = popup->addSeparator();
    separator->setProperty("windowListItem", true);
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* sub = windows[i];
        QAction* item = popup->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(
            sub->widget() ? sub->widget()->windowTitle() : sub->windowTitle()));
        item->setProperty("windowListItem", true);
        item->setCheckable(true);
        item->setChecked(sub == m_mdiArea->currentSubWindow());
        QPointer<QMdiSubWindow> target = sub;
        connect(item, &QAction::triggered, this, [this, target] {
            if (target) m_mdiArea->setActiveSubWindow(target);
        });
    }
}

bool CMainFrame::event(QEvent* e) {
    if (res::windowMessage(e->type()) == res::WM_CHILD_CLOSED) OnChildClosed();
    return QMainWindow::event(e);
}

void CMainFrame::OnChildClosed() {
    if (m_bDestroying) return;
    UpdateMenuBar();
    UpdateToolbarStates();
    RestoreStartToolbar();
}

void CMainFrame::RestoreStartToolbar() {
    if (LiveChildCount() > 0 || !m_wndRecordBar) return;
    m_wndRecordBar->hide();
    if (m_wndToolBar) m_wndToolBar->show();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    // Every table window closes first, so each gives back its file before the program ends.
    if (m_mdiArea) {
        m_mdiArea->closeAllSubWindows();
        if (!m_mdiArea->subWindowList().isEmpty()) {
            e->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(e);
}
