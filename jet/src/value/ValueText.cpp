// The one text form of a value, and its inverse.
#include "jet/ValueText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "jet/Error.h"
#include "jet/Text.h"
#include "value/TextScan.h"

namespace jet {

namespace {

const char kHex[] = "0123456789ABCDEF";

// A GUID's bytes as stored (the Windows layout: the first three groups little-endian), in the
// order its text shows them.
constexpr int kGuidOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

void appendHexByte(std::string& out, uint8_t b) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

}  // namespace

std::string ValueText::toText(const Value& v) {
    switch (v.type()) {
        case ValueType::Null:
            return {};
        case ValueType::Bool:
            return v.as<bool>() ? "True" : "False";
        case ValueType::Byte:
            return std::to_string(v.as<uint8_t>());
        case ValueType::Int16:
            return std::to_string(v.as<int16_t>());
        case ValueType::Int32:
            return std::to_string(v.as<int32_t>());
        case ValueType::Currency:
            return formatCurrency(v.as<Currency>().scaled);
        case ValueType::Float:
            return formatSingle(v.as<float>());
        case ValueType::Double:
            return formatDouble(v.as<double>());
        case ValueType::DateTime:
            return formatDate(v.as<DateTime>().days);
        case ValueType::Text:
            return v.as<std::string>();
        case ValueType::Bytes:
            return formatBytes(v.as<std::vector<uint8_t>>());
        case ValueType::Guid:
            return formatGuid(v.as<Guid>());
        case ValueType::Decimal:
            return formatDecimal(v.as<Decimal>());
    }
    return {};
}

std::string ValueText::formatDate(double days) {
    if (days == 0.0) return {};
    DateTime::Parts p;
    if (!DateTime{days}.toSecondParts(p)) return formatDouble(days);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
    return buf;
}

std::string ValueText::formatCurrency(int64_t scaled) {
    const bool negative = scaled < 0;
    // Work in unsigned so that the most negative amount does not overflow.
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string out = negative ? "-" : "";
    out += std::to_string(mag / 10000);
    uint64_t frac = mag % 10000;
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%04u", static_cast<unsigned>(frac));
        std::string f = buf;
        while (f.back() == '0')
            f.pop_back();
        out += f;
    }
    return out;
}

std::string ValueText::formatDouble(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string ValueText::formatSingle(float v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string ValueText::formatDecimal(const Decimal& d) {
    // Peel decimal digits off the 128-bit magnitude by long division in 32-bit words.
    std::array<uint32_t, 4> w = {static_cast<uint32_t>(d.lo), static_cast<uint32_t>(d.lo >> 32),
                                 static_cast<uint32_t>(d.hi), static_cast<uint32_t>(d.hi >> 32)};
    std::string digits;
    auto isZero = [&w] { return (w[0] | w[1] | w[2] | w[3]) == 0; };
    while (!isZero()) {
        uint64_t rem = 0;
        for (int i = 3; i >= 0; --i) {
            uint64_t cur = (rem << 32) | w[i];
            w[i] = static_cast<uint32_t>(cur / 10);
            rem = cur % 10;
        }
        digits += static_cast<char>('0' + rem);
    }
    const size_t scale = d.scale;
    while (digits.size() <= scale)
        digits += '0';
    std::string out;
    if (d.negative && digits.find_first_not_of('0') != std::string::npos) out += '-';
    for (size_t i = digits.size(); i-- > 0;) {
        out += digits[i];
        if (i == scale && scale > 0) out += '.';
    }
    return out;
}

std::string ValueText::formatGuid(const Guid& g) {
    const auto& b = g.bytes;
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        appendHexByte(out, b[kGuidOrder[i]]);
    }
    out += '}';
    return out;
}

std::string ValueText::formatBytes(std::span<const uint8_t> b) {
    std::string out;
    out.reserve(b.size() * 2);
    for (uint8_t c : b)
        appendHexByte(out, c);
    return out;
}

namespace {

using textscan::trimBlanks;

bool readDouble(std::string_view s, double& out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// An exact decimal number: sign, digits, optional point and digits (no exponent).
struct DecimalText {
    bool negative = false;
    std::string digits;   // without leading zeros' significance; may be empty for zero
    size_t fraction = 0;  // how many of the digits follow the point
};

bool readDecimal(std::string_view s, DecimalText& out) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) out.negative = s[i++] == '-';
    bool any = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (s[i] == '.' && !point) {
            point = true;
        } else if (s[i] >= '0' && s[i] <= '9') {
            any = true;
            out.digits += s[i];
            if (point) ++out.fraction;
        } else {
            return false;
        }
    }
    return any;
}

