// Text forms of single column values as the CSV export writes them. The forms
// follow mdb-export (-b hex, ISO dates) wherever that tool is right, so the two
// outputs can be compared byte for byte; see the notes at each function where
// they part.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessor::csv {

// "00" to "99", two characters a number.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Exactly two digits of 0 <= value < 100 at p.
inline void writeTwoDigits(char* p, uint32_t value) {
    p[0] = kDigitPairs[2 * value];
    p[1] = kDigitPairs[2 * value + 1];
}

// Exactly eight digits of 0 <= value < 10^8 at p, leading zeros included.
inline void writeEightDigits(char* p, uint32_t value) {
    const uint32_t high = value / 10000, low = value % 10000;
    writeTwoDigits(p, high / 100);
    writeTwoDigits(p + 2, high % 100);
    writeTwoDigits(p + 4, low / 100);
    writeTwoDigits(p + 6, low % 100);
}

// Writes the decimal digits of `value` so that they end just before `end`; returns where they
// start. Eight digits at a time while the value needs 64 bits, then two at a time in 32.
inline char* writeDigitsBefore(char* end, uint64_t value) {
    while (value >= 100000000) {
        end -= 8;
        writeEightDigits(end, uint32_t(value % 100000000));
        value /= 100000000;
    }
    auto small = uint32_t(value);
    while (small >= 100) {
        end -= 2;
        writeTwoDigits(end, small % 100);
        small /= 100;
    }
    if (small >= 10) {
        end -= 2;
        writeTwoDigits(end, small);
    } else {
        *--end = char('0' + small);
    }
    return end;
}

// Room enough for any one text of writeDouble, writeDecimal and writeDateTime.
constexpr size_t kNumberTextRoom = 64;

// The texts of appendDouble, appendDecimal and appendDateTime written at `out`, which has room
// for kNumberTextRoom characters; each returns the end of what it wrote.
char* writeDouble(char* out, double value);
char* writeDecimal(char* out, bool negative, unsigned __int128 magnitude, int scale);
char* writeDateTime(char* out, double oleDays);

// Single: printf("%.8g"). Double: printf("%.16g"). Both in the "C" locale.
void appendSingle(std::string& out, float value);
void appendDouble(std::string& out, double value);

// Currency is stored as a 64-bit count of ten-thousandths; always 4 decimals.
void appendCurrency(std::string& out, int64_t tenThousandths);

// Decimal: magnitude / 10^scale with exactly `scale` decimals and at least one
// integer digit ("0.50"). Zero carries no sign. scale is clamped to 0..38.
void appendDecimal(std::string& out, bool negative, unsigned __int128 magnitude, int scale);

// Date/time stored as days since 1899-12-30: the whole part counts days (signed),
// the fraction is the time of day even for dates before 1899-12-30. Written as
// "YYYY-MM-DD HH:MM:SS", rounded to the nearest second. Values outside the
// years 100..9999, NaN and infinities have no calendar date and are written as
// the plain number (%.16g) instead.
void appendDateTime(std::string& out, double oleDays);

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; the first three groups are stored
// little-endian. (mdb-export drops the fourth dash.)
void appendGuid(std::string& out, std::span<const uint8_t, 16> bytes);

// Upper-case hex, two digits a byte, no separators.
void appendHex(std::string& out, std::span<const uint8_t> bytes);

// Double quotes around text, inner double quotes doubled; line breaks kept.
void appendQuoted(std::string& out, std::string_view text);

// Calendar fields of a stored date/time; false when it has no calendar date.
struct DateTimeFields {
    int year, month, day, hour, minute, second;
};
bool splitDateTime(double oleDays, DateTimeFields& fields);

// The inverses, for reading an export back in. Each accepts the text its append function writes
// and returns false for anything else; the notes say where a little more is accepted.

// Optional '-', then decimal digits; false when out of the range of int64_t.
bool parseInteger(std::string_view text, int64_t& value);
// Nearest value to the decimal text (so "0.050000001" is 0.05f); also "inf", "-inf", "nan"
// and exponents. False when out of the type's range (but the 16-digit text of the largest
// doubles, which rounds past them, reads as the largest double).
bool parseSingle(std::string_view text, float& value);
bool parseDouble(std::string_view text, double& value);
// Optional '-', digits, optionally '.' and more digits: magnitude / 10^scale. At most 38 digits.
bool parseDecimal(std::string_view text, bool& negative, unsigned __int128& magnitude, int& scale);
// "YYYY-MM-DD HH:MM:SS" (or the date alone) of the years 100..9999, to days since 1899-12-30;
// also a plain number of days, as appendDateTime writes values without a calendar date.
bool parseDateTime(std::string_view text, double& oleDays);
// Pairs of hex digits, either case.
bool parseHex(std::string_view text, std::vector<uint8_t>& bytes);
// appendGuid's form (the braces may be left out), to the stored byte order.
bool parseGuid(std::string_view text, std::array<uint8_t, 16>& bytes);

}  // namespace tessor::csv
