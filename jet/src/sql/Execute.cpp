// Entry point of the SQL layer; the statements are being built under sql/.
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/Sql.h"

namespace jet::sql {

Result execute(Database&, std::string_view) {
    throw Error(hr::kNotImplemented, "SQL statements are not available in this build yet.");
}

}  // namespace jet::sql
