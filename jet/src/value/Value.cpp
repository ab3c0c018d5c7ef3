#include "jet/Value.h"

#include <cmath>
#include <cstdio>

#include "jet/ValueText.h"

namespace jet {

std::string columnTypeName(ColumnType type) {
    switch (type) {
        case ColumnType::Bool:
            return "Yes/No";
        case ColumnType::Byte:
            return "Byte";
        case ColumnType::Int:
            return "Integer";
        case ColumnType::Long:
            return "Long Integer";
        case ColumnType::Money:
            return "Currency";
        case ColumnType::Float:
            return "Single";
        case ColumnType::Double:
            return "Double";
        case ColumnType::DateTime:
            return "Date/Time";
        case ColumnType::Binary:
            return "Binary";
        case ColumnType::Text:
            return "Text";
        case ColumnType::Ole:
            return "OLE Object";
        case ColumnType::Memo:
            return "Memo";
        case ColumnType::Guid:
            return "Replication ID";
        case ColumnType::Numeric:
            return "Decimal";
        case ColumnType::Complex:
            return "Complex";
        case ColumnType::BigInt:
            return "Large Number";
        default:
            break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "Unknown (0x%02X)", static_cast<unsigned>(type));
    return buf;
}

namespace {

// Day number relative to 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kOleEpoch = -25569;  // 1899-12-30 relative to 1970-01-01
constexpr int64_t kMsPerDay = 86400000;

}  // namespace

DateTime::Parts DateTime::toParts() const {
    Parts p;
    double v = days;
    if (!std::isfinite(v) || std::fabs(v) > 3.0e6) return p;
    double whole = std::trunc(v);
    double frac = std::fabs(v - whole);
    int64_t day = static_cast<int64_t>(whole);
    int64_t ms = std::llround(frac * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        day += 1;
    }
    civilFromDays(day + kOleEpoch, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

bool DateTime::toSecondParts(Parts& p) const {
    const double v = days;
    if (!std::isfinite(v) || v < kMinDays || v > kMaxDays + 0.00001) return false;
    const double whole = std::trunc(v);
    int64_t day = static_cast<int64_t>(whole);
    int64_t secs = std::llround(std::fabs(v - whole) * 86400.0);
    if (secs >= 86400) {
        // Midnight of the following calendar day, whichever side of the epoch.
        secs -= 86400;
        day += 1;
    }
    civilFromDays(day + kOleEpoch, p.year, p.month, p.day);
    if (p.year > 9999) return false;
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>(secs / 60 % 60);
    p.second = static_cast<int>(secs % 60);
    p.millisecond = 0;
    return true;
}

bool DateTime::fromValidParts(const Parts& p, DateTime& out) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1) return false;
    const bool leap = (p.year % 4 == 0 && p.year % 100 != 0) || p.year % 400 == 0;
    if (p.day > (p.month == 2 && leap ? 29 : kDays[p.month - 1])) return false;
    if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
        p.second > 59 || p.millisecond < 0 || p.millisecond > 999)
        return false;
    out = fromParts(p);
    return true;
}

double DateTime::chronological() const {
    if (days >= 0 || !std::isfinite(days)) return days;
    const double whole = std::trunc(days);
    return whole + (whole - days);  // -1.25 (day -1, 06:00) becomes -0.75
}

DateTime DateTime::fromParts(const Parts& p) {
    int64_t day = daysFromCivil(p.year, p.month, p.day) - kOleEpoch;
    double frac = (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.millisecond) /
                  double(kMsPerDay);
    return DateTime{day >= 0 ? double(day) + frac : double(day) - frac};
}

// Both are the value-as-text rule's own forms.
std::string Guid::toString() const {
    return ValueText::formatGuid(*this);
}

std::string Decimal::toString() const {
    return ValueText::formatDecimal(*this);
}

}  // namespace jet
