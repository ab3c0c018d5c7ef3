#pragma once

#include <string>
#include <string_view>

namespace jet {

// The rules Jet applies to names of tables, fields and indexes: 1 to 64 characters, no leading
// space or control character, none of . ! ` [ ].
class SchemaNames {
public:
    // Throws hr::kInvalidArg naming `what` ("table", "field", "index") when the name breaks a rule.
    static void check(std::string_view name, const char* what);
};

}  // namespace jet
