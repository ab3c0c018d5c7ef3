#include "HoldingTableWindow.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include "ModalDriver.h"
#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "db/DbPasswordDlg.h"
#include "db/FileAccess.h"
#include "db/SelectTableDlg.h"

namespace {

QString corpusDir() {
    const QByteArray shared = qgetenv("TESSOR_SHARED_DIR");
    return QString::fromLocal8Bit(shared.isEmpty() ? QByteArray("/work/shared") : shared) +
           "/testdata/mdb";
}

// Closes a message box, handing back its text.
void takeMessage(QWidget* modal, QString* text) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY2(box, "a message box was expected");
    *text = box->text();
    box->accept();
}

}  // namespace

class OpenDatabaseTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CMainApp> m_app;
    QList<QPointer<HoldingTableWindow>> m_windows;

    // A corpus file copied into the temporary folder, so the tests may hold and change it.
    QString copyOf(const QString& name) {
        const QString source = corpusDir() + "/" + name;
        if (!QFileInfo::exists(source)) return {};
        const QString target = m_dir.filePath(name);
        QFile::remove(target);
        if (!QFile::copy(source, target)) return {};
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }
    CMainFrame* frame() { return m_app->MainFrame(); }
    HoldingTableWindow* onlyWindow() {
        if (m_windows.size() != 1) return nullptr;
        return m_windows[0];
    }
    QString openExpectingMessage(const QString& path) {
        QString text;
        onNextModal([&](QWidget* modal) { takeMessage(modal, &text); });
        m_app->OpenDatabase(path);
        return text;
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile ini(m_dir.filePath("DB_ML.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(
            "[APP]\n"
            "Can't open database file=Fichier illisible\n"
            "[Password Dialog]\n"
            "Please Input Database Password!=Mot de passe ?\n");
        ini.close();
        m_windows.clear();
        m_app = std::make_unique<CMainApp>(m_dir.path());
        m_app->SetChildFrameFactory([this](CMainFrame* mainFrame) -> QWidget* {
            auto* window = new HoldingTableWindow(mainFrame);
            m_windows << window;
            return window;
        });
        QVERIFY(m_app->InitInstance());
    }
    void cleanup() { m_app.reset(); }

    void exclusiveTestRefusesMissingAndHeldFiles() {
        QVERIFY(!db::TestExclusive(m_dir.filePath("missing.mdb")));
        QVERIFY(!db::TestExclusive(m_dir.path()));  // a folder is no database
        QFile plain(m_dir.filePath("plain.bin"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(db::TestExclusive(plain.fileName()));
        // The test leaves nothing behind: a second test finds the file free as well.
        QVERIFY(db::TestExclusive(plain.fileName()));

        QCOMPARE(openExpectingMessage(m_dir.filePath("missing.mdb")),
                 QString("The database file already been used"));
        QVERIFY(m_windows.isEmpty());
    }

    void notADatabaseGivesTheProgramsMessage() {
        QFile junk(m_dir.filePath("junk.mdb"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(8192, 'x'));
        junk.close();
        // Looked up in section "APP".
        QCOMPARE(openExpectingMessage(junk.fileName()), QString("Fichier illisible"));
        QVERIFY(m_windows.isEmpty());
        QVERIFY(db::TestExclusive(junk.fileName()));  // the connection was let go
    }

    void oneTableOpensDirectlyAndIsHeld() {
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        QVERIFY(frame()->RecordToolBar()->isHidden());
        m_app->OpenDatabase(path);
        QVERIFY(!QApplication::activeModalWidget());
        HoldingTableWindow* window = onlyWindow();
        QVERIFY(window);
        QCOMPARE(window->m_path, path);
        QCOMPARE(window->m_table, QString("Table1"));
        QCOMPARE(window->m_password, QString());
        QVERIFY(!frame()->RecordToolBar()->isHidden());
        QVERIFY(frame()->StartToolBar()->isHidden());
        QCOMPARE(frame()->MdiArea()->subWindowList().size(), 1);

        // The table window holds the file: a second open of it is refused.
        QCOMPARE(openExpectingMessage(path), QString("The database file already been used"));
        QCOMPARE(m_windows.size(), 1);

        // Once the window is gone the file opens again, and the start toolbar is back meanwhile.
        window->parentWidget()->close();
        QTRY_VERIFY(m_windows[0].isNull());
        QVERIFY(!frame()->StartToolBar()->isHidden());
        QVERIFY(db::TestExclusive(path));
    }

    void severalTablesAreOfferedSorted() {
        const QString path = copyOf("jet3-mdbtools-nwind.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        QStringList offered;
        int selected = -2;
        onNextModal([&](QWidget* modal) {
            auto* chooser = qobject_cast<CSelectTableDlg*>(modal);
            QVERIFY(chooser);
            for (int i = 0; i < chooser->TableList()->count(); ++i)
                offered << chooser->TableList()->item(i)->text();
            selected = chooser->TableList()->currentRow();
            QTest::keyClick(chooser, Qt::Key_Return);  // OK without touching the list
        });
        m_app->OpenDatabase(path);
        QCOMPARE(offered,
                 QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders",
                              "Products", "Shippers", "Suppliers", QString::fromUtf8("Umsätze")}));
        QCOMPARE(selected, 0);
        QVERIFY(onlyWindow());
        QCOMPARE(onlyWindow()->m_table, QString("Categories"));
    }

    void choosingAnotherTableAndCancelling() {
        const QString path = copyOf("jet4-2000-jackcess-index.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        onNextModal([&](QWidget* modal) {
            auto* chooser = qobject_cast<CSelectTableDlg*>(modal);
            QVERIFY(chooser);
            chooser->reject();
        });
        m_app->OpenDatabase(path);
        QVERIFY(m_windows.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());  // no message after a cancel
        QVERIFY(frame()->RecordToolBar()->isHidden());
        QVERIFY(db::TestExclusive(path));

        onNextModal([&](QWidget* modal) {
            auto* chooser = qobject_cast<CSelectTableDlg*>(modal);
            QVERIFY(chooser);
            chooser->TableList()->setCurrentRow(2);
            QTest::keyClick(chooser, Qt::Key_Return);
        });
        m_app->OpenDatabase(path);
        QVERIFY(onlyWindow());
        QCOMPARE(onlyWindow()->m_table, QString("Table3"));
    }

    void databaseWithoutUserTablesIsRefused() {
        const QString path = copyOf("jet4-jackcess-empty-small.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        QCOMPARE(openExpectingMessage(path), QString("Can't edit database file with empty field"));
        QVERIFY(m_windows.isEmpty());
        QVERIFY(db::TestExclusive(path));
    }

    void passwordIsAskedOnceEmptyRefusedWrongEndsTheOpen() {
        const QString path = copyOf("jet4-2000-mdbreader-password.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        QString emptyMessage, wrongMessage;
        int prompts = 0;
        onNextModal([&](QWidget* modal) {
            auto* prompt = qobject_cast<CDbPasswordDlg*>(modal);
            QVERIFY(prompt);
            ++prompts;
            QCOMPARE(prompt->PasswordEdit()->echoMode(), QLineEdit::Password);
            // OK with nothing typed: a message, and the prompt stays.
            onNextModal([&, prompt](QWidget* box) {
                takeMessage(box, &emptyMessage);
                QTimer::singleShot(0, prompt, [&, prompt] {
                    QVERIFY(prompt->isVisible());
                    onNextModal([&](QWidget* second) {
                        // The wrong password ends the open: no second prompt comes.
                        if (qobject_cast<CDbPasswordDlg*>(second)) ++prompts;
                        takeMessage(second, &wrongMessage);
                    });
                    QTest::keyClicks(prompt->PasswordEdit(), "wrong");
                    QTest::keyClick(prompt, Qt::Key_Return);
                });
            });
            QTest::keyClick(prompt, Qt::Key_Return);
        });
        m_app->OpenDatabase(path);
        QCOMPARE(prompts, 1);
        QCOMPARE(emptyMessage, QString("Mot de passe ?"));
        QVERIFY(!wrongMessage.isEmpty());
        // The provider's own words, not a program text.
        QVERIFY(wrongMessage != "Fichier illisible");
        QVERIFY(wrongMessage != "Can't open database file");
        QVERIFY(m_windows.isEmpty());
        QVERIFY(frame()->RecordToolBar()->isHidden());
        QVERIFY(db::TestExclusive(path));
    }

    void rightPasswordOpensAndReachesTheTableWindow() {
        const QString path = copyOf("jet4-2000-mdbreader-password.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        onNextModal([&](QWidget* modal) {
            auto* prompt = qobject_cast<CDbPasswordDlg*>(modal);
            QVERIFY(prompt);
            QTest::keyClicks(prompt->PasswordEdit(), "password");
            QTest::keyClick(prompt, Qt::Key_Return);
        });
        m_app->OpenDatabase(path);
        QVERIFY(onlyWindow());
        QCOMPARE(onlyWindow()->m_table, QString("Table1"));
        QCOMPARE(onlyWindow()->m_password, QString("password"));
    }

    void cancelledPromptShowsTheProvidersRefusal() {
        const QString path = copyOf("jet4-2000-mdbreader-password.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        QString message;
        onNextModal([&](QWidget* modal) {
            QVERIFY(qobject_cast<CDbPasswordDlg*>(modal));
            onNextModal([&](QWidget* box) { takeMessage(box, &message); });
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        m_app->OpenDatabase(path);
        QVERIFY(!message.isEmpty());
        QVERIFY(message != "Fichier illisible");
        QVERIFY(m_windows.isEmpty());
    }

    void withoutATableWindowTheToolbarStays() {
        const QString path = copyOf("jet4-2000-mdbreader-nopassword.mdb");
        if (path.isEmpty()) QSKIP("corpus not present");
        m_app->SetChildFrameFactory([](CMainFrame*) -> QWidget* { return nullptr; });
        m_app->OpenDatabase(path);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(frame()->RecordToolBar()->isHidden());
        QVERIFY(!frame()->StartToolBar()->isHidden());
        QVERIFY(db::TestExclusive(path));
    }
};

QTEST_MAIN(OpenDatabaseTest)
#include "OpenDatabaseTest.moc"
