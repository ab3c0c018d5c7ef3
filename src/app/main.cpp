#include <QApplication>

#include <cstdio>
#include <cstring>

#include "app/MainApp.h"
#include "app/SelfCheck.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The program always starts with no table open: no argument opens anything. The one
    // option, --self-check, starts the program, checks what lies beside it and ends.
    const bool selfCheck = argc == 2 && std::strcmp(argv[1], "--self-check") == 0;
    CMainApp theApp;
    if (!theApp.InitInstance()) return 1;
    if (selfCheck) return theApp.ExitInstance(app::RunSelfCheck(theApp, stdout));
    const int code = app.exec();
    return theApp.ExitInstance(code);
}
