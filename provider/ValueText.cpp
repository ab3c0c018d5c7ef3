#include "provider/ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "provider/ProviderError.h"
#include "jet/Text.h"
#include "jet/Value.h"

namespace tessor::provider {

namespace {

const char kHex[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, uint8_t b) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

}  // namespace

std::string ValueText::toText(const Variant& v) {
    switch (v.type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return {};
        case VariantType::Bool:
            return v.toBool() ? "True" : "False";
        case VariantType::Byte:
            return std::to_string(v.toByte());
        case VariantType::Int16:
            return std::to_string(v.toInt16());
        case VariantType::Int32:
            return std::to_string(v.toInt32());
        case VariantType::Currency:
            return formatCurrency(v.toCurrency().scaled);
        case VariantType::Single:
            return formatSingle(v.toSingle());
        case VariantType::Double:
            return formatDouble(v.toDouble());
        case VariantType::Date:
            return formatDate(v.toDate().days);
        case VariantType::Text:
            return v.toText();
        case VariantType::Bytes:
            return formatBytes(v.toBytes());
        case VariantType::Guid:
            return formatGuid(v.toGuid());
        case VariantType::Decimal:
            return formatDecimal(v.toDecimal());
    }
    return {};
}

std::string ValueText::formatDate(double days) {
    if (days == 0.0) return {};
    jet::DateTime::Parts p;
    if (!jet::DateTime{days}.toSecondParts(p)) return formatDouble(days);
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
    std::array<uint32_t, 4> w = d.magnitude;
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
    static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        appendHexByte(out, b[kOrder[i]]);
    }
    out += '}';
    return out;
}

std::string ValueText::formatBytes(const Bytes& b) {
    std::string out;
    out.reserve(b.size() * 2);
    for (uint8_t c : b)
        appendHexByte(out, c);
    return out;
}

}  // namespace tessor::provider

namespace tessor::provider {

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

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

}  // namespace

