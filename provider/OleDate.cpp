#include "provider/OleDate.h"

#include <cmath>
#include <cstdint>

namespace tessor::provider {

namespace {

constexpr int64_t kEpochFromUnixDays = 25569;  // 1899-12-30 is 25569 days before 1970-01-01

// Proleptic Gregorian day counts relative to 1970-01-01, by eras of 400 years.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

bool OleDate::toParts(double value, DateTimeParts& out) {
    if (!std::isfinite(value) || value < kMin || value > kMax + 0.00001) return false;
    double whole = std::trunc(value);
    int64_t day = static_cast<int64_t>(whole);
    int64_t secs = std::llround(std::fabs(value - whole) * 86400.0);
    if (secs >= 86400) {
        // Midnight of the following calendar day, whichever side of the epoch.
        secs -= 86400;
        day += 1;
    }
    civilFromDays(day - kEpochFromUnixDays, out.year, out.month, out.day);
    if (out.year > 9999) return false;
    out.hour = static_cast<int>(secs / 3600);
    out.minute = static_cast<int>(secs / 60 % 60);
    out.second = static_cast<int>(secs % 60);
    return true;
}

bool OleDate::fromParts(const DateTimeParts& p, double& out) {
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > daysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
        p.minute > 59 || p.second < 0 || p.second > 59)
        return false;
    const double day = static_cast<double>(
        daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) +
        kEpochFromUnixDays);
    const double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
    out = day < 0 ? day - time : day + time;
    return true;
}

namespace {

// Reads up to maxDigits digits (at least one) as a number.
bool readNumber(std::string_view s, size_t& pos, int maxDigits, int& out) {
    int n = 0;
    int v = 0;
    while (pos < s.size() && n < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        v = v * 10 + (s[pos++] - '0');
        ++n;
    }
    out = v;
    return n > 0;
}

bool readTime(std::string_view s, size_t& pos, DateTimeParts& p) {
    if (!readNumber(s, pos, 2, p.hour) || pos >= s.size() || s[pos] != ':') return false;
    ++pos;
    if (!readNumber(s, pos, 2, p.minute)) return false;
    p.second = 0;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!readNumber(s, pos, 2, p.second)) return false;
    }
    return true;
}

}  // namespace

bool OleDate::parse(std::string_view s, double& out) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    DateTimeParts p;
    p.hour = p.minute = p.second = 0;
    size_t pos = 0;
    int a = 0;
    int b = 0;
    int c = 0;
    const size_t startA = pos;
    if (!readNumber(s, pos, 4, a)) return false;
    const size_t digitsA = pos - startA;
    if (pos < s.size() && s[pos] == ':' && digitsA <= 2) {
        pos = 0;
        if (!readTime(s, pos, p) || pos != s.size()) return false;
        p.year = 1899;
        p.month = 12;
        p.day = 30;
        return fromParts(p, out);
    }
    if (pos >= s.size() || (s[pos] != '/' && s[pos] != '-')) return false;
    const char sep = s[pos++];
    if (!readNumber(s, pos, 2, b) || pos >= s.size() || s[pos] != sep) return false;
    ++pos;
    const size_t startC = pos;
    if (!readNumber(s, pos, 4, c)) return false;
    if (digitsA == 4) {
        p.year = a;
        p.month = b;
        p.day = c;
    } else if (sep == '/' && pos - startC == 4) {
        p.month = a;
        p.day = b;
        p.year = c;
    } else {
        return false;
    }
    if (pos < s.size()) {
        if (s[pos] != ' ') return false;
        while (pos < s.size() && s[pos] == ' ')
            ++pos;
        if (!readTime(s, pos, p) || pos != s.size()) return false;
    }
    return fromParts(p, out);
}

double OleDate::chronological(double value) {
    if (value >= 0 || !std::isfinite(value)) return value;
    const double whole = std::trunc(value);
    return whole + (whole - value);  // -1.25 (day -1, 06:00) becomes -0.75
}

}  // namespace tessor::provider
