// Drives the real program to the state worth a picture and saves the whole screen as PNG:
//   tessor_screenshot OUT.png DATABASE TABLE COLUMN PICTURE_FOLDER EXTENSION [ROW]
//                     [--context-menu | --field-edit | --name-dialog | --set-password | --about
//                      | --table-chooser | --password-prompt PASSWORD | --open-progress]
// The database goes through the Open command and the table chooser as a user would take them
// (the file dialog answers with DATABASE); the preview pane is pointed at the picture folder
// through its Browse button and its column and extension lists; the grid then moves to ROW
// (0-based), which the preview follows by the record view's notice. Meant for a display of its
// own (xvfb-run). It lies beside the program and finds the picture libraries as the program does.
// With --context-menu the picture is taken later: COLUMN is picked by a click on its header and
// a right press on the header opens the grid's context menu, which the picture shows. With
// --field-edit, --name-dialog or --set-password the picture shows the dialog of Modify Field,
// of its New button, or of Set Password (with a password typed), through the menu commands.
// With --find FIELD TEXT the Find command opens the Search dialog, which searches FIELD for TEXT
// once, down from the current record; the picture shows the dialog over the record found.
// With --wizard the New command runs the new-database wizard over the open table: one picture
// per page (OUT with "-new", "-table", "-method", "-template", "-fields" before ".png"), then
// Finish on the template page makes Cards.mdb beside DATABASE from the example template
// Layout/Employee.mds, and a last picture ("-done") shows the new table opened.
// --about pictures the About box. --table-chooser pictures the table chooser of the Open command
// with TABLE picked; --password-prompt PASSWORD pictures the password prompt that opening a
// protected DATABASE brings up, with PASSWORD typed (shown masked), before the open goes on.
// --open-progress pictures the progress of reading a large TABLE, which then opens.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
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
#include "grid/SearchDlg.h"
#include "preview/ImagePreviewWnd.h"
#include "res/ResourceIds.h"
#include "schema/FieldEditDlg.h"
#include "schema/NameDlg.h"
#include "schema/SetPasswordDlg.h"
#include "wizard/NewSheet.h"
#include "MouseClick.h"

namespace {

const char* g_stage = "starting";  // what the run was doing, for the time-out message

struct Settings {
    QString out, database, table, column, folder, extension;
    long row = 0;
    bool contextMenu = false;
    QString findField, findText;  // the --find search, none when empty
    QString dialog;  // "--field-edit", "--name-dialog", "--set-password", "--about"; empty: none
    QString openDialog;  // "--table-chooser", "--password-prompt", "--open-progress": pictured
                         // while opening
    QString password;    // typed into the password prompt
};

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "tessor_screenshot: %s\n", qPrintable(why));
    std::exit(1);
}

// Lets the program run for `ms`, painting and handling its posted notices.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Choose(QComboBox* combo, const QString& text) {
    const int index = combo ? combo->findText(text) : -1;
    if (index < 0) return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

bool SaveScreen(const QString& out) {
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    return !screen.isNull() && screen.save(out, "PNG");
}

