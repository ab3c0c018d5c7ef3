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
    DateTime d;
    if (!DateTime::parse(text, d)) return false;
    days = d.days;
    return true;
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
    return DateTime{days}.chronological();
}

}  // namespace jet::sql
