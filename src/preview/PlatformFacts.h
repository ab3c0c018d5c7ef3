#pragma once

// The facts about the running system that the version code is made from. The default answers
// describe this machine; tests derive from it to describe any other.
class PlatformFacts {
public:
    struct VersionInfo {
        unsigned platformId = 0;  // 1 consumer family, 2 NT family
        unsigned majorVersion = 0;
        unsigned minorVersion = 0;
    };

    virtual ~PlatformFacts() = default;

    // The extended version record; false when the system does not give it.
    virtual bool QueryVersionEx(VersionInfo& info) const;
    // The basic version record, asked when the extended one is refused.
    virtual bool QueryVersion(VersionInfo& info) const;
    // Whether the system can tell at all if a 32-bit process runs on a 64-bit system.
    virtual bool HasWow64Probe() const;
    // Whether this process is a 32-bit one on a 64-bit system.
    virtual bool RunsUnderWow64() const;

    // The facts of the running system.
    static const PlatformFacts& System();
};
