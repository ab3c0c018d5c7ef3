#pragma once

#include <string>
#include <string_view>

#include "sql/Datum.h"

namespace jet::sql {

// The text forms a statement has of its own, beside the value-as-text rule (jet::ValueText):
// the number literals it reads, and the text a number or a date turns into inside an
// expression ('n' & 5, a number stored into a text field). Dates in literals are read by
// DateTime::parse, the calendar's one reader.
class ExprText {
public:
    // A number literal: optional sign, digits, optional fraction, optional exponent; blanks
    // around it are allowed. Fills a Number datum (with its exact text when there is no
    // exponent). Stricter than the value-as-text reader on purpose: "inf", "nan" and hex
    // floats are not numbers in a statement.
    static bool parseNumber(std::string_view text, Datum& out);
    // The text of a number: its exact form when it has one, else up to 15 significant digits.
    // Not the value-as-text rule's shortest round trip: a statement works out its arithmetic
    // in doubles, and 15 digits hide the noise that leaves (0.1 + 0.2 gives "0.3", not
    // "0.30000000000000004") in texts that statements have always stored.
    static std::string numberText(const Datum& number);
    // yyyy-mm-dd, with " hh:mm:ss" when the time is not midnight. The value-as-text rule
    // writes "yyyy/mm/dd hh:mm:ss" always; a statement keeps the form its date literals
    // (#2020-01-31#) and its messages are written in, and the texts it has stored that way.
    static std::string dateText(double days);
};

}  // namespace jet::sql
