#include "ValueReader.h"

#include <cstdint>
#include <limits>

#include "ValueText.h"

namespace tessor::csv {

namespace {

// The field as a message shows it: quoted, and cut short when long.
std::string shown(std::string_view text) {
    constexpr size_t kMax = 40;
    std::string s = "'";
    s.append(text.substr(0, kMax));
    if (text.size() > kMax) s.append("...");
    return s + "'";
}

bool fail(std::string& why, std::string_view text, const char* what) {
    why = shown(text) + " " + what;
    return false;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool readInteger(std::string_view text, int64_t low, int64_t high, const char* range, int64_t& out,
                 std::string& why) {
    if (!parseInteger(text, out)) {
        // A number that merely does not fit says so rather than calling itself no number.
        double d;
        if (parseDouble(text, d) && text.find_first_of(".eEn") == std::string_view::npos)
            return fail(why, text, range);
        return fail(why, text, "is not a whole number");
    }
    if (out < low || out > high) return fail(why, text, range);
    return true;
}

unsigned __int128 pow10(int n) {
    unsigned __int128 r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

}  // namespace

bool ValueReader::read(const jet::ColumnDef& column, std::string_view text, bool quoted,
                       jet::Value& value, std::string& why) {
    using jet::ColumnType;
    if (text.empty() && !quoted) {
        value = jet::Value();
        return true;
    }
    int64_t i = 0;
    switch (column.type) {
        case ColumnType::Text:
        case ColumnType::Memo:
            // into the text the value already holds, keeping its room from the row before
            if (auto* held = std::get_if<std::string>(&value.v))
                held->assign(text);
            else
                value = std::string(text);
            return true;
        case ColumnType::Bool:
            if (text == "1" || text == "-1" || equalsIgnoringCase(text, "true")) {
                value = true;
            } else if (text == "0" || equalsIgnoringCase(text, "false")) {
                value = false;
            } else {
                return fail(why, text, "is not a Yes/No value (1 or 0)");
            }
            return true;
        case ColumnType::Byte:
            if (!readInteger(text, 0, 255, "is out of range for a Byte (0 to 255)", i, why))
                return false;
            value = static_cast<uint8_t>(i);
            return true;
        case ColumnType::Int:
            if (!readInteger(text, INT16_MIN, INT16_MAX,
                             "is out of range for an Integer (-32768 to 32767)", i, why))
                return false;
            value = static_cast<int16_t>(i);
            return true;
        case ColumnType::Long:
        case ColumnType::Complex:
            if (!readInteger(text, INT32_MIN, INT32_MAX,
                             "is out of range for a Long Integer (-2147483648 to 2147483647)", i,
                             why))
                return false;
            value = static_cast<int32_t>(i);
            return true;
        case ColumnType::Money: {
            bool negative;
            unsigned __int128 magnitude;
            int scale;
            if (!parseDecimal(text, negative, magnitude, scale))
                return fail(why, text, "is not a currency amount");
            // Ten-thousandths: trailing zeros past the fourth place cost nothing.
            while (scale > 4 && magnitude % 10 == 0) {
                magnitude /= 10;
                --scale;
            }
            if (scale > 4) return fail(why, text, "has more than 4 decimal places");
            magnitude *= pow10(4 - scale);
            const auto limit = static_cast<unsigned __int128>(INT64_MAX) + (negative ? 1 : 0);
            if (magnitude > limit) return fail(why, text, "is out of range for a Currency");
            const auto scaled = static_cast<uint64_t>(magnitude);
            value = jet::Currency{negative ? int64_t(0 - scaled) : int64_t(scaled)};
            return true;
        }
        case ColumnType::Float: {
            float f;
            if (!parseSingle(text, f)) {
                double d;
                if (parseDouble(text, d)) return fail(why, text, "is out of range for a Single");
                return fail(why, text, "is not a number");
            }
            value = f;
            return true;
        }
        case ColumnType::Double: {
            double d;
            if (!parseDouble(text, d)) return fail(why, text, "is not a number");
            value = d;
            return true;
        }
        case ColumnType::DateTime: {
            double days;
            if (!parseDateTime(text, days))
                return fail(why, text, "is not a date and time (YYYY-MM-DD HH:MM:SS)");
            value = jet::DateTime{days};
            return true;
        }
        case ColumnType::Guid: {
            jet::Guid g;
            if (!parseGuid(text, g.bytes))
                return fail(why, text, "is not a GUID ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})");
            value = g;
            return true;
        }
        case ColumnType::Numeric: {
            jet::Decimal d;
            unsigned __int128 magnitude;
            int scale;
            if (!parseDecimal(text, d.negative, magnitude, scale))
                return fail(why, text, "is not a decimal number");
            d.hi = static_cast<uint64_t>(magnitude >> 64);
            d.lo = static_cast<uint64_t>(magnitude);
            d.precision = column.precision;
            d.scale = static_cast<uint8_t>(scale);
            value = d;
            return true;
        }
        default: {
            // Binary, OLE and the types read as bytes.
            std::vector<uint8_t> bytes;
            if (!parseHex(text, bytes))
                return fail(why, text, "is not binary data (pairs of hex digits)");
            value = std::move(bytes);
            return true;
        }
    }
}

}  // namespace tessor::csv
