#pragma once

#include <string_view>

#include "catalog/DatabaseImpl.h"

namespace jet {

// Sets, changes or clears the password of an open database as one change. Jet 4: page 0's
// password field and every stored SID, re-masked under the key the new page 0 gives. Jet 3:
// page 0's password field in the code page; the SIDs stay as they are. Written
// under the journal, so a crash leaves either the old password with the old SIDs or the new
// password with the new ones, never a mix that Access would refuse.
class PasswordChanger {
public:
    // Needs the database open for writing and exclusively. A wrong oldPassword is refused with
    // hr::kAuthFailed; an unusable newPassword with hr::kInvalidArg. Both are UTF-8; an empty
    // newPassword clears the password.
    static void change(Database::Impl& db, std::string_view oldPassword,
                       std::string_view newPassword);
};

}  // namespace jet