// Rounds the digits to `places` after the point, half to even; the result as an integer
// scaled by 10^places in a 128-bit magnitude. False on overflow of 128 bits.
bool scaledMagnitude(const DecimalText& d, size_t places, unsigned __int128& out) {
    std::string digits = d.digits;
    size_t fraction = d.fraction;
    while (fraction < places) {
        digits += '0';
        ++fraction;
    }
    bool roundUp = false;
    if (fraction > places) {
        const size_t keep = digits.size() - (fraction - places);
        const char first = digits[keep];
        const bool restNonZero = digits.find_first_not_of('0', keep + 1) != std::string::npos;
        const bool lastOdd = keep > 0 && (digits[keep - 1] - '0') % 2 == 1;
        roundUp = first > '5' || (first == '5' && (restNonZero || lastOdd));
        digits.resize(keep);
    }
    unsigned __int128 v = 0;
    const unsigned __int128 limit = ~static_cast<unsigned __int128>(0) / 10;
    for (char c : digits) {
        if (v > limit) return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (roundUp) ++v;
    out = v;
    return true;
}

std::string outsideWhole(ColumnType type) {
    return type == ColumnType::Byte  ? "it is outside 0 to 255."
           : type == ColumnType::Int ? "it is outside -32768 to 32767."
                                     : "it is outside -2147483648 to 2147483647.";
}

}  // namespace

bool ValueText::wholeNumber(double v, ColumnType type, Value& out) {
    const double d = std::nearbyint(v);
    switch (type) {
        case ColumnType::Byte:
            if (!(d >= 0 && d <= 255)) return false;
            out = Value(static_cast<uint8_t>(d));
            return true;
        case ColumnType::Int:
            if (!(d >= -32768.0 && d <= 32767.0)) return false;
            out = Value(static_cast<int16_t>(d));
            return true;
        case ColumnType::Long:
            if (!(d >= -2147483648.0 && d <= 2147483647.0)) return false;
            out = Value(static_cast<int32_t>(d));
            return true;
        default:
            return false;
    }
}

bool ValueText::scaledDecimal(std::string_view text, unsigned places, bool& negative,
                              unsigned __int128& magnitude) {
    DecimalText dt;
    if (!readDecimal(text, dt) || !scaledMagnitude(dt, places, magnitude)) return false;
    negative = dt.negative;
    return true;
}

bool ValueText::parseGuid(std::string_view g, Guid& out) {
    if (g.size() == 38 && g.front() == '{' && g.back() == '}') g = g.substr(1, 36);
    size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            if (pos >= g.size() || g[pos] != '-') return false;
            ++pos;
        }
        unsigned v = 0;
        if (pos + 2 > g.size()) return false;
        auto r = std::from_chars(g.data() + pos, g.data() + pos + 2, v, 16);
        if (r.ptr != g.data() + pos + 2) return false;
        out.bytes[kGuidOrder[i]] = static_cast<uint8_t>(v);
        pos += 2;
    }
    return pos == g.size();
}

