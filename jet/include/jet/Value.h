#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace jet {

// Column type codes as stored in the table definition.
enum class ColumnType : uint8_t {
    Bool = 0x01,
    Byte = 0x02,
    Int = 0x03,
    Long = 0x04,
    Money = 0x05,
    Float = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Unknown0D = 0x0D,  // read as bytes
    Guid = 0x0F,
    Numeric = 0x10,
    Unknown11 = 0x11,  // Access-private fixed blob (MSysAccessObjects.Data); read as bytes
    Complex = 0x12,    // later formats only; read as a 32-bit id
    BigInt = 0x13,     // later formats only; read as bytes
};

// Short English name of a type ("Long Integer", "Text"...). Unknown codes give "Unknown (0xNN)".
std::string columnTypeName(ColumnType type);

// Currency: the stored integer, value × 10000.
struct Currency {
    int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

// Date/time as stored: days since 1899-12-30; for negative values the fraction is the time of
// day counted forward (−1.25 is 1899-12-29 06:00), see toParts().
struct DateTime {
    double days = 0;
    bool operator==(const DateTime&) const = default;

    struct Parts {
        int year = 1899, month = 12, day = 30;
        int hour = 0, minute = 0, second = 0;
        int millisecond = 0;
    };
    // The years a date may take: 100 to 9999.
    static constexpr double kMinDays = -657434.0;
    static constexpr double kMaxDays = 2958465.99999;

    // Calendar fields, rounded to the millisecond. Valid for any finite value within ±3e6 days.
    Parts toParts() const;
    // Calendar fields rounded to the nearest second (millisecond 0); false for NaN, infinities
    // and values outside the years 100 to 9999.
    bool toSecondParts(Parts& out) const;
    static DateTime fromParts(const Parts& parts);
    // False when a field is out of its range (year outside 100..9999, month 13, 30 February,
    // hour 24...).
    static bool fromValidParts(const Parts& parts, DateTime& out);
    // Reads a date and time as people write them: yyyy-mm-dd, yyyy/mm/dd, m/d/yyyy or m/d/yy
    // (years below 30 in this century), optionally followed by a time h:mm[:ss] with optional
    // AM/PM, or an ISO "T" between the two; or a time alone (on 1899-12-30). Blanks around the
    // text do not count. False for anything else.
    static bool parse(std::string_view text, DateTime& out);
    // A number that grows with time: stored days before the epoch count their fraction forward,
    // so their own numbers do not.
    double chronological() const;
};

// GUID in stored (Windows struct) byte order; toString() gives "{XXXXXXXX-XXXX-...}".
struct Guid {
    std::array<uint8_t, 16> bytes{};
    bool operator==(const Guid&) const = default;
    std::string toString() const;
};

// Decimal/numeric: unsigned 128-bit magnitude (hi:lo), sign, and the column's scale/precision.
// value = (negative ? −1 : 1) × magnitude / 10^scale.
struct Decimal {
    uint64_t hi = 0;
    uint64_t lo = 0;
    bool negative = false;
    uint8_t precision = 18;
    uint8_t scale = 0;
    bool operator==(const Decimal&) const = default;
    // Plain decimal notation with exactly `scale` fraction digits ("-12.50").
    std::string toString() const;
};

// What a Value holds. Text is UTF-8; Bytes carries Binary, OLE and unknown types.
enum class ValueType : uint8_t {
    Null,
    Bool,
    Byte,
    Int16,
    Int32,
    Currency,
    Float,
    Double,
    DateTime,
    Text,
    Bytes,
    Guid,
    Decimal,
};

// One cell. The alternatives are in ValueType order, so type() is the variant index.
struct Value {
    using Storage =
        std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float, double,
                     DateTime, std::string, std::vector<uint8_t>, Guid, Decimal>;
    Storage v;

    Value() = default;
    template <typename T>
    requires(!std::is_same_v<std::remove_cvref_t<T>, Value>) Value(T&& x) : v(std::forward<T>(x)) {}

    bool isNull() const { return v.index() == 0; }
    ValueType type() const { return static_cast<ValueType>(v.index()); }

    template <typename T>
    const T& as() const {
        return std::get<T>(v);
    }
    template <typename T>
    const T* getIf() const {
        return std::get_if<T>(&v);
    }

    bool operator==(const Value&) const = default;
};

}  // namespace jet
