// Times the table-design commands of a table window over a generated 100,000-row table in a
// real database file: Add Print Info Fields (eight columns), a column added through Modify
// Field, Delete Field, and Primary Key on another column. Each whole command, offscreen, the
// questions answered at once, on a fresh copy of the file per run; and the statement alone for
// each, through the connection.
//   design_change_bench [runs]

// The provider's headers come before Qt's, whose keyword macros would rewrite names in them.
#include "provider/Connection.h"
#include "provider/Recordset.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Jet4ImageBuilder.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "jet/Database.h"
#include "res/ResourceIds.h"
#include "schema/FieldCommands.h"
#include "schema/FieldEditDlg.h"
#include "schema/NameDlg.h"
#include "schema/SchemaSql.h"

namespace {

constexpr int kRows = 100000;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Cards(Id, Name, City, Code) with a key on Id; Code is unique per record.
void makeDatabase(const std::string& path) {
    using B = jettest::Jet4ImageBuilder;
    B b;
    b.addTable("Cards", {{"Id", jet::ColumnType::Long},
                         {"Name", jet::ColumnType::Text, false, 60},
                         {"City", jet::ColumnType::Text, false, 40},
                         {"Code", jet::ColumnType::Long}});
    const std::vector<uint8_t> image = b.build();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    jet::OpenOptions rw;
    rw.readOnly = false;
    auto db = jet::Database::open(path, rw);
    db->transact([&] {
        for (int i = 0; i < kRows; ++i) {
            const unsigned h = static_cast<unsigned>(i) * 2654435761u;
            db->insertRow("Cards", {int32_t(i + 1), "card " + std::to_string(h % 1000003),
                                    "Town " + std::to_string(h % 50), int32_t(kRows - i)});
        }
    });
}

// Answers questions Yes/OK, names the new column "Extra", and in a field edit dialog presses
// New and then OK.
void answerEverything() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        QWidget* w = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            QAbstractButton* b = box->button(QMessageBox::Yes);
            if (!b) b = box->button(QMessageBox::Ok);
            if (b) b->click();
        } else if (auto* name = qobject_cast<CNameDlg*>(w)) {
            name->NameEdit()->setText(QStringLiteral("Extra"));
            name->accept();
        } else if (auto* edit = qobject_cast<CFieldEditDlg*>(w)) {
            if (edit->property("pressed").toBool()) return;
            edit->setProperty("pressed", true);
            QTimer::singleShot(0, edit, [edit] {
                edit->OnNew();
                edit->accept();
            });
        }
    });
    timer->start(0);
}

void pick(CRecordsetView& view, const QString& name) {
    CDataGrid& grid = view.GetGrid();
    for (short i = 0; i < grid.GetColumns().GetCount(); ++i)
        if (grid.GetColumns().GetItem(i).GetCaption() == name) emit grid.HeadClick(i);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    const std::string master = (dir.path() + QStringLiteral("/master.mdb")).toStdString();
    QElapsedTimer made;
    made.start();
    makeDatabase(master);
    std::fprintf(stderr, "%d rows written in %.0f ms\n", kRows, made.nsecsElapsed() / 1e6);
    {
        auto c = tessor::provider::Connection::create();
        c->open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + master);
        c->execute("ALTER TABLE Cards ADD CONSTRAINT PrimaryKey PRIMARY KEY (Id)");
        c->close();
    }
    answerEverything();

    struct Case {
        const char* what;
        std::vector<double> whole, statement;
    };
    Case printInfo{"Add Print Info Fields (8 columns)", {}, {}};
    Case modify{"Modify Field, one column added", {}, {}};
    Case drop{"Delete Field", {}, {}};
    Case key{"Primary Key on another column", {}, {}};

    for (int run = 0; run < runs; ++run) {
        const QString path = dir.path() + QStringLiteral("/run.mdb");
        QFile::remove(path);
        QFile::copy(QString::fromStdString(master), path);
        CRecordsetView view;
        view.resize(1000, 700);
        view.show();
        view.OnInitialUpdate();
        schema::InstallCommands(&view);
        if (!view.OpenRecordset(path, QStringLiteral("Cards"), {})) return 1;
        QElapsedTimer timer;
        auto time = [&](Case& c, int id) {
            timer.start();
            view.OnCommand(id);
            c.whole.push_back(timer.nsecsElapsed() / 1e6);
            std::fprintf(stderr, "run %d: %s, whole command: %.0f ms\n", run + 1, c.what,
                         c.whole.back());
        };
        time(printInfo, res::ID_FIELD_ADD_PRINT_INFO);
        time(modify, res::ID_FIELD_MODIFY);
        pick(view, QStringLiteral("City"));
        time(drop, res::ID_FIELD_DELETE);
        pick(view, QStringLiteral("Code"));
        time(key, res::ID_FIELD_PRIMARY_KEY);
        if (view.GetGrid().GetColumns().GetCount() != 12 ||
            view.GetRecordset()->recordCount() != kRows) {
            std::fprintf(stderr, "unexpected table: %d columns\n",
                         int(view.GetGrid().GetColumns().GetCount()));
            return 1;
        }

        // The statements alone, on a fresh copy.
        const QString core = dir.path() + QStringLiteral("/core.mdb");
        QFile::remove(core);
        QFile::copy(QString::fromStdString(master), core);
        auto c = tessor::provider::Connection::create();
        c->open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + core.toStdString());
        auto statement = [&](Case& cs, const std::vector<std::string>& sql) {
            timer.start();
            for (const std::string& s : sql)
                c->execute(s);
            cs.statement.push_back(timer.nsecsElapsed() / 1e6);
            std::fprintf(stderr, "run %d: %s, statements alone: %.0f ms\n", run + 1, cs.what,
                         cs.statement.back());
        };
        std::vector<std::string> eight;
        for (const schema::PrintInfoColumn& p : schema::kPrintInfoColumns)
            eight.push_back(std::string("ALTER TABLE [Cards] ADD [") + p.name + "] " + p.type +
                            " NULL");
        statement(printInfo, eight);
        statement(modify, {"ALTER TABLE [Cards] ADD [Extra] VARCHAR(255)"});
        statement(drop, {"ALTER TABLE [Cards] DROP [City]"});
        statement(key, {"ALTER TABLE [Cards] DROP CONSTRAINT PrimaryKey",
                        "ALTER TABLE [Cards] ADD CONSTRAINT PrimaryKey PRIMARY KEY ([Code])"});
        c->close();
    }

    std::printf("%d rows, %d runs, medians in ms\n", kRows, runs);
    std::printf("| command | whole command ms | statements alone ms |\n|---|---:|---:|\n");
    for (const Case* c : {&printInfo, &modify, &drop, &key})
        std::printf("| %s | %.0f | %.0f |\n", c->what, median(c->whole), median(c->statement));
    return 0;
}
