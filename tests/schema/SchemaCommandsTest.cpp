// The table-design commands over real database files: each result is read back by our mdbtool
// (columns, keys, integrity check) and by the foreign readers (mdbtools, mdb-reader).

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <functional>

#include "ForeignReaders.h"
#include "ToolReadBack.h"
#include "Jet4ImageBuilder.h"
#include "ModalDriver.h"
#include "app/ChildFrame.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "provider/Recordset.h"
#include "lang/LangText.h"
#include "res/ResourceIds.h"
#include "schema/FieldCommands.h"
#include "schema/FieldEditDlg.h"
#include "schema/NameDlg.h"
#include "schema/SchemaSql.h"
#include "schema/SetPasswordDlg.h"

namespace {

using toolcheck::mdbtool;
using toolcheck::Tool;

// A new database with the tables the statements make.
QString makeDatabase(const QString& path, const QStringList& statements) {
    QFile::remove(path);
    if (mdbtool({QStringLiteral("create"), path}).rc != 0) return {};
    for (const QString& s : statements)
        if (Tool t = mdbtool({QStringLiteral("sql"), path, s}); t.rc != 0) {
            qWarning() << s << t.out;
            return {};
        }
    return path;
}

// The table's columns and key/index lines as mdbtool reads them ("COLUMN x", "INDEX ...").
QStringList design(const QString& path, const QString& table, const QString& password = {}) {
    QStringList lines;
    for (const QString& l : mdbtool({QStringLiteral("schema"), path, table}, password)
                                .out.split(QLatin1Char('\n'))) {
        const QString t = l.trimmed();
        if (t.startsWith(QLatin1String("COLUMN ")))
            lines << t.section(QLatin1String("  "), 0, 0);
        else if (t.startsWith(QLatin1String("INDEX ")))
            lines << t.section(QLatin1String("  "), 0, 0) + QLatin1Char(' ') +
                         t.mid(t.indexOf(QLatin1Char('(')));
    }
    return lines;
}

QStringList columnsOf(const QStringList& designLines) {
    QStringList out;
    for (const QString& l : designLines)
        if (l.startsWith(QLatin1String("COLUMN "))) out << l.mid(7);
    return out;
}

using toolcheck::checkReadBack;

// Answers every modal window while it lives: message boxes with `answer` (their texts are
// kept), name dialogs with the next of `names`, password dialogs with `passwords` (new,
// confirm, old), and a field edit dialog by running `fieldEdit` on it and then OK.
class Answerer : public QObject {
public:
    QStringList texts;
    QStringList names;
    QStringList passwords;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::function<void(CFieldEditDlg*)> fieldEdit;

    Answerer() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &Answerer::poll);
        m_timer.start();
    }

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_busy) return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            texts << box->text();
            QAbstractButton* b = box->button(answer);
            if (!b) b = box->button(answer == QMessageBox::Yes ? QMessageBox::Ok : QMessageBox::Yes);
            if (!b) b = box->button(QMessageBox::Ok);
            if (b) b->click(); else box->close();
            return;
        }
        auto* dlg = qobject_cast<QDialog*>(w);
        if (!dlg) {
            w->close();
            return;
        }
        // A dialog still up after its answer refused it: it is left through Cancel.
        if (m_done.contains(dlg)) {
            dlg->reject();
            return;
        }
        m_done << dlg;
        m_busy = dlg;
        // From a timer of its own, so that this one keeps answering what the dialog opens.
        QTimer::singleShot(0, dlg, [this, dlg] {
            if (auto* name = qobject_cast<CNameDlg*>(dlg)) {
                name->NameEdit()->setText(names.isEmpty() ? QString() : names.takeFirst());
            } else if (auto* pw = qobject_cast<CSetPasswordDlg*>(dlg)) {
                pw->NewEdit()->setText(passwords.value(0));
                pw->ConfirmEdit()->setText(passwords.value(1));
                pw->OldEdit()->setText(passwords.value(2));
            } else if (auto* edit = qobject_cast<CFieldEditDlg*>(dlg)) {
                if (fieldEdit) fieldEdit(edit);
            }
            m_busy = nullptr;
            dlg->accept();
        });
    }

    QList<QPointer<QDialog>> m_done;
    QTimer m_timer;
    QPointer<QWidget> m_busy;
};

