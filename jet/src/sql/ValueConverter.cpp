#include "sql/ValueConverter.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "jet/Error.h"
#include "jet/Text.h"
#include "sql/Evaluator.h"
#include "sql/ValueText.h"

namespace jet::sql {

namespace {

using Kind = Datum::Kind;
using u128 = unsigned __int128;

std::string shown(const Datum& d) {
    switch (d.kind) {
        case Kind::Text: {
            std::string t = d.text.size() > 40 ? d.text.substr(0, 40) + "..." : d.text;
            return "'" + t + "'";
        }
        case Kind::Bytes:
            return "binary data";
        case Kind::Date:
            return "#" + ValueText::dateText(d.number) + "#";
        default:
            return Evaluator::asText(d);
    }
}

struct Target {
    const ColumnDef& column;
    const std::string& table;

    [[noreturn]] void mismatch(const Datum& d) const {
        throw Error(hr::kInvalidArg, "Data type mismatch: field '" + column.name + "' of table '" +
                                         table + "' (" + columnTypeName(column.type) +
                                         ") cannot hold " + shown(d) + ".");
    }
    [[noreturn]] void range(const Datum& d, const char* limits) const {
        throw Error(hr::kInvalidArg, "The value " + shown(d) + " is out of range for field '" +
                                         column.name + "' of table '" + table + "' (" +
                                         columnTypeName(column.type) + ": " + limits + ").");
    }
};

// A number from the datum, reading text that holds one; Yes/No counts as -1/0.
Datum numberOf(const Datum& d, const Target& t) {
    if (d.kind == Kind::Number) return d;
    if (d.kind == Kind::Bool) return Datum::num(d.flag ? -1 : 0, d.flag ? "-1" : "0");
    Datum n;
    if (d.kind == Kind::Text && ValueText::parseNumber(d.text, n)) return n;
    t.mismatch(d);
}

// Decimal text split into an integer magnitude and a count of fraction digits; false when it
// has more than 38 significant digits.
bool splitDecimal(const std::string& text, bool& negative, u128& mag, int& scale) {
    negative = !text.empty() && text[0] == '-';
    mag = 0;
    scale = 0;
    bool fraction = false;
    int digits = 0;
    for (char c : text) {
        if (c == '-') continue;
        if (c == '.') {
            fraction = true;
            continue;
        }
        if (mag != 0 || c != '0') ++digits;
        if (digits > 38) return false;
        mag = mag * 10 + u128(c - '0');
        if (fraction) ++scale;
    }
    return true;
}

// The exact decimal text of a number: its own, or the double written with `places` decimals.
std::string exactText(const Datum& n, int places) {
    if (!n.text.empty()) return n.text;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", places, n.number);
    return buf;
}

// mag / 10^(scale - want) rounded half to even, or mag × 10^(want - scale); false on overflow.
bool rescale(u128& mag, int& scale, int want) {
    while (scale < want) {
        if (mag > (~u128(0)) / 10) return false;
        mag *= 10;
        ++scale;
    }
    if (scale > want) {
        const int drop = scale - want;
        if (drop > 38) {
            mag = 0;  // below half a unit of the last kept place
        } else {
            u128 div = 1;
            for (int i = 0; i < drop; ++i)
                div *= 10;
            u128 q = mag / div, r = mag % div;
            if (r * 2 > div || (r * 2 == div && (q & 1))) ++q;
            mag = q;
        }
        scale = want;
    }
    return true;
}

}  // namespace

Value ValueConverter::toColumn(const Datum& d, const ColumnDef& column, const std::string& table) {
    const Target t{column, table};
    if (d.isNull()) return Value();
    switch (column.type) {
        case ColumnType::Bool: {
            if (d.kind == Kind::Bool) return Value(d.flag);
            if (d.kind == Kind::Number) return Value(d.number != 0);
            if (d.kind == Kind::Text) {
                static const char* const kYes[] = {"true", "yes", "on", "-1", "1"};
                static const char* const kNo[] = {"false", "no", "off", "0"};
                for (const char* w : kYes)
                    if (CaseFold::equal(d.text, w)) return Value(true);
                for (const char* w : kNo)
                    if (CaseFold::equal(d.text, w)) return Value(false);
            }
            t.mismatch(d);
        }
        case ColumnType::Byte:
        case ColumnType::Int:
        case ColumnType::Long: {
            const Datum n = numberOf(d, t);
            const double v = std::nearbyint(n.number);
            if (column.type == ColumnType::Byte) {
                if (!(v >= 0 && v <= 255)) t.range(d, "0 to 255");
                return Value(static_cast<uint8_t>(v));
            }
            if (column.type == ColumnType::Int) {
                if (!(v >= -32768 && v <= 32767)) t.range(d, "-32768 to 32767");
                return Value(static_cast<int16_t>(v));
            }
            if (!(v >= -2147483648.0 && v <= 2147483647.0)) t.range(d, "-2147483648 to 2147483647");
            return Value(static_cast<int32_t>(v));
        }
        case ColumnType::Money: {
            const Datum n = numberOf(d, t);
            bool negative;
            u128 mag;
            int scale;
            if (!splitDecimal(exactText(n, 4), negative, mag, scale) || !rescale(mag, scale, 4) ||
                mag > u128(std::numeric_limits<int64_t>::max()))
                t.range(d, "-922337203685477.5808 to 922337203685477.5807");
            const int64_t s = static_cast<int64_t>(mag);
            return Value(Currency{negative ? -s : s});
        }
        case ColumnType::Float: {
            const Datum n = numberOf(d, t);
            if (std::fabs(n.number) > std::numeric_limits<float>::max())
                t.range(d, "about -3.4E38 to 3.4E38");
            return Value(static_cast<float>(n.number));
        }
        case ColumnType::Double:
            return Value(numberOf(d, t).number);
        case ColumnType::Numeric: {
            const Datum n = numberOf(d, t);
            const int precision = column.precision == 0 ? 18 : column.precision;
            bool negative;
            u128 mag;
            int scale;
            if (!splitDecimal(exactText(n, column.scale), negative, mag, scale) ||
                !rescale(mag, scale, column.scale))
                t.range(d, "too many digits");
            u128 limit = 1;
            for (int i = 0; i < precision; ++i)
                limit *= 10;
            if (mag >= limit) {
                const std::string limits = std::to_string(precision) + " digits, " +
                                           std::to_string(column.scale) + " after the point";
                t.range(d, limits.c_str());
            }
            Decimal out;
            out.hi = static_cast<uint64_t>(mag >> 64);
            out.lo = static_cast<uint64_t>(mag);
            out.negative = negative && mag != 0;
            out.precision = static_cast<uint8_t>(precision);
            out.scale = column.scale;
            return Value(out);
        }
        case ColumnType::DateTime: {
            if (d.kind == Kind::Date) return Value(DateTime{d.number});
            if (d.kind == Kind::Number) return Value(DateTime{d.number});
            double days;
            if (d.kind == Kind::Text && ValueText::parseDate(d.text, days))
                return Value(DateTime{days});
            t.mismatch(d);
        }
        case ColumnType::Text:
        case ColumnType::Memo:
            if (d.kind == Kind::Bytes) t.mismatch(d);
            return Value(Evaluator::asText(d));
        case ColumnType::Guid: {
            if (d.kind == Kind::Guid) return Value(d.guid);
            if (d.kind != Kind::Text) t.mismatch(d);
            std::string hex;
            for (char c : d.text)
                if (c != '{' && c != '}' && c != '-' && c != ' ') hex += c;
            const std::string& s = d.text;
            const bool shaped =
                hex.size() == 32 &&
                s.find_first_not_of("{}-0123456789abcdefABCDEF") == std::string::npos;
            if (!shaped) t.mismatch(d);
            uint8_t raw[16];
            for (int i = 0; i < 16; ++i)
                raw[i] = static_cast<uint8_t>(std::stoi(hex.substr(size_t(i) * 2, 2), nullptr, 16));
            // Stored in the Windows layout: the first three groups little-endian.
            static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            Guid g;
            for (int i = 0; i < 16; ++i)
                g.bytes[size_t(i)] = raw[kOrder[i]];
            return Value(g);
        }
        case ColumnType::Binary:
        case ColumnType::Ole:
            if (d.kind == Kind::Bytes) return Value(d.bytes);
            t.mismatch(d);
        default:
            throw Error(hr::kNotSupported, "Field '" + column.name + "' of table '" + table +
                                               "' has a type (" + columnTypeName(column.type) +
                                               ") whose values cannot be written.");
    }
}

}  // namespace jet::sql
