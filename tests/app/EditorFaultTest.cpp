// The editor's operations with the disk failing under them: the program stopped at each write
// of the operation, and a full disk or an I/O error (in turn) at each write. What a restart
// finds is sound and holds the state from before the operation or from after it; a reported
// failure shows the system's reason, and the same window then does the operation whole. The
// operations run on a Jet 4 file and on an Access 97 one (a real file of that version with the
// same table made in it by the engine).
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "FaultyDisk.h"
#include "ForeignReaders.h"
#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "db/FileAccess.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Reopen.h"
#include "jet/ValueText.h"
#include "provider/Connection.h"
#include "provider/EngineSession.h"
#include "res/ResourceIds.h"
#include "schema/FieldCommands.h"
#include "schema/FieldEditDlg.h"
#include "schema/NameDlg.h"
#include "schema/SetPasswordDlg.h"
#include "wizard/NewSheet.h"

using jettest::FaultyDisk;
using Fault = FaultyDisk::Fault;

namespace {

const char kPassword[] = "n3w pass";

std::vector<uint8_t> buildImage() {
    using B = jettest::Jet4ImageBuilder;
    using jet::ColumnType;
    B b;
    b.addTable("Cards",
               {{"Id", ColumnType::Long},
                {"Name", ColumnType::Text, false, 50},
                {"Note", ColumnType::Text, false, 50}},
               {B::Index{"PrimaryKey", {{0, true}}, 0x89, jet::IndexKind::Primary}});
    return b.build();
}

// The Access 97 file the operations start from, from the shared corpus: a real one of that
// version (2 KB pages, text in its code page, General 97 index keys) with one small table of
// its own; the table Cards is made in a copy of it through the engine. Without the corpus, a
// file of that version built by the tests takes its place.
const char kJet3Corpus[] = "jet3-jackcess-deltest.mdb";

// Answers what the operations bring up: message boxes with Yes (or OK), keeping their texts;
// the name, password and field-design dialogs as the running case says.
class Answerer : public QObject {
public:
    QStringList texts;
    QStringList names;
    std::function<void(CFieldEditDlg*)> fieldEdit;

