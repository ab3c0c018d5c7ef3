#pragma once

#include <cstdio>

class CMainApp;

namespace app {

// Checks that what the program needs beside its executable is there and usable, as an
// installation is tested: the picture and card-template libraries load, DB/Template.mdb and
// the example database open, a card template lies in Layout/, the help file exists, and the
// started main window's menu bar shows its texts through DB_ML.ini when there is one. Writes
// one line per item to `out` and returns 0 when everything is usable, else 1. `theApp` must
// have started (InitInstance).
int RunSelfCheck(CMainApp& theApp, std::FILE* out);

}  // namespace app