std::unique_ptr<CRecordsetView> openView(const QString& path, const QString& table,
                                         const QString& password = {}) {
    auto view = std::make_unique<CRecordsetView>();
    view->resize(900, 400);
    view->show();
    view->OnInitialUpdate();
    schema::InstallCommands(view.get());
    if (!view->OpenRecordset(path, table, password)) return nullptr;
    return view;
}

void pickColumn(CRecordsetView* view, const QString& name) {
    CDataGrid& grid = view->GetGrid();
    for (short i = 0; i < grid.GetColumns().GetCount(); ++i)
        if (grid.GetColumns().GetItem(i).GetCaption() == name) emit grid.HeadClick(i);
}

const QStringList kCardTable = {
    QStringLiteral("CREATE TABLE [Card T] (ID LONG, [Name] TEXT(50), A TEXT(50), B TEXT(50), "
                   "CONSTRAINT PrimaryKey PRIMARY KEY (ID))"),
    QStringLiteral("CREATE INDEX NameIdx ON [Card T] ([Name])"),
    QStringLiteral("INSERT INTO [Card T] VALUES (1, 'one', 'a1', 'b1')"),
    QStringLiteral("INSERT INTO [Card T] VALUES (2, 'two', 'a2', 'b2')"),
    QStringLiteral("CREATE TABLE [One] (X TEXT(50))")};

}  // namespace

class SchemaCommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void nameEditFiltersTypingAndPasting_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("keys") << "a b-c" << "" << "abc";
        QTest::newRow("allowed marks") << "_@:Z9" << "" << "_@:Z9";
        QTest::newRow("paste") << "" << "x y.z[1]\t@" << "xyz1@";
        QTest::newRow("latin-1 dropped, beyond kept") << "é" << "Ωñ" << "Ω";
    }
    void nameEditFiltersTypingAndPasting() {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        CNameEdit edit;
        edit.show();
        for (QChar c : typed) {
            // Each character as a key press carrying its text, as a keyboard layout sends it.
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(&edit, &press);
        }
        if (!pasted.isEmpty()) {
            QGuiApplication::clipboard()->setText(pasted);
            edit.paste();
        }
        QCOMPARE(edit.text(), expected);
    }

    void nameDialogRefusals_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal");  // empty: accepted
        const QString exists = QStringLiteral("The field name already exist");
        QTest::newRow("empty") << 0 << -1 << "" << "Please input the name";
        QTest::newRow("new, existing") << 0 << -1 << "Name" << exists;
        QTest::newRow("other case") << 0 << -1 << "name" << "";
        QTest::newRow("rename keeps own") << 1 << 1 << "Name" << "";
        QTest::newRow("rename onto other") << 1 << 0 << "Name" << exists;
    }
    void nameDialogRefusals() {
        QFETCH(int, mode);
        QFETCH(int, selected);
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        QListWidget list;
        list.addItems({QStringLiteral("ID"), QStringLiteral("Name")});
        if (selected >= 0) list.item(selected)->setSelected(true);
        CNameDlg dlg;
        dlg.m_nMode = mode;
        dlg.m_pList = &list;
        dlg.m_strName = name;
        Answerer answerer;
        answerer.names << name;
        const bool accepted = dlg.exec() == QDialog::Accepted;
        QCOMPARE(dlg.windowTitle(), mode == 0 ? QString("New") : QString("Rename"));
        QCOMPARE(accepted, refusal.isEmpty());
        QCOMPARE(answerer.texts, refusal.isEmpty() ? QStringList() : QStringList{refusal});
        if (accepted) QCOMPARE(dlg.m_strName, name);
    }

    void proposedNames_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("proposal");
        QTest::newRow("empty") << QStringList() << "Field1";
        QTest::newRow("Field2 alone") << QStringList{"Field2"} << "Field3";
        QTest::newRow("raised past lines") << QStringList{"Field3", "Field4", "x"} << "Field5";
        QTest::newRow("case counts") << QStringList{"a", "field3"} << "Field3";
    }
    void proposedNames() {
        QFETCH(QStringList, lines);
        QFETCH(QString, proposal);
        QCOMPARE(CFieldEditDlg::ProposedName(lines), proposal);
    }

    // Pending changes turned into statements on a real file: ops "new:X", "del:X", "apply".
    void fieldEditDialog_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("ops");
        QTest::addColumn<QStringList>("messages");  // prefixes of the texts shown, in order
        QTest::addColumn<QStringList>("columns");   // the table's columns afterwards
        QTest::newRow("one column")
            << "One" << QStringList{"del:X", "new:Y", "del:X", "apply"}
            << QStringList{"Must has at least one field", "Delete field", "Apply Change"}
            << QStringList{"Y"};
        QTest::newRow("added then deleted runs nothing")
            << "Card T" << QStringList{"new:N1", "del:N1", "apply"}
            << QStringList{"Delete field", "Apply Change"}
            << QStringList{"ID", "Name", "A", "B"};
        QTest::newRow("key and index refused")
            << "Card T" << QStringList{"del:ID", "del:Name", "apply"}
            << QStringList{"Can't delete the field that set as primary key",
                           "Can't delete the field that index reference"}
            << QStringList{"ID", "Name", "A", "B"};
        QTest::newRow("delete B then add B")
            << "Card T" << QStringList{"del:B", "new:B", "apply"}
            << QStringList{"Delete field", "Apply Change", "Field 'B' already exists"}
            << QStringList{"ID", "Name", "A"};
        QTest::newRow("latest added first, blank in the name")
            << "Card T" << QStringList{"new:C1", "new:C 2", "del:A", "apply"}
            << QStringList{"Delete field", "Apply Change"}
            << QStringList{"ID", "Name", "B", "C 2", "C1"};
    }
    void fieldEditDialog() {
        QFETCH(QString, table);
        QFETCH(QStringList, ops);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, columns);
        const QString file = makeDatabase(path(QStringLiteral("edit.mdb")), kCardTable);
        QVERIFY(!file.isEmpty());
        auto view = openView(file, table);
        QVERIFY(view);
        Answerer answerer;
        QStringList statements;
        answerer.fieldEdit = [&](CFieldEditDlg* dlg) {
            for (const QString& op : ops) {
                const QString arg = op.section(QLatin1Char(':'), 1);
                if (op.startsWith(QLatin1String("new:"))) {
                    answerer.names << arg;
                    dlg->OnNew();
                } else if (op.startsWith(QLatin1String("del:"))) {
                    const auto found = dlg->FieldList()->findItems(arg, Qt::MatchExactly);
                    dlg->FieldList()->clearSelection();
                    if (!found.isEmpty()) found.front()->setSelected(true);
                    dlg->OnDelete();
                }
            }
            statements = dlg->Statements();
        };
        QVERIFY(view->OnCommand(res::ID_FIELD_MODIFY));
        QCOMPARE(answerer.texts.size(), messages.size());
        for (int i = 0; i < messages.size(); ++i)
            QVERIFY2(answerer.texts[i].startsWith(messages[i]), qPrintable(answerer.texts[i]));
        // The ADDs come first, the latest first; a column added and deleted again runs nothing.
        for (int i = 1; i < statements.size(); ++i)
            QVERIFY(!(statements[i].contains(" ADD ") && statements[i - 1].contains(" DROP ")));
        // The view reads the table again and shows its columns now.
        QStringList shown;
        for (short i = 0; i < view->GetGrid().GetColumns().GetCount(); ++i)
            shown << view->GetGrid().GetColumns().GetItem(i).GetCaption();
        QCOMPARE(shown, columns);
        view.reset();
        QCOMPARE(columnsOf(design(file, table)), columns);
        checkReadBack(file, table, columns);
    }

    void relationshipColumnIsRefused() {
        // A relationship that enforces nothing has no index: only the relationship table
        // names its columns.
        using B = jettest::Jet4ImageBuilder;
        using jet::ColumnType;
        B b;
        b.addTable("Cards", {{"Id", ColumnType::Long},
                             {"Code", ColumnType::Text, false, 50},
                             {"Note", ColumnType::Text, false, 50}});
        const int rel = b.addTable("MSysRelationships",
                                   {{"ccolumn", ColumnType::Long},
                                    {"grbit", ColumnType::Long},
                                    {"icolumn", ColumnType::Long},
                                    {"szColumn", ColumnType::Text, false, 128},
                                    {"szObject", ColumnType::Text, false, 128},
                                    {"szReferencedColumn", ColumnType::Text, false, 128},
                                    {"szReferencedObject", ColumnType::Text, false, 128},
                                    {"szRelationship", ColumnType::Text, false, 128}});
        b.addRow(rel, {B::i32(1), B::i32(2), B::i32(0), B::compressed("Code"),
                       B::compressed("Cards"), B::compressed("Key"), B::compressed("Other"),
                       B::compressed("OtherCards")});
        const QString file = path(QStringLiteral("rel.mdb"));
        {
            const std::vector<uint8_t> image = b.build();
            std::ofstream out(file.toStdString(), std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(image.data()),
                      static_cast<std::streamsize>(image.size()));
        }
        auto view = openView(file, QStringLiteral("Cards"));
        QVERIFY(view);
        Answerer answerer;
        answerer.answer = QMessageBox::Yes;
        answerer.fieldEdit = [](CFieldEditDlg* dlg) {
            dlg->FieldList()->findItems("Code", Qt::MatchExactly).front()->setSelected(true);
            dlg->OnDelete();
        };
        QVERIFY(view->OnCommand(res::ID_FIELD_MODIFY));
        pickColumn(view.get(), QStringLiteral("Code"));
        QVERIFY(view->OnCommand(res::ID_FIELD_DELETE));
        QCOMPARE(answerer.texts,
                 QStringList({"Can't delete the field that a relationship uses", "Delete Field?",
                              "Can't delete the field that a relationship uses"}));
        // The other column goes.
        pickColumn(view.get(), QStringLiteral("Note"));
        QVERIFY(view->OnCommand(res::ID_FIELD_DELETE));
        view.reset();
        QCOMPARE(columnsOf(design(file, QStringLiteral("Cards"))), QStringList({"Id", "Code"}));
    }

    void deleteFieldFromTheGrid() {
        const QString file = makeDatabase(path(QStringLiteral("delete.mdb")), kCardTable);
        auto view = openView(file, QStringLiteral("Card T"));
        QVERIFY(view);
        Answerer answerer;
        // No: nothing changes.
        answerer.answer = QMessageBox::No;
        pickColumn(view.get(), QStringLiteral("B"));
        QVERIFY(view->OnCommand(res::ID_FIELD_DESCEND));
        QVERIFY(view->OnCommand(res::ID_FIELD_DELETE));
        QCOMPARE(answerer.texts, QStringList{"Delete Field?"});
        QVERIFY(!view->GetRecordset()->sort().empty());
        // Yes: the sort on it goes first, then the column.
        answerer.answer = QMessageBox::Yes;
        pickColumn(view.get(), QStringLiteral("B"));
        QVERIFY(view->OnCommand(res::ID_FIELD_DELETE));
        QVERIFY(view->GetRecordset()->sort().empty());
        QCOMPARE(view->GetGrid().GetColumns().GetCount(), 3);
        QCOMPARE(answerer.texts.size(), 2);
        view.reset();
        checkReadBack(file, QStringLiteral("Card T"), {"ID", "Name", "A"});
    }

    void primaryKey_data() {
        QTest::addColumn<QString>("key");       // the key's columns in the CREATE TABLE, or none
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("expected");  // the key's line afterwards
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("already the key") << "ID" << "ID" << "INDEX PrimaryKey (ID ASC)"
                                         << QStringList{"This field already set as primary key"};
        QTest::newRow("another column") << "ID" << "A" << "INDEX PrimaryKey (A ASC)"
                                        << QStringList();
        QTest::newRow("over a two-column key") << "ID, A" << "B" << "INDEX PrimaryKey (B ASC)"
                                               << QStringList();
        QTest::newRow("no key yet") << "" << "B" << "INDEX PrimaryKey (B ASC)" << QStringList();
    }
    void primaryKey() {
        QFETCH(QString, key);
        QFETCH(QString, picked);
        QFETCH(QString, expected);
        QFETCH(QStringList, messages);
        QString create = QStringLiteral("CREATE TABLE [Card T] (ID LONG, A TEXT(50), B TEXT(50)");
        if (!key.isEmpty()) create += QStringLiteral(", CONSTRAINT PrimaryKey PRIMARY KEY (%1)").arg(key);
        const QString file = makeDatabase(
            path(QStringLiteral("key.mdb")),
            {create + QLatin1Char(')'),
             QStringLiteral("INSERT INTO [Card T] VALUES (1, 'a1', 'b1')"),
             QStringLiteral("INSERT INTO [Card T] VALUES (2, 'a2', 'b2')")});
        QVERIFY(!file.isEmpty());
        auto view = openView(file, QStringLiteral("Card T"));
        QVERIFY(view);
        Answerer answerer;
        pickColumn(view.get(), picked);
        QVERIFY(view->OnCommand(res::ID_FIELD_PRIMARY_KEY));
        QCOMPARE(answerer.texts, messages);
        view.reset();
        const QStringList lines = design(file, QStringLiteral("Card T"));
        QCOMPARE(lines.filter(QStringLiteral("INDEX ")), QStringList{expected});
        QCOMPARE(mdbtool({QStringLiteral("check"), file}).rc, 0);
        const std::string foreign = jettest::schemaByMdbSchema(file.toStdString());
        if (!foreign.empty()) QVERIFY(QString::fromStdString(foreign).contains("[Card T]"));
    }

    void printInfoFields() {
        const QString file = makeDatabase(
            path(QStringLiteral("print.mdb")),
            {QStringLiteral("CREATE TABLE Cards (ID LONG, Vexa_Print_Count LONG, "
                            "vexa_id1_image TEXT(10))"),
             QStringLiteral("INSERT INTO Cards VALUES (1, 5, 'x')")});
        QVERIFY(!file.isEmpty());
        auto view = openView(file, QStringLiteral("Cards"));
        QVERIFY(view);
        Answerer answerer;
        QVERIFY(view->OnCommand(res::ID_FIELD_ADD_PRINT_INFO));
        // A name that differs only in case counts as missing: the engine refuses it (names are
        // one regardless of case) and says so; the rest are added in their order.
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY2(answerer.texts[0].contains("vexa_id1_image"), qPrintable(answerer.texts[0]));
        const QStringList columns = {"ID",           "Vexa_Print_Count", "vexa_id1_image",
                                     "Vexa_Print",   "Vexa_Print_Time",  "Vexa_Total_Print",
                                     "Vexa_ID1_Rect", "Vexa_ID2_Rect",   "Vexa_ID2_Image"};
        QCOMPARE(view->GetGrid().GetColumns().GetCount(), columns.size());
        // A second run finds them all and does nothing.
        QVERIFY(view->OnCommand(res::ID_FIELD_ADD_PRINT_INFO));
        QCOMPARE(answerer.texts.size(), 2);  // the case-different one is tried again
        view.reset();
        const QString schema = mdbtool({QStringLiteral("schema"), file}).out;
        for (const char* typed : {"Vexa_Print  Yes/No", "Vexa_Print_Time  Date/Time",
                                  "Vexa_Total_Print  Long Integer", "Vexa_ID2_Rect  Text (255)",
                                  "Vexa_ID2_Image  OLE Object"})
            QVERIFY2(schema.contains(typed), typed);
        checkReadBack(file, QStringLiteral("Cards"), columns);
    }

    void printInfoFieldsOnACorpusFile() {
        // A real file whose table takes part in relationships: all eight are added.
        const QString from = QString::fromLocal8Bit(qgetenv("TESSOR_SHARED_DIR")) +
                             QStringLiteral("/testdata/mdb/jet4-2003-jackcess-index.mdb");
        if (!QFile::exists(from)) QSKIP("corpus not present");
        const QString file = path(QStringLiteral("corpus.mdb"));
        QFile::remove(file);
        QVERIFY(QFile::copy(from, file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        auto view = openView(file, QStringLiteral("Table1"));
        QVERIFY(view);
        Answerer answerer;
        QVERIFY(view->OnCommand(res::ID_FIELD_ADD_PRINT_INFO));
        QCOMPARE(answerer.texts, QStringList());
        view.reset();
        QStringList columns = {"id", "otherfk1", "otherfk2", "data", "otherfk3"};
        for (const schema::PrintInfoColumn& c : schema::kPrintInfoColumns)
            columns << c.name;
        QCOMPARE(columnsOf(design(file, QStringLiteral("Table1"))), columns);
        checkReadBack(file, QStringLiteral("Table1"), columns);
    }

    void setPassword_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("typed");  // new, confirm, old
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("message");  // start of the text shown, or empty
        QTest::newRow("set") << "" << QStringList{"secret", "secret", ""} << "secret" << "";
        QTest::newRow("change, blank and non-ASCII")
            << "secret" << QStringList{"n e w é", "n e w é", "secret"} << "n e w é" << "";
        QTest::newRow("clear") << "secret" << QStringList{"", "", "secret"} << "" << "";
        QTest::newRow("wrong old") << "secret" << QStringList{"x", "x", "bad"} << "secret"
                                   << "Not a valid password";
        QTest::newRow("confirm differs in case")
            << "" << QStringList{"Abc", "abc", ""} << ""
            << "New Password and Confirm Password not the same!";
        QTest::newRow("bracket") << "" << QStringList{"a]b", "a]b", ""} << "a]b" << "";
    }
    void setPassword() {
        QFETCH(QString, before);
        QFETCH(QStringList, typed);
        QFETCH(QString, after);
        QFETCH(QString, message);
        const QString file = path(QStringLiteral("pw.mdb"));
        QFile::remove(file);
        QStringList create = {QStringLiteral("create"), file};
        if (!before.isEmpty()) create << QStringLiteral("--password") << before;
        QCOMPARE(mdbtool(create).rc, 0);
        QCOMPARE(mdbtool({QStringLiteral("sql"), file, QStringLiteral("CREATE TABLE T (A LONG)")},
                         before)
                     .rc,
                 0);
        // Through a table window, which keeps the password for Save As.
        CChildFrame frame(nullptr, CLangText::DefaultIniPath());
        QVERIFY(frame.OpenTable(file, QStringLiteral("T"), before));
        schema::InstallCommands(frame.GetView());
        {
            Answerer answerer;
            answerer.passwords = typed;
            QVERIFY(frame.OnCommand(res::ID_FILE_SET_PASSWORD));
            if (message.isEmpty()) {
                QCOMPARE(answerer.texts, QStringList());
            } else {
                QCOMPARE(answerer.texts.size(), 1);
                QVERIFY2(answerer.texts[0].startsWith(message), qPrintable(answerer.texts[0]));
            }
        }
        QCOMPARE(frame.GetView()->GetPassword(), after);
        QCOMPARE(frame.GetPassword(), after);
        // The program reopens the file with the new password: as the copy Save As makes (the
        // window then lets go of the original), and in place.
        const QString copy = path(QStringLiteral("pw-copy.mdb"));
        QFile::remove(copy);
        frame.SetSaveChooser([&](QWidget*, const QString&) { return copy; });
        frame.OnFileSaveAs();
        QCOMPARE(frame.GetPath(), copy);
        QVERIFY(frame.GetView()->GetRecordset()->isOpen());
        QCOMPARE(mdbtool({QStringLiteral("info"), file}, after).rc, 0);
        if (!after.isEmpty()) QVERIFY(mdbtool({QStringLiteral("info"), file}).rc != 0);
        QVERIFY(frame.GetView()->OpenRecordset(file, QStringLiteral("T"), after));
    }

    void passwordEnterWalksTheFields() {
        CSetPasswordDlg dlg;
        bool accepted = false;
        onNextModal([&](QWidget*) {
            QTest::keyClicks(dlg.NewEdit(), QStringLiteral("pw"));
            QTest::keyClick(dlg.NewEdit(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), dlg.ConfirmEdit());
            QCOMPARE(dlg.m_strNew, QString("pw"));
            QTest::keyClicks(dlg.ConfirmEdit(), QStringLiteral("pw"));
            QTest::keyClick(dlg.ConfirmEdit(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), dlg.OldEdit());
            QTest::keyClick(dlg.OldEdit(), Qt::Key_Return);
            auto* ok = qobject_cast<QPushButton*>(QApplication::focusWidget());
            QVERIFY(ok && ok->property("controlId").toInt() == res::IDOK);
            QVERIFY(dlg.isVisible());
            QTest::keyClick(ok, Qt::Key_Return);
            if (dlg.isVisible()) dlg.reject();
        });
        accepted = dlg.exec() == QDialog::Accepted;
        QVERIFY(accepted);
        QCOMPARE(dlg.m_strConfirm, QString("pw"));
        QCOMPARE(dlg.m_strOld, QString());
    }
};

QTEST_MAIN(SchemaCommandsTest)
#include "SchemaCommandsTest.moc"