    Answerer() {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &Answerer::poll);
        m_timer.start();
    }

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_busy) return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            texts << box->text();
            QAbstractButton* b = box->button(QMessageBox::Yes);
            if (!b) b = box->button(QMessageBox::Ok);
            if (b)
                b->click();
            else
                box->close();
            return;
        }
        auto* dlg = qobject_cast<QDialog*>(w);
        if (!dlg) {
            w->close();
            return;
        }
        if (m_done.contains(dlg)) {
            dlg->reject();
            return;
        }
        m_done << dlg;
        m_busy = dlg;
        QTimer::singleShot(0, dlg, [this, dlg] {
            if (auto* name = qobject_cast<CNameDlg*>(dlg)) {
                name->NameEdit()->setText(names.isEmpty() ? QString() : names.takeFirst());
            } else if (auto* pw = qobject_cast<CSetPasswordDlg*>(dlg)) {
                pw->NewEdit()->setText(QString::fromLatin1(kPassword));
                pw->ConfirmEdit()->setText(QString::fromLatin1(kPassword));
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

QLineEdit* editorOf(CDataGrid& grid) {
    for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) return e;
    return nullptr;
}

void pickColumn(CRecordsetView& view, const QString& name) {
    CDataGrid& grid = view.GetGrid();
    for (short i = 0; i < grid.GetColumns().GetCount(); ++i)
        if (grid.GetColumns().GetItem(i).GetCaption() == name) emit grid.HeadClick(i);
}

// One editor operation, as the user starts it in a table window over Cards.
struct Operation {
    const char* name;
    std::function<void(CRecordsetView&, Answerer&)> run;
};

const std::vector<Operation>& operations() {
    static const std::vector<Operation> ops = {
        {"cell edit",
         [](CRecordsetView& view, Answerer&) {
             CDataGrid& grid = view.GetGrid();
             grid.SetRow(1);
             grid.SetCol(1);
             grid.SetEditActive(true);
             QLineEdit* editor = editorOf(grid);
             QVERIFY(editor);
             // Letters outside ASCII: on Access 97 they go into the file's code page.
             editor->setText(QStringLiteral("renamed \u00e9t\u00e9 \u20ac5"));
             QTest::keyClick(editor, Qt::Key_Return);
             QVERIFY(QTest::qWaitFor([&grid] { return !grid.GetEditActive(); }));
             grid.SetRow(0);  // leaving the row drops text a failure left in the cell
         }},
        {"delete of picked records",
         [](CRecordsetView& view, Answerer&) {
             CDataGrid& grid = view.GetGrid();
             const QList<int> rows = {2, 7, 4};
             for (int i = 0; i < rows.size(); ++i) {
                 const int row = rows[i];
                 grid.scrollTo(grid.model()->index(row, 0));
                 QHeaderView* h = grid.verticalHeader();
                 QTest::mouseClick(h->viewport(), Qt::LeftButton,
                                   i == 0 ? Qt::KeyboardModifiers() : Qt::ControlModifier,
                                   QPoint(h->width() / 2, h->sectionViewportPosition(row) +
                                                              h->sectionSize(row) / 2));
             }
             QCOMPARE(grid.GetSelBookmarks().GetCount(), 3L);
             QVERIFY(view.OnCommand(res::ID_RECORD_DELETE));
         }},
        {"paste of records",
         [](CRecordsetView& view, Answerer&) {
             // From the picked record on, whole records.
             CDataGrid& grid = view.GetGrid();
             const int row = 3;
             grid.scrollTo(grid.model()->index(row, 0));
             QHeaderView* h = grid.verticalHeader();
             QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                               QPoint(h->width() / 2, h->sectionViewportPosition(row) +
                                                          h->sectionSize(row) / 2));
             QGuiApplication::clipboard()->setText(QStringLiteral(
                 "4\tpasted 4\tp4\r\n5\tpasted 5\tp5 \u00fc\u00df\r\n6\tpasted 6\tp6\r\n"));
             QVERIFY(view.OnCommand(res::ID_EDIT_PASTE));
         }},
        {"new field",
         [](CRecordsetView& view, Answerer& answerer) {
             answerer.fieldEdit = [&answerer](CFieldEditDlg* dlg) {
                 answerer.names << QStringLiteral("Extra");
                 dlg->OnNew();
             };
             QVERIFY(view.OnCommand(res::ID_FIELD_MODIFY));
         }},
        {"delete field",
         [](CRecordsetView& view, Answerer&) {
             pickColumn(view, QStringLiteral("Note"));
             QVERIFY(view.OnCommand(res::ID_FIELD_DELETE));
         }},
        {"primary key",
         [](CRecordsetView& view, Answerer&) {
             pickColumn(view, QStringLiteral("Name"));
             QVERIFY(view.OnCommand(res::ID_FIELD_PRIMARY_KEY));
         }},
        {"print information fields",
         [](CRecordsetView& view, Answerer&) {
             QVERIFY(view.OnCommand(res::ID_FIELD_ADD_PRINT_INFO));
         }},
        {"password",
         [](CRecordsetView& view, Answerer&) {
             QVERIFY(view.OnCommand(res::ID_FILE_SET_PASSWORD));
         }},
    };
    return ops;
}

}  // namespace

class EditorFaultTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_base;    // what putBase() copies: the running row's file
    QString m_jet4;    // the Jet 4 file the operations start from
    QString m_jet3;    // the Access 97 one
    FaultyDisk m_disk;

    std::unique_ptr<CRecordsetView> openView() {
        auto view = std::make_unique<CRecordsetView>();
        view->resize(700, 300);
        view->show();
        view->OnInitialUpdate();
        schema::InstallCommands(view.get());
        if (!view->OpenRecordset(m_path, QStringLiteral("Cards"), {})) return nullptr;
        return view;
    }

    void putBase() {
        QFile::remove(m_path);
        QFile::remove(m_path + QStringLiteral("-journal"));
        QVERIFY(QFile::copy(m_base, m_path));
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    }

    // What a fresh start finds: the file and its journal as they are on disk now, copied aside
    // and opened for writing (which rolls a journal back), checked, and written out as text.
    QString restartState() { return restartState(m_path); }
    QString restartState(const QString& path) {
        const QString copy = m_dir.path() + QStringLiteral("/restart.mdb");
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral("-journal"));
        if (!QFile::copy(path, copy)) return QStringLiteral("<no file>");
        QFile::copy(path + QStringLiteral("-journal"), copy + QStringLiteral("-journal"));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        for (const char* password : {"", kPassword}) {
            jet::OpenOptions rw;
            rw.readOnly = false;
            rw.password = password;
            try {
                auto db = jet::Database::open(copy.toStdString(), rw);
                const std::vector<std::string> problems = jet::checkIntegrity(*db);
                if (!problems.empty())
                    return QStringLiteral("<unsound: %1>").arg(QString::fromStdString(problems[0]));
                std::string out = "pages of " + std::to_string(db->pageSize()) +
                                  " bytes, password '" + jet::currentPassword(*db) + "'\n";
                const std::vector<std::string> tables = db->tableNames();
                if (std::find(tables.begin(), tables.end(), "Cards") == tables.end())
                    return QString::fromStdString(out + "no table Cards\n");
                const jet::TableData t = db->readTable("Cards");
                for (const jet::ColumnDef& c : t.def.columns)
                    out += c.name + " ";
                out += "\n";
                for (const jet::IndexDef& i : t.def.indexes) {
                    out += "index " + i.name + " (";
                    for (const jet::IndexColumn& k : t.def.realIndexes.at(i.realIndex).columns)
                        for (const jet::ColumnDef& c : t.def.columns)
                            if (c.id == k.columnId) out += c.name + " ";
                    out += ")\n";
                }
                for (const auto& row : t.rows) {
                    for (const jet::Value& v : row)
                        out += jet::ValueText::toText(v) + "|";
                    out += "\n";
                }
                return QString::fromStdString(out);
            } catch (const jet::Error& e) {
                if (e.code() != jet::hr::kAuthFailed)
                    return QStringLiteral("<cannot open: %1>").arg(QString::fromUtf8(e.what()));
            }
        }
        return QStringLiteral("<no password opens it>");
    }

    // Two readers that are not ours read table Cards of the file as the engine does: the same
    // field names and, field by field, the same number of records with a value.
    void expectForeignReadersAgree(const QString& path, const char* what) {
        const std::string file = path.toStdString();
        jet::TableData mine;
        for (const char* password : {"", kPassword}) {
            jet::OpenOptions ro;
            ro.password = password;
            try {
                mine = jet::Database::open(file, ro)->readTable("Cards");
                break;
            } catch (const jet::Error& e) {
                QVERIFY2(e.code() == jet::hr::kAuthFailed, e.what());
            }
        }
        QVERIFY2(!mine.def.columns.empty(), what);
        for (auto* reader : {&jettest::readWithMdbExport, &jettest::readWithMdbReader}) {
            const jettest::ForeignTable t = reader(file, "Cards");
            if (!t.available) continue;
            QVERIFY2(t.ok, (QByteArray(what) + ": " + t.output.substr(0, 500).c_str()).constData());
            QCOMPARE(t.rows.size(), mine.rows.size());
            for (size_t c = 0; c < mine.def.columns.size(); ++c) {
                const int at = t.column(mine.def.columns[c].name);
                QVERIFY2(at >= 0,
                         (QByteArray(what) + ": no field " + mine.def.columns[c].name.c_str())
                             .constData());
                const jet::ColumnType type = mine.def.columns[c].type;
                for (size_t r = 0; r < mine.rows.size(); ++r) {
                    const jet::Value& v = mine.rows[r][c];
                    const std::string& cell = t.rows[r].at(size_t(at));
                    QVERIFY2(v.isNull() == cell.empty() || v == jet::Value(std::string()), what);
                    // Numbers and text read the same, letter for letter.
                    if (!v.isNull() &&
                        (type == jet::ColumnType::Long || type == jet::ColumnType::Text))
                        QVERIFY2(jet::ValueText::toText(v) == cell,
                                 (QByteArray(what) + ": " + jet::ValueText::toText(v).c_str() +
                                  " read as " + cell.c_str())
                                     .constData());
                }
            }
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.path() + QStringLiteral("/cards.mdb");
        m_jet4 = m_dir.path() + QStringLiteral("/base.mdb");
        const std::vector<uint8_t> image = buildImage();
        std::ofstream(m_jet4.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        const std::filesystem::path corpus = jettest::corpusDir();
        m_jet3 = m_dir.path() + QStringLiteral("/base97.mdb");
        if (!corpus.empty() && std::filesystem::exists(corpus / kJet3Corpus)) {
            QVERIFY(QFile::copy(QString::fromStdString((corpus / kJet3Corpus).string()), m_jet3));
            QFile::setPermissions(m_jet3, QFile::ReadOwner | QFile::WriteOwner);
        } else {
            // without the corpus, an Access 97 file the tests build themselves
            const std::vector<uint8_t> built = jettest::builtAccess97Image();
            std::ofstream(m_jet3.toStdString(), std::ios::binary)
                .write(reinterpret_cast<const char*>(built.data()), std::streamsize(built.size()));
        }
        jet::OpenOptions rw;
        rw.readOnly = false;
        for (const QString& base : {m_jet4, m_jet3}) {
            if (base.isEmpty()) continue;
            auto db = jet::Database::open(base.toStdString(), rw);
            if (base == m_jet3) {
                QCOMPARE(db->pageSize(), 2048u);
                jet::NewColumn id{"Id", jet::ColumnType::Long};
                jet::NewColumn name{"Name", jet::ColumnType::Text, 50};
                jet::NewColumn note{"Note", jet::ColumnType::Text, 50};
                db->createTable(jet::NewTable{
                    "Cards", {id, name, note}, {jet::NewIndex{"PrimaryKey", {{"Id"}}, true}}});
            }
            db->transact([&] {
                for (int i = 1; i <= 9; ++i)
                    db->insertRow("Cards", {int32_t(i), "card " + std::to_string(i),
                                            "note " + std::to_string(i)});
            });
            db.reset();
            QFile::remove(base + QStringLiteral("-journal"));
        }
        tessor::provider::replaceDatabaseOpener(
            [this](const std::filesystem::path& path, const jet::OpenOptions& options) {
                return m_disk.open(path, options);
            });
    }

    void cleanupTestCase() { tessor::provider::replaceDatabaseOpener({}); }

    void everyWriteOfEveryOperation_data() {
        QTest::addColumn<QString>("base");
        QTest::newRow("Jet 4") << m_jet4;
        QTest::newRow("Access 97") << m_jet3;
    }

    // Every operation, stopped or failed at each of its writes in turn.
    void everyWriteOfEveryOperation() {
        QFETCH(QString, base);
        m_base = base;
        const QString full = QString::fromUtf8(std::strerror(ENOSPC));
        const QString broken = QString::fromUtf8(std::strerror(EIO));
        for (const Operation& op : operations()) {
            // The operation undisturbed: its writes, and the state it leaves.
            putBase();
            const QString before = restartState();
            int writes = 0;
            {
                Answerer answerer;
                auto view = openView();
                QVERIFY(view);
                m_disk.arm(Fault::None, 0);
                op.run(*view, answerer);
                writes = m_disk.events();
                QVERIFY2(answerer.texts.filter(QStringLiteral("fail")).isEmpty(),
                         qPrintable(answerer.texts.join(QLatin1Char('\n'))));
            }
            const QString after = restartState();
            expectForeignReadersAgree(m_path, op.name);
            qInfo("%s: %d writes", op.name, writes);
            QVERIFY2(after != before, op.name);
            QVERIFY2(writes > 3, op.name);

            // Stopped at every write; at every write also a failure, a full disk and an I/O
            // error in turn (the engine meets both the same way; the message differs).
            for (bool stop : {true, false}) {
                for (int n = 1; n <= writes; ++n) {
                    const Fault fault = stop ? Fault::Kill : n % 2 ? Fault::Full : Fault::IoError;
                    const QByteArray where =
                        QByteArray(op.name) +
                        (fault == Fault::Kill   ? ", stopped"
                         : fault == Fault::Full ? ", disk full"
                                                : ", I/O error") +
                        " at write " + QByteArray::number(n);
                    putBase();
                    Answerer answerer;
                    auto view = openView();
                    QVERIFY2(view, where);
                    m_disk.arm(fault, n);
                    op.run(*view, answerer);
                    QVERIFY2(m_disk.struck(), where);
                    if (fault == Fault::Kill) {
                        // Nothing reaches the disk any more; the window goes as the process
                        // would, and the next start finds the files as they are.
                        view.reset();
                        m_disk.disarm();
                        const QString found = restartState();
                        QVERIFY2(found == before || found == after,
                                 where + "\n" + found.toUtf8());
                        continue;
                    }
                    m_disk.disarm();
                    if (m_disk.struckBlankingTheJournal()) {
                        // The change was in the file and synced: the fault is absorbed, and
                        // the operation ends as if nothing had happened.
                        QVERIFY2(answerer.texts.filter(QStringLiteral("fail")).isEmpty(),
                                 where + ": " + answerer.texts.join(QLatin1Char('\n')).toUtf8());
                        view.reset();
                        QVERIFY2(restartState() == after, where);
                        continue;
                    }
                    // The reason is shown, and the file is as before.
                    const QString reason = fault == Fault::Full ? full : broken;
                    auto said = [&answerer] { return answerer.texts.join(QLatin1Char('\n')); };
                    QTest::qWaitFor([&] { return said().contains(reason); });
                    QVERIFY2(said().contains(reason), where + ": " + said().toUtf8());
                    QCOMPARE(restartState(), before);
                    // The same window does the operation again, whole, without a word.
                    answerer.texts.clear();
                    op.run(*view, answerer);
                    QVERIFY2(answerer.texts.filter(QStringLiteral("fail")).isEmpty(),
                             where + ": " + answerer.texts.join(QLatin1Char('\n')).toUtf8());
                    view.reset();
                    QVERIFY2(restartState() == after, where);
                }
            }
        }
    }

    // The new-database wizard: the table and its columns written into the copied template.
    void databaseCreation() {
        QTemporaryDir app;
        QVERIFY(QDir(app.path()).mkpath(QStringLiteral("DB")));
        QVERIFY(QFile::copy(QStringLiteral(TESSOR_BIN_DIR "/DB/Template.mdb"),
                            app.filePath(QStringLiteral("DB/Template.mdb"))));
        const QString path = m_dir.path() + QStringLiteral("/new.mdb");
        // Message boxes are answered by the Answerer the caller keeps.
        auto create = [&] {
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-journal"));
            CNewSheet sheet(app.path());
            sheet.m_newPage->m_strPath = path;
            sheet.m_tablePage->m_strTableName = QStringLiteral("Cards");
            sheet.m_fieldPage->m_listFields->addItems({"Name", "Tel", "Mail"});
            sheet.CreateDatabase(1);
            return sheet.m_bCreateFailed;
        };
        QString before;
        // Before: the template's copy, without the table.
        QFile::remove(path);
        QVERIFY(QFile::copy(app.filePath(QStringLiteral("DB/Template.mdb")), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        before = restartState(path);
        int writes = 0;
        {
            Answerer answerer;
            m_disk.arm(Fault::None, 0);
            QCOMPARE(create(), 0);
            writes = m_disk.events();
            QVERIFY(answerer.texts.isEmpty());
        }
        const QString after = restartState(path);
        expectForeignReadersAgree(path, "database creation");
        QVERIFY(after.contains(QStringLiteral("Name Tel Mail")));
        QVERIFY(writes > 3);
        qInfo("creation: %d writes", writes);
        const QString full = QString::fromUtf8(std::strerror(ENOSPC));
        const QString broken = QString::fromUtf8(std::strerror(EIO));
        for (bool stop : {true, false}) {
            int reported = 0;
            for (int n = 1; n <= writes; ++n) {
                const Fault fault = stop ? Fault::Kill : n % 2 ? Fault::Full : Fault::IoError;
                const QByteArray where = QByteArray("creation, fault ") +
                                         QByteArray::number(int(fault)) + " at write " +
                                         QByteArray::number(n);
                Answerer answerer;
                m_disk.arm(fault, n);
                const int failed = create();
                QVERIFY2(m_disk.struck(), where);
                m_disk.disarm();
                const QString found = restartState(path);
                QVERIFY2(found == before || found == after, where + "\n" + found.toUtf8());
                if (fault == Fault::Kill) continue;
                // A fault in the tidying after the change (the journal's removal as the file
                // closes) costs nothing: the database is made. Otherwise it is reported.
                if (failed == 0) {
                    QVERIFY2(found == after, where);
                    continue;
                }
                ++reported;
                QVERIFY2(found == before, where);
                QVERIFY2(answerer.texts.join(QLatin1Char('\n'))
                             .contains(fault == Fault::Full ? full : broken),
                         where + ": " + answerer.texts.join(QLatin1Char('\n')).toUtf8());
                // The next creation succeeds.
                Answerer again;
                QCOMPARE(create(), 0);
                QCOMPARE(restartState(path), after);
            }
            QVERIFY(stop || reported > 0);
        }
    }

    // Save As and the new-database wizard copy whole files: the copy stopped after each piece
    // (a child process killed there) or refused by the system at each piece (the file-size
    // limit: writing fails as on a full disk) leaves the destination as it was, missing or
    // old; the fault gone, the same copy succeeds.
    void fileCopyUnderFaults() {
        constexpr qint64 kPiece = 64 * 1024;
        const QString dir = m_dir.path() + QStringLiteral("/copies");
        QVERIFY(QDir().mkpath(dir));
        const QString from = dir + QStringLiteral("/from.mdb");
        const QString to = dir + QStringLiteral("/to.mdb");
        QByteArray bytes(5 * kPiece + 100, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((uint32_t(i) * 7919u) >> 3);
        const QByteArray old("an older file of that name");
        auto write = [](const QString& path, const QByteArray& content) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   f.write(content) == content.size();
        };
        auto read = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
        };
        QVERIFY(write(from, bytes));
        const QStringList mine = {QStringLiteral("from.mdb"), QStringLiteral("to.mdb")};

        ::signal(SIGXFSZ, SIG_IGN);
        rlimit normal{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &normal) == 0);
        for (bool existing : {false, true}) {
            const QByteArray was = existing ? old : QByteArray("<missing>");
            for (qint64 at = 0; at < bytes.size(); at += kPiece / 2) {
                const QByteArray where = QByteArray(existing ? "over an old file" : "new file") +
                                         ", fault at byte " + QByteArray::number(at);
                QDir(dir).removeRecursively();
                QVERIFY(QDir().mkpath(dir));
                QVERIFY(write(from, bytes));
                if (existing) QVERIFY(write(to, old));

                // Killed once `at` bytes are copied.
                const pid_t child = ::fork();
                if (child == 0) {
                    db::CopyFileWhole(from, to, [at](qint64 done) {
                        if (done >= at) ::_exit(0);
                        return true;
                    });
                    ::_exit(1);
                }
                QVERIFY(child > 0);
                int status = 0;
                QCOMPARE(::waitpid(child, &status, 0), child);
                QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, where);
                QVERIFY2(read(to) == was, where + ", killed");

                // Refused past `at` bytes: reported, the destination as it was, nothing left.
                for (const QString& f : QDir(dir).entryList(QDir::Files))
                    if (!mine.contains(f)) QFile::remove(dir + QLatin1Char('/') + f);
                rlimit small = normal;
                small.rlim_cur = static_cast<rlim_t>(at);
                QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
                const bool copied = db::CopyFileWhole(from, to);
                QVERIFY(::setrlimit(RLIMIT_FSIZE, &normal) == 0);
                QVERIFY2(!copied, where + " size " + QByteArray::number(read(to).size()));
                QVERIFY2(read(to) == was, where + ", refused");
                QVERIFY2(QDir(dir).entryList(QDir::Files).size() == (existing ? 2 : 1), where);

                QVERIFY2(db::CopyFileWhole(from, to), where);
                QVERIFY2(read(to) == bytes, where);
            }
        }
        ::signal(SIGXFSZ, SIG_DFL);
    }
};

QTEST_MAIN(EditorFaultTest)
#include "EditorFaultTest.moc"
