#include <QApplication>
#include <QMainWindow>

#include "lang/LangText.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessor"));

    // The frame windows arrive with their own classes; until then an empty main window,
    // already translated from DB_ML.ini beside the executable.
    QMainWindow frame;
    frame.setWindowTitle(QStringLiteral("Tessor"));
    frame.resize(1024, 700);
    CLangText lang;
    lang.SetIniFile(CLangText::DefaultIniPath());
    lang.SetSection(QStringLiteral("APP"));
    lang.TranslateWindow(&frame);
    frame.show();
    return app.exec();
}
