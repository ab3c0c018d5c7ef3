#include "row/FieldEncoder.h"

#include "base/TextCodec.h"
#include "row/RowDecoder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

[[noreturn]] void refuse(const StoredTableDef& t, const StoredColumn& c, const std::string& why) {
    throw Error(hr::kInvalidArg,
                "The value for field '" + c.name + "' of table '" + t.name + "' " + why + ".");
}

// Jet 3 text: bytes of the database code page, the declared length counting bytes. Fixed
// text is padded with spaces.
std::vector<uint8_t> codePageText(const StoredTableDef& t, const StoredColumn& c,
                                  const std::string& utf8, size_t units, const TextCodec& text) {
    std::vector<uint8_t> out;
    uint32_t bad = 0;
    if (!text.encodeCodePage(utf8, out, bad))
        refuse(t, c,
               "holds the character " + TextCodec::characterName(bad) +
                   ", which the database's code page cannot store; the value was not saved");
    if (c.type == ColumnType::Text && out.size() > c.length)
        refuse(t, c,
               "is " + std::to_string(units) + " characters long; the field holds at most " +
                   std::to_string(c.length));
    if (c.type == ColumnType::Memo && out.size() > 0x3FFFFFFF)
        refuse(t, c, "is longer than Jet can store");
    if (c.type == ColumnType::Text && c.isFixed()) out.resize(c.length, ' ');
    return out;
}

void putLE(std::vector<uint8_t>& out, uint64_t v, int bytes) {
    const size_t at = out.size();
    out.resize(at + size_t(bytes));
    uint8_t* p = out.data() + at;
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool isAscii(const std::string& s) {
    uint8_t any = 0;
    for (char ch : s)
        any |= static_cast<uint8_t>(ch);
    return any < 0x80;
}

// Whole-number view of integer-like values; false for others.
bool asInteger(const Value& v, int64_t& out) {
    switch (v.type()) {
        case ValueType::Byte:
            out = v.as<uint8_t>();
            return true;
        case ValueType::Int16:
            out = v.as<int16_t>();
            return true;
        case ValueType::Int32:
            out = v.as<int32_t>();
            return true;
        default:
            return false;
    }
}

bool asDouble(const Value& v, double& out) {
    int64_t i;
    if (asInteger(v, i)) {
        out = double(i);
        return true;
    }
    if (auto p = v.getIf<double>()) {
        out = *p;
        return true;
    }
    if (auto p = v.getIf<float>()) {
        out = *p;
        return true;
    }
    return false;
}

std::string typeWord(const StoredColumn& c) {
    return columnTypeName(c.type);
}

// 10^n as 128-bit (n <= 38).
unsigned __int128 pow10(int n) {
    unsigned __int128 r = 1;
    for (int i = 0; i < n; ++i)
        r *= 10;
    return r;
}

// Text of ASCII characters alone, stored the way the general path below stores it (one UTF-16
// unit per byte, or the compressed form), without the detour through UTF-16.
void asciiText(const StoredTableDef& t, const StoredColumn& c, const std::string& s,
               std::vector<uint8_t>& out) {
    if (c.type == ColumnType::Text && s.size() * 2 > c.length)
        refuse(t, c,
               "is " + std::to_string(s.size()) + " characters long; the field holds at most " +
                   std::to_string(c.length / 2));
    if (c.type == ColumnType::Memo && s.size() > 0x1FFFFFFF)
        refuse(t, c, "is longer than Jet can store");
    const bool fixed = c.type == ColumnType::Text && c.isFixed();
    const size_t units = fixed ? c.length / 2 : s.size();
    bool compress = !fixed && c.type == ColumnType::Text && c.isCompressedUnicode() && units >= 3;
    if (compress && std::memchr(s.data(), 0, s.size()) != nullptr) compress = false;
    if (compress) {
        out.resize(2 + s.size());
        out[0] = 0xFF;
        out[1] = 0xFE;
        std::memcpy(out.data() + 2, s.data(), s.size());
        return;
    }
    out.assign(units * 2, 0);
    for (size_t k = 0; k < units; ++k)
        out[2 * k] = k < s.size() ? static_cast<uint8_t>(s[k]) : uint8_t(' ');
}

}  // namespace