Value ValueText::fromText(std::string_view raw, const FieldShape& field) {
    const ColumnType type = field.type;
    auto refuse = [&](const std::string& why) -> Value {
        throw Error(hr::kTypeMismatch, "The value \"" + std::string(raw) +
                                                   "\" cannot be stored in field \"" + field.name +
                                                   "\": " + why);
    };
    if (type == ColumnType::Text || type == ColumnType::Memo) {
        if (type == ColumnType::Text && field.maxChars > 0) {
            // The field's size counts UTF-16 units, as the file stores them.
            size_t units = 0;
            for (unsigned char c : raw) {
                if ((c & 0xC0) != 0x80) ++units;
                if (c >= 0xF0) ++units;
            }
            if (units > field.maxChars)
                return refuse("it is longer than the field's " + std::to_string(field.maxChars) +
                              " characters.");
        }
        return Value(std::string(raw));
    }
    const std::string_view s = trimBlanks(raw);
    if (s.empty()) return Value();
    switch (type) {
        case ColumnType::Bool: {
            for (const char* yes : {"true", "yes", "on"})
                if (CaseFold::equal(s, yes)) return Value(true);
            for (const char* no : {"false", "no", "off"})
                if (CaseFold::equal(s, no)) return Value(false);
            double d;
            if (!readDouble(s, d) || std::isnan(d)) return refuse("it is not Yes or No.");
            return Value(d != 0.0);
        }
        case ColumnType::Byte:
        case ColumnType::Int:
        case ColumnType::Long: {
            double d;
            if (!readDouble(s, d) || !std::isfinite(d)) return refuse("it is not a number.");
            Value out;
            if (!wholeNumber(d, type, out)) return refuse(outsideWhole(type));
            return out;
        }
        case ColumnType::Float: {
            float f;
            std::string_view t = s.front() == '+' ? s.substr(1) : s;
            auto r = std::from_chars(t.data(), t.data() + t.size(), f);
            if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
                return refuse("it is not a number in the range of a single.");
            return Value(f);
        }
        case ColumnType::Double: {
            double d;
            if (!readDouble(s, d)) return refuse("it is not a number.");
            return Value(d);
        }
        case ColumnType::Money: {
            DecimalText dt;
            if (!readDecimal(s, dt)) {
                double d;
                if (!readDouble(s, d) || !std::isfinite(d) || std::fabs(d) > 9.2e14)
                    return refuse("it is not an amount.");
                return Value(Currency{std::llround(d * 10000.0)});
            }
            bool negative;
            unsigned __int128 m;
            const unsigned __int128 maxPositive = static_cast<unsigned __int128>(INT64_MAX);
            if (!scaledDecimal(s, 4, negative, m) || m > maxPositive + (negative ? 1 : 0))
                return refuse("it is outside the range of a currency.");
            const int64_t v = negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(m))
                                       : static_cast<int64_t>(m);
            return Value(Currency{v});
        }
        case ColumnType::DateTime: {
            double d;
            DateTime parsed;
            if (DateTime::parse(s, parsed) && parsed.days >= DateTime::kMinDays &&
                parsed.days <= DateTime::kMaxDays)
                return Value(parsed);
            if (readDouble(s, d) && d >= DateTime::kMinDays && d <= DateTime::kMaxDays)
                return Value(DateTime{d});
            return refuse("it is not a date (year/month/day hour:minute:second).");
        }
        case ColumnType::Guid: {
            Guid out;
            if (!parseGuid(s, out)) return refuse("it is not a GUID.");
            return Value(out);
        }
        case ColumnType::Numeric: {
            DecimalText dt;
            bool negative;
            unsigned __int128 m;
            if (!readDecimal(s, dt)) return refuse("it is not a decimal number.");
            const uint8_t precision = field.precision ? field.precision : 18;
            if (!scaledDecimal(s, field.scale, negative, m))
                return refuse("it has too many digits.");
            unsigned __int128 limit = 1;
            for (int i = 0; i < precision; ++i)
                limit *= 10;
            if (m >= limit)
                return refuse("it has more than " + std::to_string(precision) + " digits.");
            Decimal d;
            d.precision = precision;
            d.scale = field.scale;
            d.negative = negative && m != 0;
            d.lo = static_cast<uint64_t>(m);
            d.hi = static_cast<uint64_t>(m >> 64);
            return Value(d);
        }
        default: {
            if (s.size() % 2 != 0) return refuse("it is not hexadecimal bytes.");
            std::vector<uint8_t> b(s.size() / 2);
            for (size_t i = 0; i < b.size(); ++i) {
                unsigned v = 0;
                auto r = std::from_chars(s.data() + 2 * i, s.data() + 2 * i + 2, v, 16);
                if (r.ptr != s.data() + 2 * i + 2) return refuse("it is not hexadecimal bytes.");
                b[i] = static_cast<uint8_t>(v);
            }
            return Value(std::move(b));
        }
    }
}

