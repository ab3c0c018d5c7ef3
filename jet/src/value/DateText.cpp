// Dates and times read from text, as people write them.
#include <cmath>
#include <string_view>

#include "jet/Text.h"
#include "jet/Value.h"
#include "value/TextScan.h"

namespace jet {

namespace {

using textscan::isDigit;

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
    return true;  // the calendar's own check (fromValidParts) follows
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
        if (CaseFold::equal(meridiem, "AM"))
            pm = false;
        else if (CaseFold::equal(meridiem, "PM"))
            pm = true;
        else
            return false;
        if (h < 1 || h > 12) return false;
        h = (h % 12) + (pm ? 12 : 0);
    }
    p.hour = h;
    p.minute = m;
    p.second = sec;
    return true;
}

}  // namespace

bool DateTime::parse(std::string_view text, DateTime& out) {
    std::string_view s = textscan::trimBlanks(text);
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
    return DateTime::fromValidParts(p, out) && std::isfinite(out.days);
}

}  // namespace jet
