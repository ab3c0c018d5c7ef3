#include "sql/ValueText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/Value.h"

namespace jet::sql {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Reads 1..max digits at s[i]; false when there are none or more.
bool readInt(std::string_view s, size_t& i, int maxDigits, int& out, int& digits) {
    out = 0;
    digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        if (++digits > maxDigits) return false;
        out = out * 10 + (s[i] - '0');
        ++i;
    }
    return digits > 0;
}

bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

bool equalsNoCase(std::string_view a, const char* b) {
    size_t n = 0;
    for (; b[n]; ++n) {
        if (n >= a.size()) return false;
        char c = a[n];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != b[n]) return false;
    }
    return n == a.size();
}

// Date part: fields separated by '-' or '/'.
bool parseDayPart(std::string_view s, DateTime::Parts& p) {
    size_t i = 0;
    int a, b, c, da, db, dc;
    if (!readInt(s, i, 4, a, da)) return false;
    if (i >= s.size() || (s[i] != '-' && s[i] != '/')) return false;
    const char sep = s[i++];
    if (!readInt(s, i, 2, b, db)) return false;
    if (i >= s.size() || s[i] != sep) return false;
    ++i;
    if (!readInt(s, i, 4, c, dc)) return false;
    if (i != s.size()) return false;
    if (da == 4) {
        if (dc > 2) return false;
        p.year = a;
        p.month = b;
        p.day = c;
    } else {
        if (da > 2 || dc == 3) return false;
        p.month = a;
        p.day = b;
        p.year = dc <= 2 ? (c < 30 ? 2000 + c : 1900 + c) : c;
    }
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > daysInMonth(p.year, p.month))
        return false;
    return true;
}

// Time part: h:mm[:ss], optionally with AM/PM attached or as the next word.
bool parseTimePart(std::string_view s, std::string_view meridiem, DateTime::Parts& p) {
    size_t i = 0;
    int h, m, sec = 0, d;
    if (!readInt(s, i, 2, h, d)) return false;
    if (i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!readInt(s, i, 2, m, d)) return false;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!readInt(s, i, 2, sec, d)) return false;
    }
    std::string_view rest = s.substr(i);
    if (!rest.empty()) {
        if (!meridiem.empty()) return false;
        meridiem = rest;
    }
    if (!meridiem.empty()) {
        bool pm;
        if (equalsNoCase(meridiem, "AM"))
            pm = false;
        else if (equalsNoCase(meridiem, "PM"))
            pm = true;
        else
            return false;
        if (h < 1 || h > 12) return false;
        h = (h % 12) + (pm ? 12 : 0);
    }
    if (h > 23 || m > 59 || sec > 59) return false;
    p.hour = h;
    p.minute = m;
    p.second = sec;
    return true;
}

}  // namespace

bool ValueText::parseNumber(std::string_view text, Datum& out) {
    std::string_view s = trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string intDigits, fracDigits;
    while (i < s.size() && isDigit(s[i]))
        intDigits += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            fracDigits += s[i++];
    }
    if (intDigits.empty() && fracDigits.empty()) return false;
    bool exponent = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k >= s.size() || !isDigit(s[k])) return false;
        while (k < s.size() && isDigit(s[k]))
            ++k;
        i = k;
        exponent = true;
    }
    if (i != s.size()) return false;
    const std::string all(s);
    double v = std::strtod(all.c_str(), nullptr);
    if (!std::isfinite(v)) return false;
    std::string exact;
    if (!exponent) {
        size_t lead = intDigits.find_first_not_of('0');
        intDigits = lead == std::string::npos ? "0" : intDigits.substr(lead);
        while (!fracDigits.empty() && fracDigits.back() == '0')
            fracDigits.pop_back();
        exact = intDigits;
        if (!fracDigits.empty()) exact += "." + fracDigits;
        if (negative && exact != "0") exact = "-" + exact;
    }
    out = Datum::num(v, exact);
    return true;
}

bool ValueText::parseDate(std::string_view text, double& days) {
    std::string_view s = trim(text);
    if (s.empty() || s.size() > 40) return false;
    // Up to three blank-separated words; an ISO 'T' between date and time counts as a blank.
    std::string_view words[4];
    int n = 0;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ')
            ++i;
        if (i >= s.size()) break;
        size_t j = i;
        while (j < s.size() && s[j] != ' ')
            ++j;
        if (n == 3) return false;
        words[n++] = s.substr(i, j - i);
        i = j;
    }
    if (n == 1) {
        size_t t = words[0].find('T');
        if (t != std::string_view::npos && t > 0 && isDigit(words[0][t - 1])) {
            words[1] = words[0].substr(t + 1);
            words[0] = words[0].substr(0, t);
            n = 2;
        }
    }
    DateTime::Parts p;
    int w = 0;
    bool haveDate = false;
    if (words[0].find(':') == std::string_view::npos) {
        if (!parseDayPart(words[0], p)) return false;
        haveDate = true;
        w = 1;
    }
    if (w < n) {
        std::string_view meridiem = w + 1 < n ? words[w + 1] : std::string_view();
        if (w + 2 < n) return false;
        if (!parseTimePart(words[w], meridiem, p)) return false;
    } else if (!haveDate) {
        return false;
    }
    days = DateTime::fromParts(p).days;
    return std::isfinite(days);
}

std::string ValueText::numberText(const Datum& d) {
    if (!d.text.empty()) return d.text;
    if (d.number == std::floor(d.number) && std::fabs(d.number) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", d.number);
        return buf;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", d.number);
    return buf;
}

std::string ValueText::dateText(double days) {
    DateTime::Parts p = DateTime{days}.toParts();
    char buf[48];
    if (p.hour == 0 && p.minute == 0 && p.second == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                      p.hour, p.minute, p.second);
    return buf;
}

double ValueText::chronological(double days) {
    if (days >= 0) return days;
    double whole = std::trunc(days);
    return whole + std::fabs(days - whole);
}

}  // namespace jet::sql
