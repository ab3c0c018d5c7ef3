#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tessor::provider {

// HRESULT-style codes the provider raises itself. Engine errors pass through with the
// engine's own code and text.
namespace hr {
inline constexpr uint32_t kFail = 0x80004005;               // unspecified failure
inline constexpr uint32_t kAuthFailed = 0x80040E4D;         // password missing or wrong
inline constexpr uint32_t kSyntaxError = 0x80040E14;        // command text not understood
inline constexpr uint32_t kNoTable = 0x80040E37;            // input table not found
inline constexpr uint32_t kInvalidArgument = 0x800A0BB9;    // argument of wrong type or range
inline constexpr uint32_t kNoCurrentRecord = 0x800A0BCD;    // BOF or EOF is true
inline constexpr uint32_t kItemNotFound = 0x800A0CC1;       // no field of that name or ordinal
inline constexpr uint32_t kNotSupported = 0x800A0CB3;       // operation not offered here
inline constexpr uint32_t kObjectClosed = 0x800A0E78;       // object must be open
inline constexpr uint32_t kObjectOpen = 0x800A0E79;         // object must be closed
inline constexpr uint32_t kProviderNotFound = 0x800A0E7A;   // unknown Provider= value
inline constexpr uint32_t kConnectionInvalid = 0x800A0E7D;  // connection closed or missing
inline constexpr uint32_t kTypeMismatch = 0x80040E07;       // value cannot become the field's type
inline constexpr uint32_t kReadOnly = 0x80070013;           // the database cannot be written
inline constexpr uint32_t kCanceled = 0x80040E4E;           // the caller stopped the operation
}  // namespace hr

// Every failure of the provider arrives as one of these. description() is meant to be
// shown to the user as it stands.
class ProviderError : public std::runtime_error {
public:
    ProviderError(uint32_t code, const std::string& description);

    uint32_t code() const { return m_code; }
    std::string description() const { return what(); }

private:
    uint32_t m_code;
};

}  // namespace tessor::provider
