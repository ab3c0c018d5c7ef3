#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>
#include <QtTest>

#include "ModalDriver.h"
#include "TestChild.h"
#include "app/AboutDlg.h"
#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "res/ResourceIds.h"

namespace {

// (text, id) of each item of a popup; separators as ("", 0).
QList<QPair<QString, int>> itemsOf(QMenu* popup) {
    QList<QPair<QString, int>> items;
    for (QAction* a : popup->actions())
        items.append(
            {a->isSeparator() ? QString() : a->text(), a->isSeparator() ? 0 : a->data().toInt()});
    return items;
}

QStringList popupTitles(const QList<QAction*>& actions) {
    QStringList titles;
    for (QAction* a : actions)
        titles << a->text();
    return titles;
}

QList<int> buttonIds(QToolBar* bar) {
    QList<int> ids;
    for (QAction* a : bar->actions())
        ids << (a->isSeparator() ? 0 : a->data().toInt());
    return ids;
}

QAction* itemWithId(QMenu* popup, int id) {
    for (QAction* a : popup->actions())
        if (!a->isSeparator() && a->data().toInt() == id) return a;
    return nullptr;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CMainApp> m_app;
    QList<QUrl> m_opened;
    int m_chooserCalls = 0;

    void writeFile(const QString& name, const QByteArray& content) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    CMainFrame* frame() { return m_app->MainFrame(); }
    QMenu* menuBarPopup(int position) {
        return frame()->menuBar()->actions().value(position)->menu();
    }
    TestChild* addChild() {
        auto* child = new TestChild(frame());
        frame()->AddChildFrame(child, m_app->SharedChildMenu());
        child->show();
        frame()->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(child->parentWidget()));
        return child;
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("DB_ML.ini"));
        QFile::remove(m_dir.filePath("Tessor.html"));
        writeFile("DB_ML.ini",
                  "[Menu]\n"
                  "File(&F)=Fichier(&F)\n"
                  "Open(&O)...  Ctrl+O=Ouvrir(&O)...  Ctrl+O\n"
                  "Record(&R)=Enregistrement(&R)\n"
                  "Delete Record(&D)=Supprimer(&S)\n"
                  "[About Dialog]\n"
                  "Tessor Version=Version de Tessor\n");
        m_app = std::make_unique<CMainApp>(m_dir.path());
        m_opened.clear();
        m_chooserCalls = 0;
        m_app->SetUrlOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
        m_app->SetFileChooser([this](QWidget*, const QString& filter) {
            ++m_chooserCalls;
            // The filter keeps its spelling: it is a resource text.
            if (filter != "Acess Format (*.mdb)") return QString();
            return QString();
        });
        QVERIFY(m_app->InitInstance());
    }
    void cleanup() { m_app.reset(); }

    void bothMenusCarryTheirItemsTranslated() {
        // Menu 128, the main window's own, translated with the window as owner.
        QMenuBar* bar = frame()->menuBar();
        QCOMPARE(popupTitles(bar->actions()), QStringList({"Fichier(&F)", "Help(&H)"}));
        using Items = QList<QPair<QString, int>>;
        QCOMPARE(itemsOf(menuBarPopup(0)), Items({{"New(&N)...   Ctrl+N", res::ID_FILE_NEW},
                                                  {"Ouvrir(&O)...  Ctrl+O", res::ID_FILE_OPEN},
                                                  {"", 0},
                                                  {"Exit(&X)", res::ID_APP_EXIT}}));
        QCOMPARE(itemsOf(menuBarPopup(1)), Items({{"Tessor Help(&H)...", res::ID_HELP},
                                                  {"", 0},
                                                  {"About Tessor(&A)...", res::ID_APP_ABOUT}}));

        // Menu 129, shared by the table windows, translated at start-up with no owner.
        QMenu* shared = m_app->SharedChildMenu();
        QVERIFY(shared);
        QCOMPARE(popupTitles(shared->actions()),
                 QStringList({"Fichier(&F)", "Edit(&E)", "Field(&D)", "Enregistrement(&R)",
                              "Window(&W)", "Help(&H)"}));
        const QList<QAction*> popups = shared->actions();
        QCOMPARE(itemsOf(popups[1]->menu()), Items({{"Cut(&T)      Ctrl+X", res::ID_EDIT_CUT},
                                                    {"Copy(&C)   Ctrl+C", res::ID_EDIT_COPY},
                                                    {"Paste(&P)    Ctrl+V", res::ID_EDIT_PASTE},
                                                    {"", 0},
                                                    {"Find(&F)...  Ctrl+F", res::ID_EDIT_FIND}}));
        QCOMPARE(itemsOf(popups[2]->menu()),
                 Items({{"Modify Field(&M)...", res::ID_FIELD_MODIFY},
                        {"", 0},
                        {"Descend(&D)", res::ID_FIELD_DESCEND},
                        {"Ascend(&A)", res::ID_FIELD_ASCEND},
                        {"", 0},
                        {"Add Print Info Fields(&P)", res::ID_FIELD_ADD_PRINT_INFO}}));
        QCOMPARE(itemsOf(popups[3]->menu()), Items({{"Add Record(&A)", res::ID_RECORD_ADD},
                                                    {"Supprimer(&S)", res::ID_RECORD_DELETE}}));
        QList<int> fileIds;
        for (const auto& item : itemsOf(popups[0]->menu()))
            fileIds << item.second;
        QCOMPARE(fileIds, QList<int>({res::ID_FILE_NEW, res::ID_FILE_OPEN, res::ID_FILE_CLOSE,
                                      res::ID_FILE_SAVE, res::ID_FILE_SAVE_AS, 0,
                                      res::ID_FILE_SET_PASSWORD, 0, res::ID_APP_EXIT}));
        QCOMPARE(itemsOf(popups[0]->menu())[1].first, QString("Ouvrir(&O)...  Ctrl+O"));
        // The two menus are separate objects: the Edit menu is not in the main window's menu.
        QVERIFY(!popupTitles(bar->actions()).contains("Edit(&E)"));
        QCOMPARE(frame()->windowTitle(), QString("Tessor"));
    }

    void withoutTranslationFileEverythingStaysEnglish() {
        m_app.reset();
        QFile::remove(m_dir.filePath("DB_ML.ini"));
        m_app = std::make_unique<CMainApp>(m_dir.path());
        QVERIFY(m_app->InitInstance());
        QCOMPARE(popupTitles(frame()->menuBar()->actions()), QStringList({"File(&F)", "Help(&H)"}));
        QCOMPARE(menuBarPopup(0)->actions()[1]->text(), QString("Open(&O)...  Ctrl+O"));
        QCOMPARE(m_app->SharedChildMenu()->actions()[3]->text(), QString("Record(&R)"));
    }

    void toolbarsStatusBarAndSwap() {
        QToolBar* start = frame()->StartToolBar();
        QToolBar* record = frame()->RecordToolBar();
        QVERIFY(start && record && start != record);
        QCOMPARE(buttonIds(start),
                 QList<int>({res::ID_FILE_NEW, res::ID_FILE_OPEN, 0, res::ID_APP_ABOUT}));
        QCOMPARE(buttonIds(record),
                 QList<int>({res::ID_FILE_NEW, res::ID_FILE_OPEN, 0, res::ID_EDIT_CUT,
                             res::ID_EDIT_COPY, res::ID_EDIT_PASTE, 0, res::ID_APP_ABOUT}));
        QCOMPARE(start->property("windowId").toInt(), res::AFX_IDW_TOOLBAR);
        QCOMPARE(record->property("windowId").toInt(), res::AFX_IDW_TOOLBAR);
        QCOMPARE(start->iconSize(), QSize(16, 15));
        QCOMPARE(frame()->toolBarArea(start), Qt::TopToolBarArea);
        QVERIFY(!start->isHidden());
        QVERIFY(record->isHidden());

        QLabel* blank = frame()->StatusPane(res::ID_INDICATOR_BLANK);
        QVERIFY(blank);
        QCOMPARE(blank->text(), QString(11, ' '));
        for (int id : {res::ID_INDICATOR_CAPS, res::ID_INDICATOR_NUM, res::ID_INDICATOR_SCRL})
            QVERIFY(frame()->StatusPane(id));

        // The first open swaps the bars; a second switch changes nothing.
        frame()->ShowRecordToolbar();
        QVERIFY(start->isHidden() && !record->isHidden());
        frame()->ShowRecordToolbar();
        QVERIFY(start->isHidden() && !record->isHidden());

        TestChild* first = addChild();
        TestChild* second = addChild();
        QCOMPARE(popupTitles(frame()->menuBar()->actions()).size(), 6);
        // Closing one of two leaves the record bar; closing the last brings the start bar back.
        QPointer<TestChild> gone = first;
        first->parentWidget()->close();
        QTRY_VERIFY(!gone);
        QVERIFY(start->isHidden() && !record->isHidden());
        QCOMPARE(popupTitles(frame()->menuBar()->actions()).size(), 6);
        QPointer<TestChild> last = second;
        second->parentWidget()->close();
        QTRY_VERIFY(!last);  // the window is deleted once its close has been processed
        QVERIFY(!start->isHidden() && record->isHidden());
        QCOMPARE(popupTitles(frame()->menuBar()->actions()),
                 QStringList({"Fichier(&F)", "Help(&H)"}));
    }

    void popupItemsFollowTheActiveTable() {
        // Without a table, items are enabled when someone on the route runs them.
        QMenu* file = menuBarPopup(0);
        emit file->aboutToShow();
        QVERIFY(itemWithId(file, res::ID_FILE_OPEN)->isEnabled());
        QVERIFY(itemWithId(file, res::ID_APP_EXIT)->isEnabled());

        TestChild* child = addChild();
        child->handled = {res::ID_EDIT_CUT,   res::ID_EDIT_COPY,     res::ID_EDIT_PASTE,
                          res::ID_EDIT_FIND,  res::ID_FIELD_ASCEND,  res::ID_FIELD_DESCEND,
                          res::ID_RECORD_ADD, res::ID_RECORD_DELETE, res::ID_FIELD_MODIFY};
        QMenu* edit = menuBarPopup(1);
        QMenu* field = menuBarPopup(2);
        QMenu* record = menuBarPopup(3);

        child->possible = {3, 4};  // find and copy only
        emit edit->aboutToShow();
        QVERIFY(itemWithId(edit, res::ID_EDIT_FIND)->isEnabled());
        QVERIFY(itemWithId(edit, res::ID_EDIT_COPY)->isEnabled());
        QVERIFY(!itemWithId(edit, res::ID_EDIT_CUT)->isEnabled());
        QVERIFY(!itemWithId(edit, res::ID_EDIT_PASTE)->isEnabled());

        child->possible = {5, 6, 2};
        emit edit->aboutToShow();
        QVERIFY(!itemWithId(edit, res::ID_EDIT_FIND)->isEnabled());
        QVERIFY(!itemWithId(edit, res::ID_EDIT_COPY)->isEnabled());
        QVERIFY(itemWithId(edit, res::ID_EDIT_CUT)->isEnabled());
        QVERIFY(itemWithId(edit, res::ID_EDIT_PASTE)->isEnabled());
        emit record->aboutToShow();
        QVERIFY(!itemWithId(record, res::ID_RECORD_ADD)->isEnabled());
        QVERIFY(itemWithId(record, res::ID_RECORD_DELETE)->isEnabled());
        emit field->aboutToShow();
        QVERIFY(!itemWithId(field, res::ID_FIELD_ASCEND)->isEnabled());
        QVERIFY(!itemWithId(field, res::ID_FIELD_DESCEND)->isEnabled());
        // Not in the table: handled, so enabled whatever CanDoCommand says.
        QVERIFY(itemWithId(field, res::ID_FIELD_MODIFY)->isEnabled());
        // Nobody handles this one.
        QVERIFY(!itemWithId(field, res::ID_FIELD_ADD_PRINT_INFO)->isEnabled());
        // Possible is not enough: without a handler the item stays greyed.
        child->handled.remove(res::ID_EDIT_CUT);
        emit edit->aboutToShow();
        QVERIFY(!itemWithId(edit, res::ID_EDIT_CUT)->isEnabled());
        QVERIFY(itemWithId(edit, res::ID_EDIT_PASTE)->isEnabled());
        child->handled.insert(res::ID_EDIT_CUT);

        child->possible = {0, 1};
        emit field->aboutToShow();
        emit record->aboutToShow();
        QVERIFY(itemWithId(field, res::ID_FIELD_ASCEND)->isEnabled());
        QVERIFY(itemWithId(field, res::ID_FIELD_DESCEND)->isEnabled());
        QVERIFY(itemWithId(record, res::ID_RECORD_ADD)->isEnabled());
        QVERIFY(!itemWithId(record, res::ID_RECORD_DELETE)->isEnabled());
    }

    void windowMenuListsTheTableWindows() {
        TestChild* a = addChild();
        a->setWindowTitle("Orders");
        TestChild* b = addChild();
        b->setWindowTitle("Customers");
        QMenu* window = menuBarPopup(4);
        emit window->aboutToShow();
        emit window->aboutToShow();  // listed once, however often it opens
        QList<QAction*> items = window->actions();
        QCOMPARE(items.size(), 2 + 1 + 2);
        QCOMPARE(items[3]->text(), QString("&1 Orders"));
        QCOMPARE(items[4]->text(), QString("&2 Customers"));
        QVERIFY(!items[3]->isChecked() && items[4]->isChecked());
        items[3]->trigger();
        QCOMPARE(frame()->ActiveChildFrame(), static_cast<QWidget*>(a));
    }

    void commandsRouteToTheActiveTableFirst() {
        TestChild* child = addChild();
        child->handled = {res::ID_APP_ABOUT};
        // The table takes About before the application would show its box.
        QVERIFY(frame()->RouteCommand(res::ID_APP_ABOUT));
        QCOMPARE(child->ran, QList<int>({res::ID_APP_ABOUT}));
        // Open is the application's.
        QVERIFY(frame()->RouteCommand(res::ID_FILE_OPEN));
        QCOMPARE(m_chooserCalls, 1);
        QVERIFY(!frame()->RouteCommand(res::ID_EDIT_UNDO));
        // Toolbar buttons run their command through the same route.
        frame()->ShowRecordToolbar();
        QAction* about = frame()->RecordToolBar()->actions().last();
        about->trigger();
        QCOMPARE(child->ran.size(), 2);
        // Cut is not handled by this table: its button is greyed.
        QCOMPARE(frame()->RecordToolBar()->actions()[3]->data().toInt(), res::ID_EDIT_CUT);
        QVERIFY(!frame()->RecordToolBar()->actions()[3]->isEnabled());
    }

    void menuItemsRunTheirCommands() {
        // The start toolbar's buttons are the application's and usable from the start.
        for (QAction* button : frame()->StartToolBar()->actions())
            if (button->data().toInt() == res::ID_FILE_OPEN) QVERIFY(button->isEnabled());
        QAction* open = menuBarPopup(0)->actions().value(1);
        QCOMPARE(open->data().toInt(), res::ID_FILE_OPEN);
        open->trigger();
        QCOMPARE(m_chooserCalls, 1);
        // The table windows' shared menu routes to the active table first.
        TestChild* child = addChild();
        child->handled = {res::ID_APP_ABOUT};
        QMenu* help = menuBarPopup(frame()->menuBar()->actions().size() - 1);
        QAction* about = help->actions().last();
        QCOMPARE(about->data().toInt(), res::ID_APP_ABOUT);
        about->trigger();
        QCOMPARE(child->ran, QList<int>({res::ID_APP_ABOUT}));
    }

    void acceleratorsReachTheRoute() {
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        QTest::keyClick(frame(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(m_chooserCalls, 1);
        TestChild* child = addChild();
        child->handled = {res::ID_EDIT_CUT, res::ID_EDIT_PASTE};
        QTest::keyClick(frame(), Qt::Key_Delete, Qt::ShiftModifier);
        QTest::keyClick(frame(), Qt::Key_Insert, Qt::ShiftModifier);
        // No accelerator carries Ctrl+S, whatever the Save item's hint says.
        QTest::keyClick(frame(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(child->ran, QList<int>({res::ID_EDIT_CUT, res::ID_EDIT_PASTE}));
    }

    void versionTextIsParsedByTheResourceRule() {
        QCOMPARE(CAboutDlg::FormatVersion("1, 0, 0, 16"), QString("1.0.0.16"));
        QCOMPARE(CAboutDlg::FormatVersion("2,3,4,5"), QString("2.3.4.5"));
        QCOMPARE(CAboutDlg::FormatVersion(" 7 ,x, -1, 12 build"), QString("7.0.-1.12"));
        QCOMPARE(CAboutDlg::FormatVersion("3, 1"), QString("3.1.0.0"));
        QCOMPARE(CAboutDlg::FormatVersion("1,2,3,4,5"), QString("1.2.3.4"));
        QCOMPARE(CAboutDlg::FormatVersion("99999999999, 0, 0, 1"), QString("2147483647.0.0.1"));
        QCOMPARE(CAboutDlg::FormatVersion(""), QString());
    }

    void aboutBoxShowsTheBuildVersion() {
        QString version, caption, title;
        onNextModal([&](QWidget* modal) {
            auto* dlg = qobject_cast<CAboutDlg*>(modal);
            QVERIFY(dlg);
            version = dlg->VersionLabel()->text();
            title = dlg->windowTitle();
            for (QLabel* label : dlg->findChildren<QLabel*>())
                if (label->text().contains("Version")) caption = label->text();
            QTest::keyClick(dlg, Qt::Key_Return);
        });
        QVERIFY(frame()->RouteCommand(res::ID_APP_ABOUT));
        QCOMPARE(version, QString("1.0.0.16"));
        QCOMPARE(caption, QString("Version de Tessor"));
        QCOMPARE(title, QString("About Tessor"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void helpOpensTheHelpFileBesideTheProgram() {
        frame()->RouteCommand(res::ID_HELP);
        QVERIFY(m_opened.isEmpty());  // no file: nothing happens, no message
        QVERIFY(!QApplication::activeModalWidget());
        writeFile("Tessor.html", "<html></html>");
        frame()->RouteCommand(res::ID_HELP);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0], QUrl::fromLocalFile(m_dir.filePath("Tessor.html")));
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
