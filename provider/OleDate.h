#pragma once

#include <string_view>

namespace tessor::provider {

// Calendar date and time of day, to the second.
struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Automation dates: whole days since 1899-12-30, the fraction the time of day. Before the
// epoch the whole part is negative but the fraction still counts forward from midnight, so
// -1.25 is 1899-12-29 06:00 and the number line is not monotonic there.
class OleDate {
public:
    // Years 100 to 9999, as the database accepts them.
    static constexpr double kMin = -657434.0;
    static constexpr double kMax = 2958465.99999;

    // Rounds to the nearest second. False for NaN, infinities and values outside the range.
    static bool toParts(double value, DateTimeParts& out);
    // False when a part is out of its range (month 13, 30 February, hour 24...).
    static bool fromParts(const DateTimeParts& parts, double& out);
    // Reads "Y/M/D", "Y-M-D" or "M/D/Y" (year of four digits), each optionally followed by a
    // blank and "H:M" or "H:M:S"; also a bare time (which falls on 1899-12-30). Blanks around
    // the text do not count. False for anything else.
    static bool parse(std::string_view text, double& out);
    // A number that orders dates the way the calendar does (continuous across the epoch).
    static double chronological(double value);
};

}  // namespace tessor::provider
