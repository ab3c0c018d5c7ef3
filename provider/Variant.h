#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessor::provider {

// The kinds of value a field can hold. Empty is "no value assigned"; Null is a database null.
enum class VariantType : uint8_t {
    Empty,
    Null,
    Bool,
    Byte,
    Int16,
    Int32,
    Currency,
    Single,
    Double,
    Date,
    Text,
    Bytes,
    Guid,
    Decimal
};

// Money as stored by the database: the amount times 10000.
struct Currency {
    int64_t scaled = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};

// Automation date: days since 1899-12-30; the fraction (taken without its sign) is the time.
struct Date {
    double days = 0.0;
    friend bool operator==(const Date&, const Date&) = default;
};

// The 16 bytes in the file's order: the first three groups little-endian, the rest as they go.
struct Guid {
    std::array<uint8_t, 16> bytes{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Exact decimal: magnitude / 10^scale, 128-bit magnitude in 32-bit words, lowest word first.
struct Decimal {
    uint8_t precision = 18;
    uint8_t scale = 0;
    bool negative = false;
    std::array<uint32_t, 4> magnitude{};
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

using Bytes = std::vector<uint8_t>;

// A small value type for field values: what the application reads out of a recordset.
// Text is UTF-8.
class Variant {
public:
    struct NullTag {
        friend bool operator==(NullTag, NullTag) = default;
    };

    Variant() = default;
    static Variant null() { return Variant(NullTag{}); }
    explicit Variant(NullTag) : m_value(NullTag{}) {}
    explicit Variant(bool v) : m_value(v) {}
    explicit Variant(uint8_t v) : m_value(v) {}
    explicit Variant(int16_t v) : m_value(v) {}
    explicit Variant(int32_t v) : m_value(v) {}
    explicit Variant(Currency v) : m_value(v) {}
    explicit Variant(float v) : m_value(v) {}
    explicit Variant(double v) : m_value(v) {}
    explicit Variant(Date v) : m_value(v) {}
    explicit Variant(std::string v) : m_value(std::move(v)) {}
    explicit Variant(std::string_view v) : m_value(std::string(v)) {}
    explicit Variant(const char* v) : m_value(std::string(v)) {}
    explicit Variant(Bytes v) : m_value(std::move(v)) {}
    explicit Variant(Guid v) : m_value(v) {}
    explicit Variant(Decimal v) : m_value(v) {}

    VariantType type() const { return static_cast<VariantType>(m_value.index()); }
    bool isEmpty() const { return type() == VariantType::Empty; }
    bool isNull() const { return type() == VariantType::Null; }
    // Null or Empty: nothing to show.
    bool isMissing() const { return isEmpty() || isNull(); }

    // Typed access; each throws ProviderError (type mismatch) when the variant holds another kind.
    bool toBool() const;
    uint8_t toByte() const;
    int16_t toInt16() const;
    int32_t toInt32() const;
    Currency toCurrency() const;
    float toSingle() const;
    double toDouble() const;
    Date toDate() const;
    const std::string& toText() const;
    const Bytes& toBytes() const;
    Guid toGuid() const;
    Decimal toDecimal() const;

    // Any number (and yes/no as -1/0) as a double; false when the value is not a number.
    bool numeric(double& out) const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    // Order matches VariantType.
    std::variant<std::monostate, NullTag, bool, uint8_t, int16_t, int32_t, Currency, float, double,
                 Date, std::string, Bytes, Guid, Decimal>
        m_value;

    template <typename T>
    const T& as() const;
};

}  // namespace tessor::provider
