#include "ValueText.h"

#include <cstdint>
#include <cstring>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "jet/Value.h"
#include "jet/ValueText.h"

namespace tessor::csv {

namespace {

template <typename T>
void appendGeneral(std::string& out, T value, int precision) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
    out.append(buf, res.ptr);
}

void appendPadded(std::string& out, int value, int width) {
    char buf[16];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    for (int n = int(res.ptr - buf); n < width; ++n)
        out.push_back('0');
    out.append(buf, res.ptr);
}

// Exactly `width` decimal digits at text[at].
bool fixedDigits(std::string_view text, size_t at, size_t width, int& value) {
    if (at + width > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

template <typename T>
bool parseFloating(std::string_view text, T& value) {
    if (text.empty()) return false;
    auto res =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

}  // namespace

void appendSingle(std::string& out, float value) {
    appendGeneral(out, value, 8);
}

namespace {

// The %.16g text of a finite, nonzero double from exact integer arithmetic: the value times a
// power of ten, rounded to a 16-digit integer (ties to even, as printf does). Works for values
// from 1e-7 to about 1e37 and returns the end of the text; null outside them (the caller then
// takes the general path). out has room for kNumberTextRoom characters.
char* writeDouble16Exact(char* out, double value) {
    using u128 = unsigned __int128;
    static constexpr auto kPow10 = [] {
        std::array<u128, 23> p{};
        p[0] = 1;
        for (size_t i = 1; i < p.size(); ++i)
            p[i] = p[i - 1] * 10;
        return p;
    }();
    constexpr uint64_t kLow = 1000000000000000ull;  // 10^15: the smallest 16-digit integer
    constexpr uint64_t kHigh = 10 * kLow;

    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = int(bits >> 52 & 0x7FF);
    if (biased == 0 || biased == 0x7FF) return nullptr;  // subnormal, infinite or NaN
    const uint64_t mantissa = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
    const int shift = biased - 1075;  // |value| = mantissa * 2^shift
    // The decimal exponent: value lies in [2^(shift+52), 2^(shift+53)), so it is this or one more.
    int exponent = int(std::floor((shift + 52) * 0.30102999566398120));
    uint64_t digits = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int scale = 15 - exponent;  // digits = value * 10^scale, rounded
        if (scale > 22 || scale < -22) return nullptr;
        u128 quotient, remainder, half;
        if (scale >= 0) {
            const u128 n = u128(mantissa) * kPow10[size_t(scale)];
            if (shift >= 0) {
                if (shift > 10) return nullptr;
                quotient = n << shift;
                remainder = 0;
                half = 1;
            } else {
                if (-shift > 126) return nullptr;
                quotient = n >> -shift;
                remainder = n & ((u128(1) << -shift) - 1);
                half = u128(1) << (-shift - 1);
            }
        } else {
            if (shift < 0 || shift > 74) return nullptr;
            const u128 n = u128(mantissa) << shift;
            const u128 divisor = kPow10[size_t(-scale)];
            quotient = n / divisor;
            remainder = n % divisor;
            half = divisor / 2;  // exact: a power of ten is even
        }
        if (quotient >= kHigh) {
            ++exponent;
            continue;
        }
        if (quotient < kLow) {
            --exponent;
            continue;
        }
        digits = uint64_t(quotient);
        if (remainder > half || (remainder == half && (digits & 1) != 0)) ++digits;
        if (digits == kHigh) {
            digits = kLow;
            ++exponent;
        }
        break;
    }
    if (digits == 0) return nullptr;

    char d[16];
    writeEightDigits(d, uint32_t(digits / 100000000));
    writeEightDigits(d + 8, uint32_t(digits % 100000000));
    int count = 16;
    while (count > 1 && d[count - 1] == '0')
        --count;

    // %g with precision 16: plain notation for exponents -4..15, else d.ddde+XX.
    char* text = out;
    int len = 0;
    if (value < 0) text[len++] = '-';
    if (exponent < -4 || exponent >= 16) {
        text[len++] = d[0];
        if (count > 1) {
            text[len++] = '.';
            for (int i = 1; i < count; ++i)
                text[len++] = d[i];
        }
        text[len++] = 'e';
        text[len++] = exponent < 0 ? '-' : '+';
        const int e = exponent < 0 ? -exponent : exponent;
        if (e >= 100) text[len++] = char('0' + e / 100);
        text[len++] = char('0' + e / 10 % 10);
        text[len++] = char('0' + e % 10);
    } else if (exponent >= 0) {
        for (int i = 0; i <= exponent; ++i)
            text[len++] = i < count ? d[i] : '0';
        if (count > exponent + 1) {
            text[len++] = '.';
            for (int i = exponent + 1; i < count; ++i)
                text[len++] = d[i];
        }
    } else {
        text[len++] = '0';
        text[len++] = '.';
        for (int i = -1; i > exponent; --i)
            text[len++] = '0';
        for (int i = 0; i < count; ++i)
            text[len++] = d[i];
    }
    return text + len;
}

}  // namespace

char* writeDouble(char* out, double value) {
    if (value != 0 && std::isfinite(value)) {
        if (char* end = writeDouble16Exact(out, value)) return end;
    }
    return std::to_chars(out, out + kNumberTextRoom, value, std::chars_format::general, 16).ptr;
}

void appendDouble(std::string& out, double value) {
    char buf[kNumberTextRoom];
    out.append(buf, writeDouble(buf, value));
}

void appendCurrency(std::string& out, int64_t tenThousandths) {
    uint64_t magnitude =
        tenThousandths < 0 ? 0 - uint64_t(tenThousandths) : uint64_t(tenThousandths);
    appendDecimal(out, tenThousandths < 0, magnitude, 4);
}

char* writeDecimal(char* out, bool negative, unsigned __int128 magnitude, int scale) {
    if (scale < 0) scale = 0;
    if (scale > 38) scale = 38;
    const bool zero = magnitude == 0;
    // The digits, last first; 64-bit division while the value allows (a 128-bit one is a
    // library call per digit). At most 39 digits, padded to scale + 1.
    char text[52];
    char* const end = text + sizeof text;
    char* p = end;
    while (magnitude > UINT64_MAX) {
        *--p = char('0' + int(magnitude % 10));
        magnitude /= 10;
    }
    p = writeDigitsBefore(p, uint64_t(magnitude));
    while (end - p < scale + 1)
        *--p = '0';
    const size_t count = size_t(end - p);
    const size_t whole = count - size_t(scale);
    if (negative && !zero) *out++ = '-';
    std::memcpy(out, p, whole);
    out += whole;
    if (scale > 0) {
        *out++ = '.';
        std::memcpy(out, p + whole, size_t(scale));
        out += scale;
    }
    return out;
}

void appendDecimal(std::string& out, bool negative, unsigned __int128 magnitude, int scale) {
    char buf[kNumberTextRoom];
    out.append(buf, writeDecimal(buf, negative, magnitude, scale));
}

bool splitDateTime(double oleDays, DateTimeFields& f) {
    jet::DateTime::Parts p;
    if (!jet::DateTime{oleDays}.toSecondParts(p)) return false;
    f = {p.year, p.month, p.day, p.hour, p.minute, p.second};
    return true;
}

char* writeDateTime(char* out, double oleDays) {
    DateTimeFields f{};
    if (!splitDateTime(oleDays, f)) return writeDouble(out, oleDays);
    const auto twoDigits = [](int v) { return v >= 0 && v < 100; };
    if (f.year < 0 || f.year > 9999 || !twoDigits(f.month) || !twoDigits(f.day) ||
        !twoDigits(f.hour) || !twoDigits(f.minute) || !twoDigits(f.second)) {
        std::string odd;
        appendPadded(odd, f.year, 4);
        odd.push_back('-');
        appendPadded(odd, f.month, 2);
        odd.push_back('-');
        appendPadded(odd, f.day, 2);
        odd.push_back(' ');
        appendPadded(odd, f.hour, 2);
        odd.push_back(':');
        appendPadded(odd, f.minute, 2);
        odd.push_back(':');
        appendPadded(odd, f.second, 2);
        const size_t n = std::min(odd.size(), kNumberTextRoom);
        std::memcpy(out, odd.data(), n);
        return out + n;
    }
    // yyyy-mm-dd hh:mm:ss, every part in range: written in one go.
    char* t = out;
    t[4] = '-';
    t[7] = '-';
    t[10] = ' ';
    t[13] = ':';
    t[16] = ':';
    writeTwoDigits(t, uint32_t(f.year / 100));
    writeTwoDigits(t + 2, uint32_t(f.year % 100));
    writeTwoDigits(t + 5, uint32_t(f.month));
    writeTwoDigits(t + 8, uint32_t(f.day));
    writeTwoDigits(t + 11, uint32_t(f.hour));
    writeTwoDigits(t + 14, uint32_t(f.minute));
    writeTwoDigits(t + 17, uint32_t(f.second));
    return out + 19;
}

void appendDateTime(std::string& out, double oleDays) {
    char buf[kNumberTextRoom];
    out.append(buf, writeDateTime(buf, oleDays));
}

void appendHex(std::string& out, std::span<const uint8_t> bytes) {
    out += jet::ValueText::formatBytes(bytes);
}

void appendGuid(std::string& out, std::span<const uint8_t, 16> g) {
    jet::Guid guid;
    std::copy(g.begin(), g.end(), guid.bytes.begin());
    out += jet::ValueText::formatGuid(guid);
}

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    size_t start = 0;
    for (size_t q = text.find('"'); q != std::string_view::npos; q = text.find('"', q + 1)) {
        out.append(text.substr(start, q + 1 - start));
        out.push_back('"');
        start = q + 1;
    }
    out.append(text.substr(start));
    out.push_back('"');
}

bool parseInteger(std::string_view text, int64_t& value) {
    if (text.empty() || text[0] == '+') return false;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

bool parseSingle(std::string_view text, float& value) {
    return parseFloating(text, value);
}

bool parseDouble(std::string_view text, double& value) {
    if (parseFloating(text, value)) return true;
    // The largest doubles print as a 16-digit number just past the largest double.
    const bool negative = !text.empty() && text[0] == '-';
    if (text.substr(negative ? 1 : 0) != "1.797693134862316e+308") return false;
    value = negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
    return true;
}

bool parseDecimal(std::string_view text, bool& negative, unsigned __int128& magnitude, int& scale) {
    size_t i = 0;
    negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    magnitude = 0;
    scale = 0;
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (digits == 0 && c == '0' && !point) continue;  // leading zeros count for nothing
        if (++digits > 38) return false;
        magnitude = magnitude * 10 + unsigned(c - '0');
        if (point) ++scale;
    }
    // At least one digit before and after a point ("5.", ".5" and "-" are no numbers).
    const size_t start = negative ? 1 : 0;
    const size_t dot = text.find('.');
    if (text.size() == start) return false;
    if (dot != std::string_view::npos && (dot == start || dot + 1 == text.size())) return false;
    return true;
}

bool parseDateTime(std::string_view text, double& oleDays) {
    int year, month, day, hour = 0, minute = 0, second = 0;
    const bool dateOnly = text.size() == 10;
    if ((text.size() == 19 || dateOnly) && fixedDigits(text, 0, 4, year) && text[4] == '-' &&
        fixedDigits(text, 5, 2, month) && text[7] == '-' && fixedDigits(text, 8, 2, day)) {
        if (!dateOnly && !(text[10] == ' ' && fixedDigits(text, 11, 2, hour) && text[13] == ':' &&
                           fixedDigits(text, 14, 2, minute) && text[16] == ':' &&
                           fixedDigits(text, 17, 2, second)))
            return false;
        jet::DateTime d;
        if (!jet::DateTime::fromValidParts({year, month, day, hour, minute, second, 0}, d))
            return false;
        oleDays = d.days;
        return true;
    }
    // A stored value without a calendar date is written as its number of days.
    return parseDouble(text, oleDays);
}

bool parseHex(std::string_view text, std::vector<uint8_t>& bytes) {
    if (text.size() % 2 != 0) return false;
    bytes.resize(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = hexDigit(text[2 * i]), lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = uint8_t(hi << 4 | lo);
    }
    return true;
}

bool parseGuid(std::string_view text, std::array<uint8_t, 16>& bytes) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) return false;
    std::string hex;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-')) return false;
        if (!dash) hex.push_back(text[i]);
    }
    std::vector<uint8_t> ordered;
    if (!parseHex(hex, ordered)) return false;
    static constexpr int kStored[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        bytes[kStored[i]] = ordered[i];
    return true;
}

}  // namespace tessor::csv