bool ValueText::numberOf(const Value& v, double& out) {
    switch (v.type()) {
        case ValueType::Bool:
            out = v.as<bool>() ? -1.0 : 0.0;
            return true;
        case ValueType::Byte:
            out = v.as<uint8_t>();
            return true;
        case ValueType::Int16:
            out = v.as<int16_t>();
            return true;
        case ValueType::Int32:
            out = v.as<int32_t>();
            return true;
        case ValueType::Currency:
            out = static_cast<double>(v.as<Currency>().scaled) / 10000.0;
            return true;
        case ValueType::Float:
            out = v.as<float>();
            return true;
        case ValueType::Double:
            out = v.as<double>();
            return true;
        case ValueType::Decimal: {
            const Decimal& d = v.as<Decimal>();
            const double mag = std::ldexp(static_cast<double>(d.hi), 64) + static_cast<double>(d.lo);
            out = (d.negative ? -mag : mag) / std::pow(10.0, d.scale);
            return true;
        }
        default:
            return false;
    }
}

Value ValueText::fromValue(const Value& v, const FieldShape& field) {
    if (v.isNull()) return Value();
    if (v.type() == ValueType::Text) return fromText(v.as<std::string>(), field);
    auto refuse = [&](const std::string& why) -> Value {
        throw Error(hr::kTypeMismatch, "The value \"" + toText(v) +
                                           "\" cannot be stored in field \"" + field.name +
                                           "\": " + why);
    };
    double d = 0;
    const bool number = numberOf(v, d);
    switch (field.type) {
        case ColumnType::Text:
        case ColumnType::Memo:
            // A value put into text is its text, under the field's size like any typed text.
            return fromText(toText(v), field);
        case ColumnType::Bool:
            if (!number || std::isnan(d)) return refuse("it is not Yes or No.");
            return Value(d != 0.0);
        case ColumnType::Byte:
        case ColumnType::Int:
        case ColumnType::Long: {
            if (!number || !std::isfinite(d)) return refuse("it is not a number.");
            Value out;
            if (!wholeNumber(d, field.type, out)) return refuse(outsideWhole(field.type));
            return out;
        }
        case ColumnType::Float:
            if (v.type() == ValueType::Float) return v;
            if (!number) return refuse("it is not a number.");
            if (std::isfinite(d) && std::fabs(d) > 3.4028234663852886e38)
                return refuse("it is not a number in the range of a single.");
            return Value(static_cast<float>(d));
        case ColumnType::Double:
            if (v.type() == ValueType::DateTime) return Value(v.as<DateTime>().days);
            if (!number) return refuse("it is not a number.");
            return Value(d);
        case ColumnType::Money:
            if (v.type() == ValueType::Currency) return v;
            if (v.type() == ValueType::Int32 || v.type() == ValueType::Int16 ||
                v.type() == ValueType::Byte)
                return Value(Currency{static_cast<int64_t>(d) * 10000});
            if (!number || !std::isfinite(d) || std::fabs(d) > 9.2e14)
                return refuse("it is not an amount.");
            return Value(Currency{std::llround(d * 10000.0)});
        case ColumnType::DateTime: {
            if (v.type() == ValueType::DateTime) d = v.as<DateTime>().days;
            else if (!number) return refuse("it is not a date.");
            if (!(d >= DateTime::kMinDays && d <= DateTime::kMaxDays))
                return refuse("it is not a date (year/month/day hour:minute:second).");
            return Value(DateTime{d});
        }
        case ColumnType::Numeric:
            // Decimal places are a matter of digits: the exact decimal text is rounded to the
            // field's places by the same rule that reads typed text.
            if (!number || !std::isfinite(d)) return refuse("it is not a decimal number.");
            return fromText(v.type() == ValueType::Decimal ? formatDecimal(v.as<Decimal>())
                            : v.type() == ValueType::Bool  ? formatDouble(d)
                                                           : toText(v),
                            field);
        case ColumnType::Guid:
            if (v.type() == ValueType::Guid) return v;
            return refuse("it is not a GUID.");
        default:
            if (v.type() == ValueType::Bytes) return v;
            return refuse("it is not bytes.");
    }
}

}  // namespace jet
