#include "PlatformFacts.h"

#include <sys/utsname.h>

#include <cstring>

// A Linux desktop counts as the current NT family: what the program picks by version (its
// settings folder) is the choice for modern systems.
bool PlatformFacts::QueryVersionEx(VersionInfo& info) const {
    info.platformId = 2;
    info.majorVersion = 6;
    info.minorVersion = 2;
    return true;
}

bool PlatformFacts::QueryVersion(VersionInfo& info) const {
    return QueryVersionEx(info);
}

bool PlatformFacts::HasWow64Probe() const {
    return true;
}

bool PlatformFacts::RunsUnderWow64() const {
    if (sizeof(void*) != 4) return false;
    utsname name{};
    if (uname(&name) != 0) return false;
    // A 32-bit build reports the kernel's machine unless run under a 32-bit personality.
    return std::strstr(name.machine, "64") != nullptr;
}

const PlatformFacts& PlatformFacts::System() {
    static const PlatformFacts facts;
    return facts;
}
