#pragma once

#include <string>
#include <string_view>

#include "sql/Datum.h"

namespace jet::sql {

// Numbers and dates written as text: in literals (#2020-01-31#, 1.5e3) and in text values
// stored into number and date fields.
class ValueText {
public:
    // A plain decimal number: optional sign, digits, optional fraction, optional exponent;
    // blanks around it are allowed. Fills a Number datum (with its exact text when there is
    // no exponent).
    static bool parseNumber(std::string_view text, Datum& out);
    // yyyy-mm-dd, yyyy/mm/dd, m/d/yyyy or m/d/yy, optionally followed by a time h:mm[:ss]
    // with optional AM/PM; or a time alone (on 1899-12-30). Days as Jet stores them.
    static bool parseDate(std::string_view text, double& days);
    // The text of a number: its exact form when it has one, else up to 15 significant digits.
    static std::string numberText(const Datum& number);
    // yyyy-mm-dd, with " hh:mm:ss" when the time is not midnight.
    static std::string dateText(double days);
    // Days as a count that grows with time (stored negative days count their fraction forward).
    static double chronological(double days);
};

}  // namespace jet::sql
