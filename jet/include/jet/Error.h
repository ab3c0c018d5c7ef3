#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace jet {

// HRESULT-style codes carried by jet::Error. Where Windows or OLE DB has a code with the same
// meaning it is used, so callers that map errors to the provider layer need no table.
namespace hr {
inline constexpr uint32_t kFail = 0x80004005;            // E_FAIL: anything not covered below
inline constexpr uint32_t kNotImplemented = 0x80004001;  // E_NOTIMPL: feature not built yet
inline constexpr uint32_t kInvalidArg = 0x80070057;      // E_INVALIDARG: caller passed bad input
inline constexpr uint32_t kFileNotFound = 0x80070002;    // the path does not exist
inline constexpr uint32_t kAccessDenied = 0x80070005;    // the OS refused to open the file
inline constexpr uint32_t kReadOnly = 0x80070013;        // write attempted on a read-only database
inline constexpr uint32_t kLocked = 0x80070020;          // another open holds a conflicting lock
inline constexpr uint32_t kIoError = 0x8007001E;         // read/write/sync failed at OS level
inline constexpr uint32_t kCorrupt = 0x80070570;       // the file is damaged (bad length, page...)
inline constexpr uint32_t kNotSupported = 0x80040E53;  // later format / not an Access file
inline constexpr uint32_t kNotFound = 0x80040E37;      // no such table or object
inline constexpr uint32_t kAuthFailed = 0x80040E4D;    // missing or wrong database password
inline constexpr uint32_t kTypeMismatch = 0x80040E07;  // a value the field's type cannot hold
}  // namespace hr

// Every failure the engine reports. what() is a complete English sentence for the user.
class Error : public std::runtime_error {
public:
    Error(uint32_t code, const std::string& description)
        : std::runtime_error(description), m_code(code) {}

    uint32_t code() const noexcept { return m_code; }

private:
    uint32_t m_code;
};

}  // namespace jet