Variant ValueText::fromText(std::string_view raw, const ColumnInfo& field) {
    const DataType type = field.type;
    auto refuse = [&](const std::string& why) -> Variant {
        throw ProviderError(hr::kTypeMismatch, "The value \"" + std::string(raw) +
                                                   "\" cannot be stored in field \"" + field.name +
                                                   "\": " + why);
    };
    if (type == DataType::VarWChar || type == DataType::LongVarWChar) {
        if (type == DataType::VarWChar && field.definedSize > 0) {
            // The field's size counts UTF-16 units, as the file stores them.
            size_t units = 0;
            for (unsigned char c : raw) {
                if ((c & 0xC0) != 0x80) ++units;
                if (c >= 0xF0) ++units;
            }
            if (units > field.definedSize)
                return refuse("it is longer than the field's " + std::to_string(field.definedSize) +
                              " characters.");
        }
        return Variant(raw);
    }
    const std::string_view s = trimBlanks(raw);
    if (s.empty()) return Variant::null();
    switch (type) {
        case DataType::Boolean: {
            for (const char* yes : {"true", "yes", "on"})
                if (jet::CaseFold::equal(s, yes)) return Variant(true);
            for (const char* no : {"false", "no", "off"})
                if (jet::CaseFold::equal(s, no)) return Variant(false);
            double d;
            if (!readDouble(s, d) || std::isnan(d)) return refuse("it is not Yes or No.");
            return Variant(d != 0.0);
        }
        case DataType::UnsignedTinyInt:
        case DataType::SmallInt:
        case DataType::Integer: {
            double d;
            if (!readDouble(s, d) || !std::isfinite(d)) return refuse("it is not a number.");
            d = std::nearbyint(d);
            const double lo = type == DataType::UnsignedTinyInt ? 0
                              : type == DataType::SmallInt      ? -32768.0
                                                                : -2147483648.0;
            const double hi = type == DataType::UnsignedTinyInt ? 255
                              : type == DataType::SmallInt      ? 32767.0
                                                                : 2147483647.0;
            if (d < lo || d > hi)
                return refuse("it is outside " + formatDouble(lo) + " to " + formatDouble(hi) +
                              ".");
            if (type == DataType::UnsignedTinyInt) return Variant(static_cast<uint8_t>(d));
            if (type == DataType::SmallInt) return Variant(static_cast<int16_t>(d));
            return Variant(static_cast<int32_t>(d));
        }
        case DataType::Single: {
            float f;
            std::string_view t = s.front() == '+' ? s.substr(1) : s;
            auto r = std::from_chars(t.data(), t.data() + t.size(), f);
            if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
                return refuse("it is not a number in the range of a single.");
            return Variant(f);
        }
        case DataType::Double: {
            double d;
            if (!readDouble(s, d)) return refuse("it is not a number.");
            return Variant(d);
        }
        case DataType::Currency: {
            DecimalText dt;
            unsigned __int128 m;
            if (!readDecimal(s, dt)) {
                double d;
                if (!readDouble(s, d) || !std::isfinite(d) || std::fabs(d) > 9.2e14)
                    return refuse("it is not an amount.");
                return Variant(Currency{std::llround(d * 10000.0)});
            }
            const unsigned __int128 maxPositive = static_cast<unsigned __int128>(INT64_MAX);
            if (!scaledMagnitude(dt, 4, m) || m > maxPositive + (dt.negative ? 1 : 0))
                return refuse("it is outside the range of a currency.");
            const int64_t v = dt.negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(m))
                                          : static_cast<int64_t>(m);
            return Variant(Currency{v});
        }
        case DataType::Date: {
            double d;
            jet::DateTime parsed;
            if (jet::DateTime::parse(s, parsed) && parsed.days >= jet::DateTime::kMinDays &&
                parsed.days <= jet::DateTime::kMaxDays)
                return Variant(Date{parsed.days});
            if (readDouble(s, d) && d >= jet::DateTime::kMinDays && d <= jet::DateTime::kMaxDays)
                return Variant(Date{d});
            return refuse("it is not a date (year/month/day hour:minute:second).");
        }
        case DataType::Guid: {
            std::string_view g = s;
            if (g.size() == 38 && g.front() == '{' && g.back() == '}') g = g.substr(1, 36);
            static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            Guid out;
            size_t pos = 0;
            for (int i = 0; i < 16; ++i) {
                if (i == 4 || i == 6 || i == 8 || i == 10) {
                    if (pos >= g.size() || g[pos] != '-') return refuse("it is not a GUID.");
                    ++pos;
                }
                unsigned v = 0;
                if (pos + 2 > g.size()) return refuse("it is not a GUID.");
                auto r = std::from_chars(g.data() + pos, g.data() + pos + 2, v, 16);
                if (r.ptr != g.data() + pos + 2) return refuse("it is not a GUID.");
                out.bytes[kOrder[i]] = static_cast<uint8_t>(v);
                pos += 2;
            }
            if (pos != g.size()) return refuse("it is not a GUID.");
            return Variant(out);
        }
        case DataType::Numeric: {
            DecimalText dt;
            unsigned __int128 m;
            if (!readDecimal(s, dt)) return refuse("it is not a decimal number.");
            const uint8_t precision = field.precision ? field.precision : 18;
            if (!scaledMagnitude(dt, field.scale, m)) return refuse("it has too many digits.");
            unsigned __int128 limit = 1;
            for (int i = 0; i < precision; ++i)
                limit *= 10;
            if (m >= limit)
                return refuse("it has more than " + std::to_string(precision) + " digits.");
            Decimal d;
            d.precision = precision;
            d.scale = field.scale;
            d.negative = dt.negative && m != 0;
            for (int i = 0; i < 4; ++i)
                d.magnitude[i] = static_cast<uint32_t>(m >> (32 * i));
            return Variant(d);
        }
        default: {
            if (s.size() % 2 != 0) return refuse("it is not hexadecimal bytes.");
            Bytes b(s.size() / 2);
            for (size_t i = 0; i < b.size(); ++i) {
                unsigned v = 0;
                auto r = std::from_chars(s.data() + 2 * i, s.data() + 2 * i + 2, v, 16);
                if (r.ptr != s.data() + 2 * i + 2) return refuse("it is not hexadecimal bytes.");
                b[i] = static_cast<uint8_t>(v);
            }
            return Variant(std::move(b));
        }
    }
}

}  // namespace tessor::provider
