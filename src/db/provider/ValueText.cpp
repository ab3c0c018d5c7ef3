#include "db/provider/ValueText.h"

#include <charconv>
#include <cstdio>

#include "db/provider/OleDate.h"

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
    DateTimeParts p;
    if (!OleDate::toParts(days, p)) return formatDouble(days);
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
