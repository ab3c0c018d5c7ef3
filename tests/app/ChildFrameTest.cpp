#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

#include "ModalDriver.h"
#include "app/ChildFrame.h"
#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "db/FileAccess.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "preview/ImagePreviewWnd.h"
#include "res/Events.h"
#include "res/ResourceIds.h"

namespace {

QString corpusFile(const QString& name) {
    const QByteArray shared = qgetenv("TESSOR_SHARED_DIR");
    return QString::fromLocal8Bit(shared.isEmpty() ? QByteArray("/work/shared") : shared) +
           "/testdata/mdb/" + name;
}

// Counts the presses of one key that reach the widget it watches.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(int key) : m_key(key) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == m_key) ++count;
        return false;
    }
    int count = 0;

private:
    int m_key;
};

// Calls `shown` with each progress dialog as it comes up, while it lives.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void(QProgressDialog*)> shown) : m_shown(std::move(shown)) {
        qApp->installEventFilter(this);
    }
    ~ShowWatcher() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QProgressDialog*>(o)) m_shown(dialog);
        return false;
    }

private:
    std::function<void(QProgressDialog*)> m_shown;
};

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ChildFrameTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CMainApp> m_app;
    QString m_saveTo;
    QString m_filterSeen;

    QString copyOf(const QString& name, const QString& as = {}) {
        const QString source = corpusFile(name);
        if (!QFileInfo::exists(source)) return {};
        const QString target = m_dir.filePath(as.isEmpty() ? name : as);
        QFile::remove(target);
        if (!QFile::copy(source, target)) return {};
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }
    CMainFrame* frame() { return m_app->MainFrame(); }
    QList<CChildFrame*> children() {
        QList<CChildFrame*> list;
        for (QMdiSubWindow* sub : frame()->MdiArea()->subWindowList())
            if (auto* child = qobject_cast<CChildFrame*>(sub->widget())) list << child;
        return list;
    }
    CChildFrame* open(const QString& path) {
        m_app->OpenDatabase(path);
        QList<CChildFrame*> list = children();
        CChildFrame* child = list.isEmpty() ? nullptr : list.last();
        if (child)
            child->SetSaveChooser([this](QWidget*, const QString& filter) {
                m_filterSeen = filter;
                return m_saveTo;
            });
        return child;
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_saveTo.clear();
        m_app = std::make_unique<CMainApp>(m_dir.path());
        QVERIFY(m_app->InitInstance());
    }
    void cleanup() { m_app.reset(); }

    void opensTheTableInBothPanesSizedToTheClientArea() {
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        CChildFrame* child = open(path);
        QVERIFY(child);
        QCOMPARE(child->windowTitle(), QString("Table1"));
        QCOMPARE(child->GetPath(), path);
        QCOMPARE(child->GetTable(), QString("Table1"));
        QCOMPARE(child->GetPassword(), QString());
        QCOMPARE(child->GetView()->GetTable(), QString("Table1"));
        QVERIFY(child->GetView()->GetRecordset());
        // The preview got the same recordset: it lists the table's columns.
        auto* fields = child->GetPreview()->findChild<QComboBox*>(
            QString::number(CImagePreviewWnd::IDC_COMBO_FIELD));
        QVERIFY(fields);
        QVERIFY(fields->count() > 0);

        auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
        QVERIFY(sub);
        const QSize client = frame()->MdiArea()->viewport()->size();
        const int lost = child->style()->pixelMetric(QStyle::PM_TitleBarHeight) +
                         child->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        QCOMPARE(sub->geometry(), QRect(0, 0, client.width(), client.height() - lost));
        const QList<int> sizes = child->GetSplitter()->sizes();
        QCOMPARE(sizes.size(), 2);
        QCOMPARE(child->GetSplitter()->widget(0), static_cast<QWidget*>(child->GetView()));
        // A quarter for the preview, or as little as its controls allow when that is more.
        const int total = sizes[0] + sizes[1];
        const int least = qMax(child->GetPreview()->minimumSizeHint().width(),
                               child->GetPreview()->minimumWidth());
        const int expected = qMax(total / 4, least);
        QVERIFY2(qAbs(sizes[1] - expected) <= child->GetSplitter()->handleWidth() + 1,
                 qPrintable(QString("%1 of %2, least %3").arg(sizes[1]).arg(total).arg(least)));
        QVERIFY(sizes[0] > sizes[1]);

        // The window holds its file; a second open is refused.
        QString message;
        onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            message = box->text();
            box->accept();
        });
        m_app->OpenDatabase(path);
        QCOMPARE(message, QString("The database file already been used"));
        QCOMPARE(children().size(), 1);

        // The table menus answer through the record view.
        QCOMPARE(child->CanDoCommand(1), child->GetView()->CanDoCommand(1));
        QVERIFY(!child->CanDoCommand(99));
    }

    void closeGivesTheFileBackAndTheStartToolbar() {
        const QString first = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (first.isEmpty()) QSKIP("corpus not present");
        const QString second = copyOf("jet4-2000-mdbreader-nopassword.mdb", "second.mdb");
        QPointer<CChildFrame> a = open(first);
        QPointer<CChildFrame> b = open(second);
        QVERIFY(a && b && a != b);
        QVERIFY(!frame()->RecordToolBar()->isHidden());
        frame()->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(a->parentWidget()));
        QVERIFY(frame()->RouteCommand(res::ID_FILE_CLOSE));
        QTRY_VERIFY(!a);
        QVERIFY(!frame()->RecordToolBar()->isHidden());
        QVERIFY(db::TestExclusive(first));
        QVERIFY(!db::TestExclusive(second));
        // Save changes nothing.
        const QByteArray before = contentOf(second);
        QVERIFY(frame()->RouteCommand(res::ID_FILE_SAVE));
        QCOMPARE(contentOf(second), before);
        QVERIFY(frame()->RouteCommand(res::ID_FILE_CLOSE));
        QTRY_VERIFY(!b);
        QVERIFY(frame()->RecordToolBar()->isHidden());
        QVERIFY(!frame()->StartToolBar()->isHidden());
        QVERIFY(db::TestExclusive(second));
    }

    void saveAsCopiesAndGoesOnWithTheCopy() {
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        CChildFrame* child = open(path);
        QVERIFY(child);
        const QByteArray original = contentOf(path);

        // Cancel and the file's own path change nothing.
        m_saveTo.clear();
        child->OnFileSaveAs();
        QCOMPARE(child->GetPath(), path);
        m_saveTo = path;
        child->OnFileSaveAs();
        QCOMPARE(child->GetPath(), path);
        QCOMPARE(m_filterSeen, QString("Acess Format (*.mdb)"));
        m_saveTo = m_dir.filePath("sub/../jet4-2000-mdbreader-nopassword.mdb");
        QVERIFY(QDir(m_dir.path()).mkpath("sub"));
        child->OnFileSaveAs();  // another name for the same file
        QCOMPARE(child->GetPath(), path);
        QCOMPARE(contentOf(path), original);

        m_saveTo = m_dir.filePath("copy.mdb");
        QVERIFY(frame()->RouteCommand(res::ID_FILE_SAVE_AS));
        QCOMPARE(child->GetPath(), m_saveTo);
        QCOMPARE(child->GetTable(), QString("Table1"));
        QCOMPARE(child->GetView()->GetPath(), m_saveTo);
        QCOMPARE(contentOf(m_saveTo), original);
        // The window now holds the copy and has let go of the original.
        QVERIFY(!db::TestExclusive(m_saveTo));
        QVERIFY(db::TestExclusive(path));
    }

    void saveAsOfALargeFileShowsProgressAndCanBeStopped() {
        // A file past the size that shows progress: the open table's file grows by empty pages.
        struct Case {
            const char* copy;
            bool stop;
        };
        for (const Case& c : {Case{"stopped.mdb", true}, Case{"finished.mdb", false}}) {
            const QString path =
                copyOf("jet4-2000-mdbreader-nopassword.mdb", QString("src-") + c.copy);
            if (path.isEmpty()) QSKIP("corpus not present");
            CChildFrame* child = open(path);
            QVERIFY(child);
            QFile grow(path);
            QVERIFY(grow.open(QIODevice::ReadWrite));
            QVERIFY(grow.resize(CChildFrame::kSaveProgressBytes + 4096));
            grow.close();
            const QByteArray original = contentOf(path);

            // The dialog comes up before the first byte is copied; a stop is pressed right then.
            QStringList shown;
            ShowWatcher watcher([&](QProgressDialog* dialog) {
                shown << dialog->labelText();
                if (c.stop) dialog->cancel();
            });
            m_saveTo = m_dir.filePath(c.copy);
            child->OnFileSaveAs();
            QCOMPARE(shown, QStringList{"Saving a copy of the database..."});
            QVERIFY(!QApplication::activeModalWidget());  // no message either way
            if (c.stop) {
                QVERIFY(!QFile::exists(m_saveTo));
                QCOMPARE(child->GetPath(), path);
                QVERIFY(QDir(m_dir.path()).entryList({QString(c.copy) + "*"}).isEmpty());
            } else {
                QCOMPARE(child->GetPath(), m_saveTo);
                QCOMPARE(contentOf(m_saveTo), original);
            }
            QVERIFY(frame()->RouteCommand(res::ID_FILE_CLOSE));
        }
    }

    void saveAsOntoAHeldFileIsRefused() {
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        const QString other = copyOf("jet4-2000-mdbreader-nopassword.mdb", "other.mdb");
        CChildFrame* first = open(path);
        CChildFrame* second = open(other);
        QVERIFY(first && second);
        const QByteArray held = contentOf(other);
        QFile tweak(path);  // make the two files differ, so a copy would show
        QVERIFY(tweak.open(QIODevice::ReadWrite));
        tweak.seek(tweak.size());
        tweak.write(QByteArray(4096, '\0'));
        tweak.close();

        QString message;
        onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            message = box->text();
            box->accept();
        });
        m_saveTo = other;
        first->OnFileSaveAs();
        QCOMPARE(message, QString("Save database file failed"));
        QCOMPARE(first->GetPath(), path);
        QCOMPARE(contentOf(other), held);
        QCOMPARE(second->GetPath(), other);
    }

    void saveAsOntoAFullDiskIsReportedAndTheWindowGoesOn() {
        // The system's file-size limit refuses writes past it, as a full disk does: at the
        // first byte, and at the last.
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        CChildFrame* child = open(path);
        QVERIFY(child);
        const QByteArray original = contentOf(path);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit normal{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &normal) == 0);
        m_saveTo = m_dir.filePath("full.mdb");
        for (const qint64 limit : {qint64(0), qint64(original.size() - 1)}) {
            QString message;
            onNextModal([&](QWidget* modal) {
                if (auto* box = qobject_cast<QMessageBox*>(modal)) message = box->text();
                modal->close();
            });
            rlimit small = normal;
            small.rlim_cur = static_cast<rlim_t>(limit);
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
            child->OnFileSaveAs();
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &normal) == 0);
            QCOMPARE(message, QString("Save database file failed"));
            QCOMPARE(child->GetPath(), path);
            QVERIFY(!QFile::exists(m_saveTo));
        }
        ::signal(SIGXFSZ, SIG_DFL);
        // With room again the same window saves and goes on with the copy.
        child->OnFileSaveAs();
        QCOMPARE(child->GetPath(), m_saveTo);
        QCOMPARE(contentOf(m_saveTo), original);
    }

    void everyEnabledCommandHasAHandler() {
        // The real frame with a real table window: whatever state the table is in, a menu item,
        // a toolbar button or a context-menu item is enabled only when a handler on the
        // command route runs it.
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        CChildFrame* child = open(path);
        QVERIFY(child);
        CRecordsetView* view = child->GetView();
        CDataGrid& grid = view->GetGrid();
        QVERIFY(grid.GetApproxCount() > 0);
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));

        QStringList dead;
        auto walk = [&](const QString& state) {
            const QList<QAction*> bar = frame()->menuBar()->actions();
            for (int i = 0; i < bar.size(); ++i) {
                QMenu* popup = bar[i]->menu();
                if (!popup) continue;
                emit popup->aboutToShow();
                for (QAction* item : popup->actions()) {
                    const int id = item->data().toInt();
                    if (item->isSeparator() || item->menu() || id == 0 || !item->isEnabled())
                        continue;
                    if (!frame()->RouteHandles(id)) dead << state + ": menu " + item->text();
                }
            }
            for (QToolBar* tb : {frame()->StartToolBar(), frame()->RecordToolBar()})
                for (QAction* button : tb->actions())
                    if (button->isEnabled() && !button->isSeparator() &&
                        !frame()->RouteHandles(button->data().toInt()))
                        dead << state + ": button " + button->toolTip();
            if (QMenu* menu = view->GetContextMenu())
                for (QAction* item : menu->actions())
                    if (item->isEnabled() && !item->isSeparator() &&
                        !view->HasCommandHandler(item->data().toInt()))
                        dead << state + ": context " + item->text();
        };
        auto rightPress = [&](QWidget* target, const QPoint& at) {
            bool closed = false;
            QTimer::singleShot(50, [&closed] {
                if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
                closed = true;
            });
            QTest::mouseClick(target, Qt::RightButton, {}, at);
            QTRY_VERIFY(closed);
        };

        // A cell with text current: copy, cut, paste and find are all possible.
        grid.SetRow(0);
        grid.SetCol(0);
        QVERIFY(view->CanDoCommand(3) && view->CanDoCommand(4) && view->CanDoCommand(6));
        walk("cell");
        // A picked column, then picked rows, each with its context menu open once.
        QHeaderView* cols = grid.horizontalHeader();
        const QPoint colAt(cols->sectionViewportPosition(0) + 5, cols->height() / 2);
        QTest::mouseClick(cols->viewport(), Qt::LeftButton, {}, colAt);
        QVERIFY(view->CanDoCommand(0));
        rightPress(cols->viewport(), colAt);
        QVERIFY(view->GetContextMenu());
        walk("column");
        QHeaderView* rows = grid.verticalHeader();
        const QPoint rowAt(rows->width() / 2, rows->sectionViewportPosition(0) + 3);
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, rowAt);
        rightPress(rows->viewport(), rowAt);
        QVERIFY(view->GetContextMenu());
        walk("rows");
        QVERIFY2(dead.isEmpty(), qPrintable(dead.join(QStringLiteral("; "))));

        // An accelerator of a command nobody runs is off: its key reaches the grid instead.
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        grid.SetRow(0);
        grid.SetCol(0);
        grid.setFocus();
        KeyCounter undoKeys(Qt::Key_Z);
        grid.installEventFilter(&undoKeys);
        QTest::keyClick(&grid, Qt::Key_Z, Qt::ControlModifier);
        grid.removeEventFilter(&undoKeys);
        QCOMPARE(undoKeys.count, 1);
        const QList<QShortcut*> accelerators = frame()->findChildren<QShortcut*>();
        QVERIFY(!accelerators.isEmpty());
        for (QShortcut* a : accelerators)
            QCOMPARE(a->isEnabled(), frame()->RouteHandles(a->property("command").toInt()));

        // What is built is enabled where the table allows it.
        QMenu* record = frame()->menuBar()->actions().value(3)->menu();
        emit record->aboutToShow();
        for (QAction* item : record->actions())
            QVERIFY2(item->isEnabled(), qPrintable(item->text()));
    }

    void noticesReachThePreview() {
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        CChildFrame* child = open(path);
        QVERIFY(child);
        auto* fields = child->GetPreview()->findChild<QComboBox*>(
            QString::number(CImagePreviewWnd::IDC_COMBO_FIELD));
        QVERIFY(fields);
        const int columns = fields->count();
        child->GetPreview()->SetRecordset(nullptr);
        QCOMPARE(fields->count(), 0);
        QCoreApplication::postEvent(child, new QEvent(res::eventType(res::WM_RECORDSET_REPLACED)));
        QTRY_COMPARE(fields->count(), columns);
    }
};

QTEST_MAIN(ChildFrameTest)
#include "ChildFrameTest.moc"
