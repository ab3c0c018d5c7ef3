// The new-database wizard driven offscreen: its page flow and messages, the databases it makes
// (read back by mdbtool's integrity check, mdbtools and mdb-reader), and the New command that
// opens them.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <random>

#include "ForeignReaders.h"
#include "ToolReadBack.h"
#include "HoldingTableWindow.h"
#include "app/MainApp.h"
#include "cardio/CardTemplate.h"
#include "provider/Connection.h"
#include "provider/ConnectionString.h"
#include "res/ResourceIds.h"
#include "schema/NameDlg.h"
#include "wizard/NewSheet.h"

namespace {

using toolcheck::mdbtool;
using toolcheck::Tool;

// The columns of the table with their types, as mdbtool reads them ("Name  Text (255)").
QStringList columnsOf(const QString& path, const QString& table) {
    QStringList out;
    for (const QString& l : mdbtool({QStringLiteral("schema"), path, table}).out.split('\n')) {
        const QString t = l.trimmed();
        if (t.startsWith(QLatin1String("COLUMN ")))
            out << t.mid(7).section(QLatin1String("  "), 0, 1);
    }
    return out;
}

using toolcheck::checkReadBack;

// Answers modal windows while it lives: message boxes with `answer` (their texts are kept),
// name dialogs with the next of `names` (an empty entry keeps the proposal; the proposal is
// kept in `proposals`), and the wizard by running `drive` on it.
class Answerer : public QObject {
public:
    QStringList texts;
    QStringList names;
    QStringList proposals;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::function<void(CNewSheet*)> drive;

    Answerer() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &Answerer::poll);
        m_timer.start();
    }

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || m_seen.contains(w)) return;
        m_seen << w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            texts << box->text();
            QAbstractButton* b = box->button(answer);
            if (!b) b = box->button(QMessageBox::Ok);
            QTimer::singleShot(0, b, &QAbstractButton::click);
            return;
        }
        if (auto* dlg = qobject_cast<CNameDlg*>(w)) {
            proposals << dlg->NameEdit()->text();
            const QString name = names.isEmpty() ? QString() : names.takeFirst();
            if (!name.isEmpty()) dlg->NameEdit()->setText(name);
            QTimer::singleShot(0, dlg, &QDialog::accept);
            return;
        }
        if (auto* sheet = qobject_cast<CNewSheet*>(w); sheet && drive) {
            QTimer::singleShot(0, sheet, [this, sheet] { drive(sheet); });
            return;
        }
        w->close();
    }

    QTimer m_timer;
    QList<QPointer<QWidget>> m_seen;
};

QAbstractButton* control(QWidget* page, int id) {
    for (auto* b : page->findChildren<QAbstractButton*>())
        if (b->property("controlId").toInt() == id) return b;
    return nullptr;
}

void click(QWizard* sheet, QWizard::WizardButton which) {
    sheet->button(which)->click();
}

}  // namespace

class WizardTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_app;  // DB_ML.ini, DB/Template.mdb
    QTemporaryDir m_out;  // what the tests create

    // A sheet whose step-4 pages are set as given, ready for CreateDatabase.
    std::unique_ptr<CNewSheet> sheetFor(const QString& path, const QString& table,
                                        const QStringList& fields) {
        auto sheet = std::make_unique<CNewSheet>(m_app.path());
        sheet->m_newPage->m_strPath = path;
        sheet->m_tablePage->m_strTableName = table;
        sheet->m_fieldPage->m_listFields->addItems(fields);
        return sheet;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_app.isValid() && m_out.isValid());
        QVERIFY(QDir(m_app.path()).mkpath(QStringLiteral("DB")));
        QVERIFY(QFile::copy(QStringLiteral(TESSOR_BIN_DIR "/DB/Template.mdb"),
                            m_app.filePath(QStringLiteral("DB/Template.mdb"))));
        QFile ini(m_app.filePath(QStringLiteral("DB_ML.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[New Page]\nPlease input the path of database file=Chemin ?\n"
            "New File: Step 1/4=Nouveau : 1/4\n"
            "[Field Page]\nPlease new a least one field=Un champ au moins\n"
            "[New Sheet]\nCreate Database File Failed=Copie impossible\n");
    }

    void pagesFlowAndRefuseEmptyValues() {
        Answerer answers;
        CNewSheet sheet(m_app.path());
        sheet.show();
        QCOMPARE(sheet.currentId(), int(CNewSheet::kNewPage));
        QCOMPARE(sheet.windowTitle(), QString("Nouveau : 1/4"));

        // Nothing typed: the page's message, looked up in its section, and no move.
        click(&sheet, QWizard::NextButton);
        QCOMPARE(answers.texts, QStringList{"Chemin ?"});
        QCOMPARE(sheet.currentId(), int(CNewSheet::kNewPage));
        // Browse: the save dialog with the filter as it stands; a cancel changes nothing.
        QStringList asked;
        QString answer = "/x/picked.mdb";
        sheet.m_chooseFile = [&](QWidget*, bool save, const QString& filter,
                                 const QString& suffix) {
            asked << QString("%1 %2 %3").arg(save ? "save" : "open", filter, suffix);
            return answer;
        };
        control(sheet.m_newPage, res::IDC_DB_PATH_BROWSE)->click();
        QCOMPARE(sheet.m_newPage->PathEdit()->text(), answer);
        answer.clear();
        control(sheet.m_newPage, res::IDC_DB_PATH_BROWSE)->click();
        QCOMPARE(sheet.m_newPage->m_strPath, QString("/x/picked.mdb"));
        control(sheet.m_templatePage, res::IDC_TEMPLATE_BROWSE)->click();
        QCOMPARE(asked,
                 QStringList({"save Acess Format (*.mdb) mdb", "save Acess Format (*.mdb) mdb",
                              "open CardWeave Format (*.mds) mds"}));
        // Blanks typed and Next pressed while the edit keeps the focus: the blanks go on.
        sheet.m_newPage->PathEdit()->setText("  ");
        click(&sheet, QWizard::NextButton);
        QCOMPARE(sheet.currentId(), int(CNewSheet::kTablePage));
        QCOMPARE(sheet.m_newPage->m_strPath, QString("  "));
        QCOMPARE(sheet.windowTitle(), QString("New File: Step 2/4"));

        QCOMPARE(sheet.m_tablePage->NameEdit()->text(), QString("Table1"));
        // The proposal arrives selected: what is typed replaces it.
        QCOMPARE(sheet.m_tablePage->NameEdit()->selectedText(), QString("Table1"));
        sheet.m_tablePage->NameEdit()->clear();
        click(&sheet, QWizard::NextButton);
        QCOMPARE(answers.texts.last(), QString("Please input name of table"));
        QCOMPARE(sheet.currentId(), int(CNewSheet::kTablePage));
        sheet.m_tablePage->NameEdit()->setText("T");
        click(&sheet, QWizard::NextButton);

        // The method starts on the template; Back from either step-4 page is step 3.
        QCOMPARE(sheet.currentId(), int(CNewSheet::kMethodPage));
        QCOMPARE(sheet.m_methodPage->Methods()->checkedId(), 0);
        click(&sheet, QWizard::NextButton);
        QCOMPARE(sheet.currentId(), int(CNewSheet::kTemplatePage));
        QVERIFY(sheet.button(QWizard::FinishButton)->isVisible());
        click(&sheet, QWizard::FinishButton);
        QCOMPARE(answers.texts.last(), QString("Please input the path of template file"));
        click(&sheet, QWizard::BackButton);
        QCOMPARE(sheet.currentId(), int(CNewSheet::kMethodPage));
        sheet.m_methodPage->Methods()->button(1)->click();
        click(&sheet, QWizard::NextButton);
        QCOMPARE(sheet.currentId(), int(CNewSheet::kFieldPage));
        QCOMPARE(sheet.windowTitle(), QString("New File: Step 4/4"));
        click(&sheet, QWizard::BackButton);
        QCOMPARE(sheet.currentId(), int(CNewSheet::kMethodPage));
        click(&sheet, QWizard::NextButton);

        // The field list: Finish refuses an empty one, Rename and Delete want a selection.
        CFieldPage* page = sheet.m_fieldPage;
        answers.texts.clear();
        click(&sheet, QWizard::FinishButton);
        control(page, res::IDC_PAGE_FIELD_RENAME)->click();
        control(page, res::IDC_PAGE_FIELD_DELETE)->click();
        QCOMPARE(answers.texts,
                 QStringList({"Un champ au moins", "Please select field", "Please select field"}));
        QVERIFY(sheet.isVisible());
        QVERIFY(!QFileInfo::exists("  "));

        // New proposes Field<n>; the name dialog refuses what the list holds.
        control(page, res::IDC_PAGE_FIELD_NEW)->click();
        control(page, res::IDC_PAGE_FIELD_NEW)->click();
        answers.names = {"Name"};
        control(page, res::IDC_PAGE_FIELD_NEW)->click();
        QCOMPARE(answers.proposals, QStringList({"Field1", "Field2", "Field3"}));
        // Rename keeps the place in the list; Delete asks first and Cancel keeps the entry.
        page->m_listFields->setCurrentRow(0);
        answers.names = {"Tel"};
        control(page, res::IDC_PAGE_FIELD_RENAME)->click();
        page->m_listFields->setCurrentRow(1);
        answers.answer = QMessageBox::Cancel;
        control(page, res::IDC_PAGE_FIELD_DELETE)->click();
        QCOMPARE(answers.texts.last(), QString("Delete field"));
        answers.answer = QMessageBox::Ok;
        QStringList items;
        for (int i = 0; i < page->m_listFields->count(); ++i)
            items << page->m_listFields->item(i)->text();
        QCOMPARE(items, QStringList({"Tel", "Field2", "Name"}));
        control(page, res::IDC_PAGE_FIELD_DELETE)->click();
        QCOMPARE(page->m_listFields->count(), 2);
        sheet.reject();
    }

    void proposalsSkipTakenNamesExactly_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("proposal");
        QTest::newRow("empty") << QStringList{} << "Field1";
        QTest::newRow("two") << QStringList{"Field1", "Field2"} << "Field3";
        QTest::newRow("taken") << QStringList{"Field3", "Name"} << "Field4";
        QTest::newRow("case") << QStringList{"FIELD3", "Name"} << "Field3";
    }
    void proposalsSkipTakenNamesExactly() {
        QFETCH(QStringList, entries);
        QFETCH(QString, proposal);
        CNewSheet sheet(m_app.path());
        sheet.m_fieldPage->m_listFields->addItems(entries);
        QCOMPARE(sheet.m_fieldPage->ProposedName(), proposal);
    }

    void createsTheTableFromTheList_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<bool>("message");
        QTest::addColumn<int>("failed");
        QTest::newRow("two") << "Table1" << QStringList{"Name", "Tel"} << QStringList{"Name", "Tel"}
                             << false << 0;
        QTest::newRow("blank in table name")
            << "My Cards" << QStringList{"Name"} << QStringList{"Name"} << false << 0;
        // The third of five is refused: the first two stay and the file is still to be opened.
        QTest::newRow("third refused") << "Table1" << QStringList{"A", "B", "A", "C", "D"}
                                       << QStringList{"A", "B"} << true << 0;
        QTest::newRow("table refused")
            << "a.b" << QStringList{"Name"} << QStringList{} << true << 1;
    }
    void createsTheTableFromTheList() {
        QFETCH(QString, table);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, columns);
        QFETCH(bool, message);
        QFETCH(int, failed);
        const QString path = m_out.filePath(QString(QTest::currentDataTag()) + ".mdb");
        Answerer answers;
        auto sheet = sheetFor(path, table, fields);
        sheet->SendCreate(1);
        QCOMPARE(sheet->m_bCreateFailed, failed);
        QCOMPARE(sheet->m_strDbPath, path);
        // A refusal shows the engine's own words, not one of the program's texts.
        QCOMPARE(answers.texts.size(), message ? 1 : 0);
        if (message) QVERIFY(!answers.texts[0].isEmpty());
        QCOMPARE(mdbtool({QStringLiteral("check"), path}).rc, 0);
        if (failed) {
            QCOMPARE(mdbtool({QStringLiteral("tables"), path}).out.trimmed(), QString());
            return;
        }
        QStringList typed;
        for (const QString& c : columns)
            typed << c + "  Text (255)";
        QCOMPARE(columnsOf(path, table), typed);
        checkReadBack(path, table, columns);
    }

    void createsTheColumnsFromATemplate_data() {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QStringList>("columns");  // empty: no columns, creation failed
        QTest::addColumn<QString>("message");
        QTest::newRow("both sides") << QByteArray(
                                           "card-template 1\n[front]\nvariable text Name\n"
                                           "fixed image Logo\nvariable image Photo\n"
                                           "[back]\nvariable barcode Name\n")
                                    << QStringList{"F_Name", "F_Photo", "B_Name"} << QString();
        // Uniqueness first, then the cleaning of the characters.
        QTest::newRow("front twice") << QByteArray(
                                            "card-template 1\n[front]\nvariable text Name\n"
                                            "variable text Name\nvariable text Name\n")
                                     << QStringList{"Name", "Name1", "Name11"} << QString();
        QTest::newRow("earlier suffix") << QByteArray(
                                               "card-template 1\n[front]\nvariable text Name1\n"
                                               "variable text Name\nvariable text Name\n")
                                        << QStringList{"Name1", "Name", "Name11"} << QString();
        QTest::newRow("cleaned") << QByteArray(
                                        "card-template 1\n[back]\n"
                                        "variable text \" Tel No. \"\n"
                                        "variable text \"Gr\xc3\xbc\xc3\x9f-e@x:1\"\n")
                                 << QStringList{"Tel_Nox", "Grxxxx_e@x:1"} << QString();
        QTest::newRow("no variables") << QByteArray("card-template 1\n[front]\nfixed text Title\n")
                                      << QStringList{} << QString();
        QTest::newRow("damaged")
            << QByteArray("card-template 1\n[front]\nvariable text \"Name\n") << QStringList{}
            << "Can't read template file\nline 3: the quoted name is not closed";
    }
    void createsTheColumnsFromATemplate() {
        QFETCH(QByteArray, card);
        QFETCH(QStringList, columns);
        QFETCH(QString, message);
        const QString tag = QString(QTest::currentDataTag()).replace(' ', '_');
        const QString templ = m_out.filePath(tag + ".mds");
        QFile f(templ);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(card);
        f.close();
        const QString path = m_out.filePath(tag + ".mdb");
        Answerer answers;
        auto sheet = sheetFor(path, "Cards", {"Ignored"});
        sheet->m_templatePage->m_strTemplatePath = templ;
        sheet->SendCreate(0);
        QCOMPARE(answers.texts, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(sheet->m_bCreateFailed, columns.isEmpty() ? 1 : 0);
        // The file stays, with the table, whatever the template gave.
        QCOMPARE(mdbtool({QStringLiteral("check"), path}).rc, 0);
        QCOMPARE(mdbtool({QStringLiteral("tables"), path}).out.trimmed(), QString("Cards"));
        QStringList typed;
        for (const QString& c : columns)
            typed << c + "  Text (255)";
        QCOMPARE(columnsOf(path, "Cards"), typed);
        if (!columns.isEmpty()) checkReadBack(path, "Cards", columns);
    }

    void exampleTemplatesGiveTheirColumns() {
        const QStringList expected[] = {
            {"Name", "Department", "Employee_No", "Photo"},
            {"F_Name", "F_Member_No", "F_Photo", "B_Name", "B_Valid_until", "B_Card_ID"}};
        const char* examples[] = {"Employee", "Member"};
        for (int i = 0; i < 2; ++i) {
            const QString path = m_out.filePath(QString("example-%1.mdb").arg(i));
            Answerer answers;
            auto sheet = sheetFor(path, "Cards", {});
            sheet->m_templatePage->m_strTemplatePath =
                QString(TESSOR_BIN_DIR "/Layout/%1.mds").arg(examples[i]);
            sheet->CreateDatabase(0);
            QVERIFY(answers.texts.isEmpty());
            QCOMPARE(sheet->m_bCreateFailed, 0);
            checkReadBack(path, "Cards", expected[i]);
        }
    }

    // Damaged copies of the example templates: every one is read whole or refused with a
    // reason, never a crash (the run is meant for the sanitizer builds as well).
    void damagedTemplatesAreRefusedCleanly() {
        std::mt19937 random(16);
        int refused = 0;
        for (const char* name : {"Employee", "Member"}) {
            QFile f(QString(TESSOR_BIN_DIR "/Layout/%1.mds").arg(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray original = f.readAll();
            cardio::CardTemplate card;
            std::string error;
            QVERIFY2(cardio::ParseCardTemplate(original.toStdString(), card, error), error.c_str());
            for (int round = 0; round < 20000; ++round) {
                std::string text = original.toStdString();
                const int edits = 1 + int(random() % 4);
                for (int e = 0; e < edits && !text.empty(); ++e) {
                    const std::size_t at = random() % text.size();
                    switch (random() % 4) {
                        case 0:
                            text[at] = char(random() % 256);
                            break;
                        case 1:
                            text.erase(at, 1 + random() % 16);
                            break;
                        case 2:
                            text.insert(at,
                                        std::string(1 + random() % 3, "\"\\[]\n \0"[random() % 8]));
                            break;
                        default:
                            text.resize(at);
                            break;
                    }
                }
                if (cardio::ParseCardTemplate(text, card, error)) {
                    QVERIFY(card.sidesCode() >= 1 && card.sidesCode() <= 3);
                    for (const cardio::CardSide* side : {&card.front, &card.back})
                        for (const cardio::CardObject& o : side->objects)
                            QVERIFY(!o.name.empty() && o.name.size() <= cardio::kMaxName);
                } else {
                    QVERIFY(!error.empty());
                    ++refused;
                }
            }
        }
        QVERIFY(refused > 1000);
    }

    void copyRefusalsLeaveTheDestinationAlone() {
        // An existing file that nobody holds is replaced without a question.
        const QString spare = m_out.filePath("spare.mdb");
        {
            QFile f(spare);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a database");
        }
        {
            Answerer answers;
            auto sheet = sheetFor(spare, "Table1", {"Name"});
            sheet->CreateDatabase(1);
            QCOMPARE(sheet->m_bCreateFailed, 0);
            QVERIFY(answers.texts.isEmpty());
            checkReadBack(spare, "Table1", {"Name"});
        }

        // A file a table window holds open is not replaced: its holder would lose its data.
        auto holder = tessor::provider::Connection::create();
        holder->setMode(tessor::provider::ado::kModeShareExclusive);
        holder->open(tessor::provider::ConnectionString::format(spare.toStdString()));
        QFile before(spare);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();
        const QStringList inFolder = QDir(m_out.path()).entryList(QDir::Files);
        {
            Answerer answers;
            auto sheet = sheetFor(spare, "Other", {"X"});
            sheet->CreateDatabase(1);
            QCOMPARE(answers.texts, QStringList{"Copie impossible"});
            QCOMPARE(sheet->m_bCreateFailed, 1);
            QVERIFY(sheet->m_strDbPath.isEmpty());
        }
        holder->close();
        QVERIFY(before.open(QIODevice::ReadOnly));
        QCOMPARE(before.readAll(), bytes);
        before.close();

        // Without the template nothing is written, not even a part of a file.
        QTemporaryDir bare;
        {
            Answerer answers;
            CNewSheet sheet(bare.path());
            sheet.m_newPage->m_strPath = m_out.filePath("none.mdb");
            sheet.m_fieldPage->m_listFields->addItem("Name");
            sheet.CreateDatabase(1);
            QCOMPARE(answers.texts, QStringList{"Create Database File Failed"});
            QCOMPARE(sheet.m_bCreateFailed, 1);
        }
        QCOMPARE(QDir(m_out.path()).entryList(QDir::Files), inFolder);
    }

    void newCommandCreatesAndOpensTheDatabase() {
        CMainApp app(m_app.path());
        QList<QPointer<HoldingTableWindow>> windows;
        app.SetChildFrameFactory([&windows](CMainFrame* frame) -> QWidget* {
            auto* window = new HoldingTableWindow(frame);
            windows << window;
            return window;
        });
        QVERIFY(app.InitInstance());
        QVERIFY(app.MainFrame()->RouteHandles(res::ID_FILE_NEW));

        // Cancel on step 3: nothing made, nothing opened.
        const QString path = m_out.filePath("new.mdb");
        Answerer answers;
        answers.drive = [&](CNewSheet* sheet) {
            sheet->m_newPage->PathEdit()->setText(path);
            click(sheet, QWizard::NextButton);
            click(sheet, QWizard::NextButton);
            click(sheet, QWizard::CancelButton);
        };
        QVERIFY(app.OnCommand(res::ID_FILE_NEW));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(windows.isEmpty());

        // The whole road: the field list typed in through the name dialog, Finish, the table
        // window on the new file.
        answers.drive = [&](CNewSheet* sheet) {
            sheet->m_newPage->PathEdit()->setText(path);
            click(sheet, QWizard::NextButton);
            sheet->m_tablePage->NameEdit()->setText("Cards");
            click(sheet, QWizard::NextButton);
            sheet->m_methodPage->Methods()->button(1)->click();
            click(sheet, QWizard::NextButton);
            answers.names = {"Name", "Tel"};
            control(sheet->m_fieldPage, res::IDC_PAGE_FIELD_NEW)->click();
            control(sheet->m_fieldPage, res::IDC_PAGE_FIELD_NEW)->click();
            click(sheet, QWizard::FinishButton);
        };
        QVERIFY(app.OnCommand(res::ID_FILE_NEW));
        QCOMPARE(windows.size(), 1);
        QCOMPARE(windows[0]->m_path, path);
        QCOMPARE(windows[0]->m_table, QString("Cards"));
        windows[0]->parentWidget()->close();
        QTRY_VERIFY(windows[0].isNull());
        checkReadBack(path, "Cards", {"Name", "Tel"});

        // A refused table name: the engine's words, and nothing opened.
        answers.drive = [&](CNewSheet* sheet) {
            sheet->m_newPage->PathEdit()->setText(m_out.filePath("refused.mdb"));
            click(sheet, QWizard::NextButton);
            sheet->m_tablePage->NameEdit()->setText("a.b");
            click(sheet, QWizard::NextButton);
            sheet->m_methodPage->Methods()->button(1)->click();
            click(sheet, QWizard::NextButton);
            sheet->m_fieldPage->m_listFields->addItem("Name");
            click(sheet, QWizard::FinishButton);
        };
        answers.texts.clear();
        QVERIFY(app.OnCommand(res::ID_FILE_NEW));
        QCOMPARE(answers.texts.size(), 1);
        QVERIFY(answers.texts[0].contains("a.b"));
        QCOMPARE(windows.size(), 1);
    }
};

QTEST_MAIN(WizardTest)
#include "WizardTest.moc"
