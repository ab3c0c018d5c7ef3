#pragma once

#include <string>
#include <string_view>

#include "provider/ColumnInfo.h"
#include "provider/Variant.h"

namespace tessor::provider {

// The one rule by which the clipboard, the find dialog and the preview pane turn a field value
// into text. Every form below reads back as the same value:
//   null, empty, and the zero date (0.0)  -> ""
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
    static std::string toText(const Variant& value);

    // The other way: text typed or pasted into a field of the given kind, as the value the
    // field stores. Reads every form toText writes, and also: yes/no as "Yes"/"No"/"On"/"Off"/
    // any number (non-zero is yes); whole numbers from any number, rounded half to even;
    // currency and decimals rounded to their places; dates as the engine reads them;
    // GUIDs with or without braces. Blank text gives null for every kind but text and memo,
    // which keep the text as it is. Throws ProviderError (type mismatch) with a message naming
    // the field for text that does not fit: not a number, out of range, too long for the field.
    static Variant fromText(std::string_view text, const ColumnInfo& field);

    static std::string formatDate(double days);
    static std::string formatCurrency(int64_t scaled);
    static std::string formatDouble(double v);
    static std::string formatSingle(float v);
    static std::string formatDecimal(const Decimal& d);
    static std::string formatGuid(const Guid& g);
    static std::string formatBytes(const Bytes& b);
};

}  // namespace tessor::provider
