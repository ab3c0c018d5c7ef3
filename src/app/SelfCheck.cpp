#include "app/SelfCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QMenuBar>

#include <exception>
#include <memory>

#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "preview/DibUtil.h"
#include "provider/Connection.h"
#include "provider/ConnectionString.h"

namespace app {

namespace {

// Opens the database the way the program does and closes it again; the reason when it fails.
QString OpenDatabase(const QString& path) {
    if (!QFileInfo(path).isFile()) return QStringLiteral("missing");
    try {
        auto connection = tessor::provider::Connection::create();
        connection->open(tessor::provider::ConnectionString::format(path.toStdString()), {}, {},
                         -1);
        connection->close();
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

}  // namespace

int RunSelfCheck(CMainApp& theApp, std::FILE* out) {
    const QString dir = theApp.AppDir();
    int failures = 0;
    auto report = [&](const char* item, const QString& problem, const QString& detail) {
        if (!problem.isEmpty()) ++failures;
        std::fprintf(out, "%s: %s\n", item,
                     qPrintable(problem.isEmpty() ? QStringLiteral("ok ") + detail
                                                  : QStringLiteral("FAILED ") + problem));
    };
    std::fprintf(out, "folder: %s\n", qPrintable(dir));

    for (const char* library : {CDibUtil::kImgIoLibrary, CDibUtil::kScaleRotLibrary, "libKvCardIO.so"}) {
        tessor::plugin::PluginObject* object = CDibUtil::LoadClassObject(library);
        report(library, object ? QString() : QStringLiteral("cannot be loaded"), QString());
        if (object) CDibUtil::ReleaseClassObject(object);
    }
    const QString templateDb = dir + QStringLiteral("/DB/Template.mdb");
    report("DB/Template.mdb", OpenDatabase(templateDb), QString());
    const QString example = dir + QStringLiteral("/Example/Cards.mdb");
    report("Example/Cards.mdb", OpenDatabase(example), QString());

    const QStringList layouts =
        QDir(dir + QStringLiteral("/Layout")).entryList({QStringLiteral("*.mds")}, QDir::Files);
    report("Layout", layouts.isEmpty() ? QStringLiteral("no card template") : QString(),
           layouts.join(QLatin1Char(' ')));
    report("Tessor.html",
           QFileInfo(dir + QStringLiteral("/Tessor.html")).isFile() ? QString()
                                                                    : QStringLiteral("missing"),
           QString());

    // What the started window shows: its first menu title, translated when DB_ML.ini is there.
    QString title;
    if (CMainFrame* frame = theApp.MainFrame(); frame && frame->menuBar() &&
                                                !frame->menuBar()->actions().isEmpty())
        title = frame->menuBar()->actions().constFirst()->text();
    const bool translated = QFileInfo(theApp.IniPath()).isFile();
    report("menu", title.isEmpty() ? QStringLiteral("no menu bar") : QString(),
           QStringLiteral("\"%1\" (%2)")
               .arg(title, translated ? QStringLiteral("DB_ML.ini") : QStringLiteral("English")));
    return failures == 0 ? 0 : 1;
}

}  // namespace app
