#include "sql/ExprText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/Value.h"
#include "value/TextScan.h"

namespace jet::sql {

using textscan::isDigit;

bool ExprText::parseNumber(std::string_view text, Datum& out) {
    std::string_view s = textscan::trimBlanks(text);
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

std::string ExprText::numberText(const Datum& d) {
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

std::string ExprText::dateText(double days) {
    DateTime::Parts p = DateTime{days}.toParts();
    char buf[48];
    if (p.hour == 0 && p.minute == 0 && p.second == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                      p.hour, p.minute, p.second);
    return buf;
}

}  // namespace jet::sql
