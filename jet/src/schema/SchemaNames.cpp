#include "schema/SchemaNames.h"

#include "base/TextCodec.h"
#include "jet/Error.h"

namespace jet {

void SchemaNames::check(std::string_view name, const char* what) {
    const std::string text(name);
    auto refuse = [&](const std::string& why) {
        throw Error(hr::kInvalidArg, "'" + text + "' is not a valid " + what + " name: " + why);
    };
    if (name.empty()) throw Error(hr::kInvalidArg, std::string("A ") + what + " name is needed.");
    std::vector<uint16_t> units;
    if (!TextCodec::toUtf16(text, units)) refuse("it is not valid text.");
    if (units.size() > 64) refuse("a name has at most 64 characters.");
    if (units.front() == u' ') refuse("a name cannot start with a space.");
    for (uint16_t u : units) {
        if (u < 0x20) refuse("a name cannot hold control characters.");
        if (u == u'.' || u == u'!' || u == u'`' || u == u'[' || u == u']')
            refuse("a name cannot hold . ! ` [ or ].");
    }
}

}  // namespace jet
