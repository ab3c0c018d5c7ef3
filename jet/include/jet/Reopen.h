#pragma once

#include <string>

#include "jet/Database.h"

namespace jet {

// What a caller needs to open a database again after writing a change to it failed.

// True once writing a change to the file failed (a full disk, an I/O error): the file was put
// back as it was, or its journal puts it back on the next open, but this open takes no
// further changes. Open the file again to change it.
bool writeFailed(Database& db);

// The password the database has now (after changePassword, the new one); empty when none.
const std::string& currentPassword(Database& db);

}  // namespace jet
