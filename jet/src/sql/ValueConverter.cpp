#include "sql/ValueConverter.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "jet/Error.h"
#include "jet/Text.h"
#include "jet/ValueText.h"
#include "sql/Evaluator.h"
#include "sql/ExprText.h"

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
            return "#" + ExprText::dateText(d.number) + "#";
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
    if (d.kind == Kind::Text && ExprText::parseNumber(d.text, n)) return n;
    t.mismatch(d);
}

// The exact decimal text of a number: its own, or the double written with `places` decimals.
std::string exactText(const Datum& n, int places) {
    if (!n.text.empty()) return n.text;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", places, n.number);
    return buf;
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
            Value out;
            if (!jet::ValueText::wholeNumber(numberOf(d, t).number, column.type, out))
                t.range(d, column.type == ColumnType::Byte  ? "0 to 255"
                           : column.type == ColumnType::Int ? "-32768 to 32767"
                                                            : "-2147483648 to 2147483647");
            return out;
        }
        case ColumnType::Money: {
            const Datum n = numberOf(d, t);
            bool negative;
            u128 mag;
            const u128 maxPositive = u128(std::numeric_limits<int64_t>::max());
            if (!jet::ValueText::scaledDecimal(exactText(n, 4), 4, negative, mag) ||
                mag > maxPositive + (negative ? 1 : 0))
                t.range(d, "-922337203685477.5808 to 922337203685477.5807");
            const int64_t s = negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(mag))
                                       : static_cast<int64_t>(mag);
            return Value(Currency{s});
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
            if (!jet::ValueText::scaledDecimal(exactText(n, column.scale), column.scale, negative,
                                               mag))
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
            DateTime when;
            if (d.kind == Kind::Text && DateTime::parse(d.text, when)) return Value(when);
            t.mismatch(d);
        }
        case ColumnType::Text:
        case ColumnType::Memo:
            if (d.kind == Kind::Bytes) t.mismatch(d);
            return Value(Evaluator::asText(d));
        case ColumnType::Guid: {
            if (d.kind == Kind::Guid) return Value(d.guid);
            if (d.kind != Kind::Text) t.mismatch(d);
            // A statement's GUID text may leave out the braces and the dashes; once they are
            // taken out, the 32 digits read as the value-as-text rule's form.
            std::string hex;
            for (char c : d.text)
                if (c != '{' && c != '}' && c != '-' && c != ' ') hex += c;
            const bool shaped =
                hex.size() == 32 &&
                d.text.find_first_not_of("{}-0123456789abcdefABCDEF") == std::string::npos;
            Guid g;
            if (!shaped || !jet::ValueText::parseGuid(hex.substr(0, 8) + "-" + hex.substr(8, 4) +
                                                          "-" + hex.substr(12, 4) + "-" +
                                                          hex.substr(16, 4) + "-" + hex.substr(20),
                                                      g))
                t.mismatch(d);
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