bool FieldEncoder::supported(ColumnType type) {
    switch (type) {
        case ColumnType::Bool:
        case ColumnType::Byte:
        case ColumnType::Int:
        case ColumnType::Long:
        case ColumnType::Money:
        case ColumnType::Float:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::Binary:
        case ColumnType::Text:
        case ColumnType::Ole:
        case ColumnType::Memo:
        case ColumnType::Guid:
        case ColumnType::Numeric:
            return true;
        default:
            return false;
    }
}

size_t FieldEncoder::fixedWidth(const StoredColumn& c) {
    // Fixed-length text and binary take their declared length.
    const size_t n = fixedSize(c.type);
    return (n != 0 || c.type == ColumnType::Bool) ? n : c.length;
}

std::vector<uint8_t> FieldEncoder::encode(const StoredTableDef& t, const StoredColumn& c,
                                          const Value& v, const TextCodec* text) {
    std::vector<uint8_t> out;
    out.reserve(17);  // any fixed-size field, in one allocation
    encodeInto(t, c, v, text, out);
    return out;
}

void FieldEncoder::encodeInto(const StoredTableDef& t, const StoredColumn& c, const Value& v,
                              const TextCodec* text, std::vector<uint8_t>& out) {
    out.clear();
    int64_t i = 0;
    double d = 0;
    switch (c.type) {
        case ColumnType::Byte:
            if (!asInteger(v, i)) refuse(t, c, "must be a whole number (Byte)");
            if (i < 0 || i > 255) refuse(t, c, "is out of range for a Byte (0 to 255)");
            putLE(out, uint64_t(i), 1);
            return;
        case ColumnType::Int:
            if (!asInteger(v, i)) refuse(t, c, "must be a whole number (Integer)");
            if (i < -32768 || i > 32767)
                refuse(t, c, "is out of range for an Integer (-32768 to 32767)");
            putLE(out, uint64_t(i), 2);
            return;
        case ColumnType::Long:
            if (!asInteger(v, i)) refuse(t, c, "must be a whole number (Long Integer)");
            putLE(out, uint64_t(i), 4);
            return;
        case ColumnType::Money: {
            int64_t scaled;
            if (auto p = v.getIf<Currency>()) {
                scaled = p->scaled;
            } else if (asInteger(v, i)) {
                scaled = i * 10000;
            } else {
                refuse(t, c, "must be a currency amount");
            }
            putLE(out, uint64_t(scaled), 8);
            return;
        }
        case ColumnType::Float: {
            if (!asDouble(v, d)) refuse(t, c, "must be a number");
            if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
                refuse(t, c, "is out of range for a Single");
            float f = static_cast<float>(d);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            putLE(out, u, 4);
            return;
        }
        case ColumnType::Double:
        case ColumnType::DateTime: {
            if (c.type == ColumnType::DateTime) {
                if (auto p = v.getIf<DateTime>())
                    d = p->days;
                else
                    refuse(t, c, "must be a date/time");
                if (!std::isfinite(d) || d < -657434.0 || d >= 2958466.0)
                    refuse(t, c, "is outside the dates Jet can store (years 100 to 9999)");
            } else if (!asDouble(v, d)) {
                refuse(t, c, "must be a number");
            }
            uint64_t u;
            std::memcpy(&u, &d, 8);
            putLE(out, u, 8);
            return;
        }
        case ColumnType::Guid: {
            auto p = v.getIf<Guid>();
            if (!p) refuse(t, c, "must be a GUID");
            out.assign(p->bytes.begin(), p->bytes.end());
            return;
        }
        case ColumnType::Numeric: {
            unsigned __int128 mag;
            bool neg;
            int scale;
            if (auto p = v.getIf<Decimal>()) {
                mag = (static_cast<unsigned __int128>(p->hi) << 64) | p->lo;
                neg = p->negative;
                scale = p->scale;
            } else if (asInteger(v, i)) {
                neg = i < 0;
                mag = static_cast<unsigned __int128>(neg ? -(i + 1) + uint64_t(1) : i);
                scale = 0;
            } else {
                refuse(t, c, "must be a decimal number");
            }
            if (scale > 28) refuse(t, c, "has more decimal places than Jet can store");
            while (scale < c.scale) {
                if (mag > pow10(38)) refuse(t, c, "has too many digits");
                mag *= 10;
                ++scale;
            }
            while (scale > c.scale) {
                if (mag % 10 != 0)
                    refuse(t, c,
                           "has more decimal places than the field's " + std::to_string(c.scale));
                mag /= 10;
                --scale;
            }
            int precision = c.precision == 0 ? 18 : c.precision;
            if (mag >= pow10(precision))
                refuse(
                    t, c,
                    "has more digits than the field's precision of " + std::to_string(precision));
            if (mag == 0) neg = false;
            out.push_back(neg ? 0x80 : 0x00);
            // Four 32-bit words, most significant first, each little-endian.
            for (int w = 3; w >= 0; --w)
                putLE(out, static_cast<uint32_t>(mag >> (32 * w)), 4);
            return;
        }
        case ColumnType::Binary:
        case ColumnType::Ole: {
            auto p = v.getIf<std::vector<uint8_t>>();
            if (!p) refuse(t, c, "must be binary data");
            if (c.type == ColumnType::Binary && p->size() > c.length)
                refuse(t, c,
                       "is " + std::to_string(p->size()) + " bytes long; the field holds at most " +
                           std::to_string(c.length));
            if (c.type == ColumnType::Ole && p->size() > 0x3FFFFFFF)
                refuse(t, c, "is larger than Jet can store (1 GB)");
            out.assign(p->begin(), p->end());
            if (c.type == ColumnType::Binary && c.isFixed()) out.resize(c.length, 0);
            return;
        }
        case ColumnType::Text:
        case ColumnType::Memo: {
            auto p = v.getIf<std::string>();
            if (!p) refuse(t, c, "must be text");
            if (isAscii(*p) && !(text && text->format() == Format::Jet3))
                return asciiText(t, c, *p, out);
            std::vector<uint16_t> u16;
            if (!TextCodec::toUtf16(*p, u16)) refuse(t, c, "is not valid UTF-8 text");
            if (text && text->format() == Format::Jet3) {
                out = codePageText(t, c, *p, u16.size(), *text);
                return;
            }
            if (c.type == ColumnType::Text && u16.size() * 2 > c.length)
                refuse(t, c,
                       "is " + std::to_string(u16.size()) +
                           " characters long; the field holds at most " +
                           std::to_string(c.length / 2));
            if (c.type == ColumnType::Memo && u16.size() > 0x1FFFFFFF)
                refuse(t, c, "is longer than Jet can store");
            bool fixed = c.type == ColumnType::Text && c.isFixed();
            if (fixed) u16.resize(c.length / 2, u' ');
            // Compressed form: every character in U+0001..U+00FF, no mode switches, and only
            // when it saves space.
            bool compress =
                !fixed && c.type == ColumnType::Text && c.isCompressedUnicode() && u16.size() >= 3;
            for (uint16_t ch : u16)
                if (ch == 0 || ch > 0xFF) compress = false;
            out.reserve(2 + u16.size() * 2);
            if (compress) {
                out.push_back(0xFF);
                out.push_back(0xFE);
                for (uint16_t ch : u16)
                    out.push_back(static_cast<uint8_t>(ch));
            } else {
                for (uint16_t ch : u16)
                    putLE(out, ch, 2);
            }
            return;
        }
        default:
            throw Error(hr::kNotSupported, "Field '" + c.name + "' of table '" + t.name +
                                               "' has a type (" + typeWord(c) +
                                               ") whose values cannot be written.");
    }
}

}  // namespace jet
