// Lists the translation keys that the program's windows look up, as "section<TAB>key" lines on
// standard output, each once, in the order first looked up:
//   tessor_langkeys DATABASE
// It starts the real program and opens every window the way a user does: the menus of both
// frames, About, the table DATABASE (which must hold one table) with its record view and
// picture pane, the grid's context menu on a picked column, Modify Field and its New button,
// Set Password, Find, every step of the new-database wizard, the password prompt and the table
// chooser. Each window translates itself as it comes up, and every lookup is listed.
// Messages are not shown here; scripts/lang-template.py finds their keys in the code.
// Meant for QT_QPA_PLATFORM=offscreen; it lies beside the program to find what lies there.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/ChildFrame.h"
#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "db/DbPasswordDlg.h"
#include "db/SelectTableDlg.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "lang/LangText.h"
#include "res/ResourceIds.h"
#include "schema/FieldEditDlg.h"
#include "wizard/NewSheet.h"
#include "MouseClick.h"

namespace {

const char* g_stage = "starting";
QStringList g_keys;
QSet<QString> g_seen;
// Texts that come from the database rather than the program: the table's column names, which
// the Search dialog's field list holds when it is translated.
QSet<QString> g_data;

void Record(const QString& section, const QString& key) {
    const QString line = section + QLatin1Char('\t') + key;
    if (g_seen.contains(line)) return;
    g_seen.insert(line);
    g_keys << line;
}

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "tessor_langkeys: %s while %s\n", qPrintable(why), g_stage);
    std::exit(1);
}

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs `command` through the main window while `step` is called every 50 ms with the modal
// window on top (or null); the command must bring up at least one modal window. A message box
// ends the run: on this path the program has nothing to complain about.
void RunCommand(CMainFrame* frame, int command, const std::function<void(QWidget*)>& step) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            Fail(QStringLiteral("the program said \"%1\"").arg(box->text()));
        if (modal) seen = true;
        step(modal);
    });
    poll.start(50);
    if (!frame->RouteCommand(command)) Fail(QStringLiteral("command %1 is not handled").arg(command));
    poll.stop();
    if (!seen) Fail(QStringLiteral("command %1 showed no window").arg(command));
}

void RejectDialog(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) Fail(QStringLiteral("usage: tessor_langkeys DATABASE"));
    const QString database = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    CLangText::SetLookupObserver(Record);

    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { Fail(QStringLiteral("timed out")); });
    watchdog.start(120000);

    CMainApp theApp;
    g_stage = "starting the program";
    if (!theApp.InitInstance()) Fail(QStringLiteral("the program did not start"));
    CMainFrame* frame = theApp.MainFrame();
    RunFor(100);

    g_stage = "showing About";
    RunCommand(frame, res::ID_APP_ABOUT, RejectDialog);

    g_stage = "showing the password prompt and the table chooser";
    { CDbPasswordDlg prompt(theApp.IniPath()); }
    { CSelectTableDlg chooser(theApp.IniPath()); }

    g_stage = "opening the database";
    theApp.SetFileChooser([database](QWidget*, const QString&) { return database; });
    if (!frame->RouteCommand(res::ID_FILE_OPEN)) Fail(QStringLiteral("Open is not handled"));
    auto* child = frame->findChild<CChildFrame*>();
    if (!child || !child->GetView() || !child->GetPreview())
        Fail(QStringLiteral("no table window was opened"));
    CRecordsetView* view = child->GetView();
    RunFor(200);
    CDataGrid& grid = view->GetGrid();
    for (short c = 0; c < grid.GetColumns().GetCount(); ++c)
        g_data.insert(grid.GetColumns().GetItem(c).GetCaption());

    g_stage = "showing the context menu";
    QHeaderView* header = grid.horizontalHeader();
    const QPoint at(header->sectionViewportPosition(0) + header->sectionSize(0) / 2,
                    header->height() / 2);
    Click(header->viewport(), at, Qt::LeftButton);
    RunFor(100);
    bool menuShown = false;
    QTimer::singleShot(300, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuShown = true;
            menu->close();
        }
    });
    Click(header->viewport(), at, Qt::RightButton);
    if (!menuShown) Fail(QStringLiteral("no context menu came up"));

    g_stage = "showing Modify Field and its New button";
    bool pressedNew = false;
    RunCommand(frame, res::ID_FIELD_MODIFY, [&](QWidget* modal) {
        auto* edit = qobject_cast<CFieldEditDlg*>(modal);
        if (edit && !pressedNew) {
            pressedNew = true;
            QTimer::singleShot(0, edit, [edit] { edit->OnNew(); });
            return;
        }
        RejectDialog(modal);
    });
    if (!pressedNew) Fail(QStringLiteral("Modify Field showed no field dialog"));

    g_stage = "showing Set Password";
    RunCommand(frame, res::ID_FILE_SET_PASSWORD, RejectDialog);

    g_stage = "showing Find";
    if (!frame->RouteCommand(res::ID_EDIT_FIND)) Fail(QStringLiteral("Find is not handled"));
    if (!view->GetSearchDlg()) Fail(QStringLiteral("no Search dialog came up"));
    RunFor(100);

    g_stage = "going through the wizard";
    QTemporaryDir dir;
    int step = 0;
    RunCommand(frame, res::ID_FILE_NEW, [&](QWidget* modal) {
        auto* sheet = qobject_cast<CNewSheet*>(modal);
        if (!sheet) return;
        switch (step++) {
            case 0:
                sheet->m_newPage->PathEdit()->setText(dir.filePath(QStringLiteral("New.mdb")));
                sheet->next();
                break;
            case 1:
                sheet->m_tablePage->NameEdit()->setText(QStringLiteral("Cards"));
                sheet->next();
                break;
            case 2:
                sheet->m_methodPage->Methods()->button(0)->click();
                sheet->next();
                break;
            case 3:
                sheet->back();
                sheet->m_methodPage->Methods()->button(1)->click();
                sheet->next();
                break;
            default:
                sheet->reject();
                break;
        }
    });
    if (step < 5) Fail(QStringLiteral("the wizard ended early"));

    // The field name dialog proposes "Field" and the next free number, which depends on the
    // table: its edit's text is looked up like any other, but is no text of the program's.
    static const QRegularExpression proposal(QStringLiteral("^Name Dialog\tField[0-9]+$"));
    for (const QString& line : g_keys) {
        if (g_data.contains(line.section(QLatin1Char('\t'), 1)) || proposal.match(line).hasMatch())
            continue;
        std::printf("%s\n", qPrintable(line));
    }
    std::fflush(stdout);
    // The program's end, as Exit takes it.
    child->close();
    return theApp.ExitInstance(0);
}
