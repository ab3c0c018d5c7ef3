#include "ValueText.h"

#include <charconv>
#include <cmath>

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

// Days since 1970-01-01 to a proleptic Gregorian date, counting in 400-year eras
// so that no loop depends on the input.
void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(era * 400 + yoe + (month <= 2 ? 1 : 0));
}

constexpr int64_t kDaysFrom1970To1899 = -25569;  // 1899-12-30 is day -25569 of the Unix epoch
constexpr double kFirstDay = -657434.0;          // 0100-01-01
constexpr double kPastLastDay = 2958466.0;       // 10000-01-01

}  // namespace

void appendSingle(std::string& out, float value) {
    appendGeneral(out, value, 8);
}

void appendDouble(std::string& out, double value) {
    appendGeneral(out, value, 16);
}

void appendCurrency(std::string& out, int64_t tenThousandths) {
    uint64_t magnitude =
        tenThousandths < 0 ? 0 - uint64_t(tenThousandths) : uint64_t(tenThousandths);
    appendDecimal(out, tenThousandths < 0, magnitude, 4);
}

void appendDecimal(std::string& out, bool negative, unsigned __int128 magnitude, int scale) {
    if (scale < 0) scale = 0;
    if (scale > 38) scale = 38;
    char digits[48];
    int n = 0;
    do {
        digits[n++] = char('0' + int(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    while (n < scale + 1)
        digits[n++] = '0';
    bool zero = true;
    for (int i = 0; i < n; ++i)
        zero = zero && digits[i] == '0';
    if (negative && !zero) out.push_back('-');
    for (int i = n - 1; i >= 0; --i) {
        if (i + 1 == scale) out.push_back('.');
        out.push_back(digits[i]);
    }
}

bool splitDateTime(double oleDays, DateTimeFields& f) {
    if (!(oleDays >= kFirstDay && oleDays < kPastLastDay)) return false;
    double whole = std::trunc(oleDays);
    int64_t day = int64_t(whole);
    auto seconds = int64_t(std::fabs(oleDays - whole) * 86400.0 + 0.5);
    if (seconds >= 86400) {
        // Rounded up to the next midnight: that is a day later whichever side
        // of 1899-12-30 the value lies, since the fraction runs forwards.
        seconds -= 86400;
        ++day;
    }
    civilFromDays(day + kDaysFrom1970To1899, f.year, f.month, f.day);
    if (f.year > 9999) return false;
    f.hour = int(seconds / 3600);
    f.minute = int(seconds / 60 % 60);
    f.second = int(seconds % 60);
    return true;
}

void appendDateTime(std::string& out, double oleDays) {
    DateTimeFields f{};
    if (!splitDateTime(oleDays, f)) {
        appendDouble(out, oleDays);
        return;
    }
    appendPadded(out, f.year, 4);
    out.push_back('-');
    appendPadded(out, f.month, 2);
    out.push_back('-');
    appendPadded(out, f.day, 2);
    out.push_back(' ');
    appendPadded(out, f.hour, 2);
    out.push_back(':');
    appendPadded(out, f.minute, 2);
    out.push_back(':');
    appendPadded(out, f.second, 2);
}

void appendHex(std::string& out, std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    size_t at = out.size();
    out.resize(at + 2 * bytes.size());
    for (uint8_t b : bytes) {
        out[at++] = kDigits[b >> 4];
        out[at++] = kDigits[b & 15];
    }
}

void appendGuid(std::string& out, std::span<const uint8_t, 16> g) {
    const uint8_t ordered[16] = {g[3], g[2], g[1],  g[0],  g[5],  g[4],  g[7],  g[6],
                                 g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]};
    out.push_back('{');
    appendHex(out, std::span(ordered, 4));
    out.push_back('-');
    appendHex(out, std::span(ordered + 4, 2));
    out.push_back('-');
    appendHex(out, std::span(ordered + 6, 2));
    out.push_back('-');
    appendHex(out, std::span(ordered + 8, 2));
    out.push_back('-');
    appendHex(out, std::span(ordered + 10, 6));
    out.push_back('}');
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

}  // namespace tessor::csv
