#include "catalog/DatabaseImpl.h"
#include "jet/Database.h"
#include "schema/PasswordChanger.h"

namespace jet {

void Database::changePassword(std::string_view oldPassword, std::string_view newPassword) {
    PasswordChanger::change(*m_impl, oldPassword, newPassword);
}

}  // namespace jet