// Answers the modal windows that opening a database brings up: the password prompt, the table
// chooser, and any message or other window, which ends the run as a failure. The dialog the run
// pictures is answered only after a few rounds, once painted, and right after its picture.
void AnswerDialogs(const Settings& s) {
    static int rounds = 0;
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* reading = qobject_cast<QProgressDialog*>(modal)) {
        // A large table being read: pictured once, half-way, and left to finish.
        static bool pictured = false;
        if (s.openDialog == QStringLiteral("--open-progress") && !pictured &&
            reading->value() >= reading->maximum() / 3) {
            pictured = true;
            if (!SaveScreen(s.out)) Fail(QStringLiteral("cannot save ") + s.out);
            std::printf("%s: \"%s\" at %d of %d\n", qPrintable(s.out),
                        qPrintable(reading->labelText()), reading->value(), reading->maximum());
        }
        return;
    }
    auto* prompt = qobject_cast<CDbPasswordDlg*>(modal);
    auto* tables = qobject_cast<CSelectTableDlg*>(modal);
    if (tables) {
        const auto found = tables->TableList()->findItems(s.table, Qt::MatchExactly);
        if (found.isEmpty()) Fail(QStringLiteral("no table ") + s.table);
        tables->TableList()->setCurrentItem(found.constFirst());
    } else if (prompt) {
        if (s.password.isEmpty()) Fail(QStringLiteral("the database asks for a password"));
        prompt->PasswordEdit()->setText(s.password);
    }
    if (tables || prompt) {
        const bool pictured = (tables && s.openDialog == QStringLiteral("--table-chooser")) ||
                              (prompt && s.openDialog == QStringLiteral("--password-prompt"));
        if (pictured) {
            if (++rounds < 6) return;
            rounds = 0;
            if (!SaveScreen(s.out)) Fail(QStringLiteral("cannot save ") + s.out);
            std::printf("%s: dialog \"%s\"\n", qPrintable(s.out), qPrintable(modal->windowTitle()));
        }
        static_cast<QDialog*>(modal)->accept();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        Fail(QStringLiteral("the program said: ") + box->text());
    } else if (modal) {
        Fail(QStringLiteral("unexpected window: %1 \"%2\"")
                 .arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle()));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    bool contextMenu = false;
    QString findField, findText;
    QString dialog, openDialog, password;
    if (argc > 2 && QString::fromLocal8Bit(argv[argc - 2]) == QStringLiteral("--password-prompt")) {
        openDialog = QString::fromLocal8Bit(argv[argc - 2]);
        password = QString::fromLocal8Bit(argv[argc - 1]);
        argc -= 2;
    } else if (argc > 1 &&
               (QString::fromLocal8Bit(argv[argc - 1]) == QStringLiteral("--table-chooser") ||
                QString::fromLocal8Bit(argv[argc - 1]) == QStringLiteral("--open-progress"))) {
        openDialog = QString::fromLocal8Bit(argv[argc - 1]);
        --argc;
    } else if (argc > 1 && QString::fromLocal8Bit(argv[argc - 1]) == QStringLiteral("--context-menu")) {
        contextMenu = true;
        --argc;
    } else if (argc > 3 && QString::fromLocal8Bit(argv[argc - 3]) == QStringLiteral("--find")) {
        findField = QString::fromLocal8Bit(argv[argc - 2]);
        findText = QString::fromLocal8Bit(argv[argc - 1]);
        argc -= 3;
    } else if (argc > 1 && QStringList({"--field-edit", "--name-dialog", "--set-password", "--about",
                                            "--wizard"})
                               .contains(QString::fromLocal8Bit(argv[argc - 1]))) {
        dialog = QString::fromLocal8Bit(argv[argc - 1]);
        --argc;
    }
    if (argc < 7)
        Fail(
            QStringLiteral("usage: tessor_screenshot OUT.png DATABASE TABLE COLUMN PICTURE_FOLDER "
                           "EXTENSION [ROW]"));
    Settings s;
    s.out = QString::fromLocal8Bit(argv[1]);
    s.database = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    s.table = QString::fromLocal8Bit(argv[3]);
    s.column = QString::fromLocal8Bit(argv[4]);
    s.folder = QFileInfo(QString::fromLocal8Bit(argv[5])).absoluteFilePath();
    s.extension = QString::fromLocal8Bit(argv[6]);
    s.row = argc > 7 ? std::atol(argv[7]) : 0;
    s.contextMenu = contextMenu;
    s.findField = findField;
    s.findText = findText;
    s.dialog = dialog;
    s.openDialog = openDialog;
    s.password = password;

    // A run that hangs in a dialog nobody answers ends on its own.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        Fail(QStringLiteral("timed out while ") + QString::fromLatin1(g_stage));
    });
    watchdog.start(60000);

    CMainApp theApp;
    if (!theApp.InitInstance()) Fail(QStringLiteral("the program did not start"));
    CMainFrame* frame = theApp.MainFrame();
    RunFor(500);

    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&s] { AnswerDialogs(s); });
    answer.start(100);
    g_stage = "opening the database";
    // The file dialog is the platform's; where it answers is where the program goes on.
    const QString database = s.database;
    theApp.SetFileChooser([database](QWidget*, const QString&) { return database; });
    // The command that the Open button and Ctrl+O send through the main window.
    if (!frame->RouteCommand(res::ID_FILE_OPEN)) Fail(QStringLiteral("Open is not handled"));
    answer.stop();

    auto* child = frame->findChild<CChildFrame*>();
    if (!child || !child->GetView() || !child->GetPreview())
        Fail(QStringLiteral("no table window was opened"));
    if (s.openDialog == QStringLiteral("--open-progress") && !QFileInfo::exists(s.out))
        Fail(QStringLiteral("the table opened before its progress showed"));
    if (!s.openDialog.isEmpty()) return theApp.ExitInstance(0);
    RunFor(300);

    g_stage = "choosing the pictures";
    CImagePreviewWnd* preview = child->GetPreview();
    const QString folder = s.folder;
    preview->SetFolderChooser([folder](QWidget*, const QString&) { return folder; });
    preview->findChild<QPushButton*>(QString::number(CImagePreviewWnd::IDC_BUTTON_BROWSE))->click();
    if (!Choose(preview->findChild<QComboBox*>(QString::number(CImagePreviewWnd::IDC_COMBO_FIELD)),
                s.column))
        Fail(QStringLiteral("no column ") + s.column);
    if (!Choose(preview->findChild<QComboBox*>(QString::number(CImagePreviewWnd::IDC_COMBO_EXT)),
                s.extension))
        Fail(QStringLiteral("no extension choice ") + s.extension);

    g_stage = "moving to the record";
    CDataGrid& grid = child->GetView()->GetGrid();
    grid.setFocus();
    grid.SetRow(s.row);
    RunFor(1500);

    // The pane must show a picture: a frame of one colour means nothing was drawn.
    const QImage shown = preview->OffscreenPicture();
    const QRgb corner = shown.pixel(0, 0);
    bool drawn = false;
    for (int y = 0; y < shown.height() && !drawn; y += 5)
        for (int x = 0; x < shown.width() && !drawn; x += 5)
            drawn = shown.pixel(x, y) != corner;
    if (!drawn) Fail(QStringLiteral("no picture in the preview for ") + preview->LastPath());

    if (s.contextMenu) {
        g_stage = "showing the context menu";
        int column = -1;
        for (short c = 0; c < grid.GetColumns().GetCount(); ++c)
            if (grid.GetColumns().GetItem(c).GetCaption() == s.column) column = c;
        if (column < 0) Fail(QStringLiteral("no grid column ") + s.column);
        QHeaderView* header = grid.horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        Click(header->viewport(), at, Qt::LeftButton);
        RunFor(300);
        // The menu runs its own loop until it closes: the picture is taken from inside it.
        bool saved = false;
        QStringList items;
        QTimer::singleShot(700, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) items << a->text();
            saved = SaveScreen(s.out);
            menu->close();
        });
        Click(header->viewport(), at, Qt::RightButton);
        if (items.isEmpty()) Fail(QStringLiteral("no context menu came up"));
        if (!saved) Fail(QStringLiteral("cannot save ") + s.out);
        std::printf("%s: context menu of column %s: %s\n", qPrintable(s.out), qPrintable(s.column),
                    qPrintable(items.join(QStringLiteral(", "))));
        return theApp.ExitInstance(0);
    }

    if (!s.findField.isEmpty()) {
        g_stage = "finding";
        CRecordsetView* view = child->GetView();
        // The cell cursor in the searched column, as a user finding in it would have it.
        for (short c = 0; c < grid.GetColumns().GetCount(); ++c)
            if (grid.GetColumns().GetItem(c).GetCaption() == s.findField) grid.SetCol(c);
        RunFor(200);
        if (!frame->RouteCommand(res::ID_EDIT_FIND)) Fail(QStringLiteral("Find is not handled"));
        CSearchDlg* dlg = view->GetSearchDlg();
        if (!dlg || !dlg->isVisible()) Fail(QStringLiteral("no Search dialog came up"));
        if (!Choose(dlg->FieldCombo(), s.findField))
            Fail(QStringLiteral("no field ") + s.findField + QStringLiteral(" in the dialog"));
        dlg->FindEdit()->setText(s.findText);
        // A message box here ("Can't find any record") ends the run through AnswerDialogs.
        answer.start(100);
        const long before = grid.GetRow();
        for (QPushButton* b : dlg->findChildren<QPushButton*>())
            if (b->property("controlId").toInt() == res::IDC_FIND_NEXT) b->click();
        answer.stop();
        RunFor(1000);
        if (grid.GetRow() == before) Fail(QStringLiteral("Find Next stayed on its record"));
        if (!SaveScreen(s.out)) Fail(QStringLiteral("cannot save ") + s.out);
        std::printf("%s: found \"%s\" in %s on grid row %ld, selected \"%s\"\n",
                    qPrintable(s.out), qPrintable(s.findText), qPrintable(s.findField),
                    grid.GetRow(), qPrintable(grid.GetSelText()));
        return theApp.ExitInstance(0);
    }

    if (s.dialog == QStringLiteral("--wizard")) {
        g_stage = "running the wizard";
        const QString base = s.out.endsWith(QStringLiteral(".png")) ? s.out.chopped(4) : s.out;
        const QString created = QFileInfo(s.database).absolutePath() + QStringLiteral("/Cards.mdb");
        QStringList saved;
        int step = 0, ticks = 0;
        bool prepared = false;
        // Each page is filled in, painted for a moment, pictured, and left by its button.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                Fail(QStringLiteral("the program said: ") + box->text());
            auto* sheet = qobject_cast<CNewSheet*>(modal);
            if (!sheet || ++ticks < 5) return;
            ticks = 0;
            static const char* const names[] = {"new", "table", "method", "template", "fields"};
            // A page is filled in on one round and pictured on the next, once painted.
            if (!prepared) {
                prepared = true;
                if (step == 0) sheet->m_newPage->PathEdit()->setText(created);
                if (step == 1) sheet->m_tablePage->NameEdit()->setText(QStringLiteral("Employees"));
                if (step == 3)
                    sheet->m_templatePage->PathEdit()->setText(
                        QCoreApplication::applicationDirPath() +
                        QStringLiteral("/Layout/Employee.mds"));
                if (step == 4) {
                    auto* list = sheet->m_fieldPage->m_listFields;
                    list->addItems({QStringLiteral("Name"), QStringLiteral("Department"),
                                    QStringLiteral("Tel"), QStringLiteral("Photo")});
                    list->setCurrentRow(1);
                }
                return;
            }
            prepared = false;
            if (step < 5) {
                const QString out = base + QLatin1Char('-') + QLatin1String(names[step]) +
                                    QStringLiteral(".png");
                if (!SaveScreen(out)) Fail(QStringLiteral("cannot save ") + out);
                saved << out + QStringLiteral(" \"") + sheet->windowTitle() + QLatin1Char('"');
            }
            switch (step++) {
                case 3:  // back to the method, and the field list instead
                    sheet->back();
                    sheet->m_methodPage->Methods()->button(1)->click();
                    sheet->next();
                    break;
                case 4:  // back to the template, which makes the table
                    sheet->back();
                    sheet->m_methodPage->Methods()->button(0)->click();
                    sheet->next();
                    sheet->button(QWizard::FinishButton)->click();
                    break;
                default:
                    sheet->next();
                    break;
            }
        });
        poll.start(100);
        frame->RouteCommand(res::ID_FILE_NEW);
        poll.stop();
        if (step != 5) Fail(QStringLiteral("the wizard ended early"));
        RunFor(1000);
        const QString done = base + QStringLiteral("-done.png");
        if (!SaveScreen(done)) Fail(QStringLiteral("cannot save ") + done);
        for (const QString& line : saved)
            std::printf("%s\n", qPrintable(line));
        std::printf("%s: %d table windows after Finish\n", qPrintable(done),
                    int(frame->findChildren<CChildFrame*>().size()));
        return theApp.ExitInstance(0);
    }

    if (!s.dialog.isEmpty()) {
        g_stage = "showing the dialog";
        // Polls the modal windows: drives the one on the way to the wanted dialog, waits for
        // the wanted one to be painted, takes the picture, then cancels everything.
        QString shown;
        bool closing = false, pressed = false;
        int seen = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal) return;
            if (closing) {
                modal->reject();
                return;
            }
            auto* edit = qobject_cast<CFieldEditDlg*>(modal);
            if (edit && s.dialog == QStringLiteral("--name-dialog")) {
                if (!pressed) {
                    pressed = true;
                    edit->FieldList()->setCurrentRow(0);
                    QTimer::singleShot(0, edit, [edit] { edit->OnNew(); });
                }
                return;
            }
            if (edit && seen == 0) edit->FieldList()->setCurrentRow(2);
            if (auto* pw = qobject_cast<CSetPasswordDlg*>(modal); pw && seen == 0) {
                pw->NewEdit()->setText(QStringLiteral("card 2027"));
                pw->ConfirmEdit()->setText(QStringLiteral("card 2027"));
                pw->NewEdit()->setFocus();
            }
            if (++seen < 6) return;
            if (!SaveScreen(s.out)) Fail(QStringLiteral("cannot save ") + s.out);
            shown = modal->windowTitle();
            closing = true;
            modal->reject();
        });
        poll.start(100);
        frame->RouteCommand(s.dialog == QStringLiteral("--set-password") ? res::ID_FILE_SET_PASSWORD
                            : s.dialog == QStringLiteral("--about")      ? res::ID_APP_ABOUT
                                                                         : res::ID_FIELD_MODIFY);
        poll.stop();
        if (shown.isEmpty()) Fail(QStringLiteral("no dialog came up"));
        std::printf("%s: dialog \"%s\"\n", qPrintable(s.out), qPrintable(shown));
        return theApp.ExitInstance(0);
    }

    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    if (screen.isNull() || !screen.save(s.out, "PNG")) Fail(QStringLiteral("cannot save ") + s.out);
    std::printf("%s: %dx%d, grid row %ld, picture %s\n", qPrintable(s.out), screen.width(),
                screen.height(), grid.GetRow(), qPrintable(preview->LastPath()));
    return theApp.ExitInstance(0);
}
