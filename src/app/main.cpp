#include <QApplication>

#include "app/MainApp.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Arguments are not looked at: the program always starts with no table open.
    CMainApp theApp;
    if (!theApp.InitInstance()) return 1;
    const int code = app.exec();
    return theApp.ExitInstance(code);
}
