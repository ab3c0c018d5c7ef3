#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Value.h"

namespace jet {

// What a value is turned into when it goes into a field: the field's kind and limits.
struct FieldShape {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint32_t maxChars = 0;   // a text field's size in characters; 0 for no limit
    uint8_t precision = 0;   // a decimal's digits (0: 18)
    uint8_t scale = 0;       // a decimal's digits after the point
};

// The one rule by which values become text, for the editor's clipboard, its find dialog and its
// picture pane, and by which typed or pasted text becomes a field's value. Every form below
// reads back as the same value:
//   null, and the zero date (0.0)  -> ""
//   date/time   -> "%Y/%m/%d %H:%M:%S" (dates before 1899-12-30 too); a value outside the
//                  years 100..9999 that no calendar date can show -> its day number as a double
//   text        -> unchanged
//   yes/no      -> "True" / "False"
//   byte, integer, long -> decimal digits, "-" when negative
//   currency    -> plain decimal, up to four decimals, no trailing zeros, no thousands
//                  separators ("1234.5", "-0.0001", "7")
//   single, double -> shortest text that reads back to the same number ("0.1", "1e+20",
//                  "inf", "nan")
//   decimal     -> plain decimal with exactly its scale's digits after the point ("12.50")
//   GUID        -> "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex
//   binary, OLE -> two upper-case hex digits per byte, no separators
class ValueText {
public:
    static std::string toText(const Value& value);

    // The other way: text typed or pasted into a field, as the value the field stores. Reads
    // every form toText writes, and also: yes/no as "Yes"/"No"/"On"/"Off"/any number (non-zero
    // is yes); whole numbers from any number, rounded half to even; currency and decimals
    // rounded to their places; dates as DateTime::parse reads them; GUIDs with or without
    // braces. Blank text gives null for every kind but text and memo, which keep the text as it
    // is. Throws Error (kTypeMismatch) with a sentence naming the field for text that does not
    // fit: not a number, out of range, too long for the field.
    static Value fromText(std::string_view text, const FieldShape& field);

    // A value of any kind as the field stores it, without a detour through text where the kinds
    // meet: the field's own kind as it is (text within the field's size), numbers between the
    // number kinds (whole numbers rounded half to even, refused out of range), days between
    // dates and numbers. Text goes through fromText; other kinds that do not meet the field's
    // are refused (kTypeMismatch).
    static Value fromValue(const Value& value, const FieldShape& field);

    // The pieces of the rule that other readers share (SQL's conversion into fields):
    // A whole number for a byte, integer or long field, rounded half to even; false when it
    // lies outside the field's range (or is not finite).
    static bool wholeNumber(double v, ColumnType type, Value& out);
    // Plain decimal text (sign, digits, optional point; no exponent) rounded half to even to
    // `places` digits after the point, as a magnitude scaled by 10^places; false when the text
    // is not such a number or the magnitude passes 128 bits.
    static bool scaledDecimal(std::string_view text, unsigned places, bool& negative,
                              unsigned __int128& magnitude);
    // The number a value of a number kind stands for: yes/no as -1/0, currency in units, a
    // decimal as near as a double gets. False for other kinds (dates too) and null.
    static bool numberOf(const Value& value, double& out);
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with or without the braces, any case.
    static bool parseGuid(std::string_view text, Guid& out);

    static std::string formatDate(double days);
    static std::string formatCurrency(int64_t scaled);
    static std::string formatDouble(double v);
    static std::string formatSingle(float v);
    static std::string formatDecimal(const Decimal& d);
    static std::string formatGuid(const Guid& g);
    static std::string formatBytes(std::span<const uint8_t> b);
};

}  // namespace jet
