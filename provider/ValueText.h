#pragma once

#include <string>
#include <string_view>

#include "provider/ColumnInfo.h"
#include "provider/Variant.h"

namespace tessor::provider {

// The engine's one text form of values (jet::ValueText, where the forms are listed), for the
// provider's variants: what the clipboard, the find dialog and the picture pane show, and how
// typed or pasted text becomes a field's value.
class ValueText {
public:
    static std::string toText(const Variant& value);

    // Text typed or pasted into a field of the given kind, as the value the field stores; blank
    // text is null for every kind but text and memo. ProviderError (type mismatch) with a
    // sentence naming the field for text that does not fit.
    static Variant fromText(std::string_view text, const ColumnInfo& field);

    // A value of any kind as the field stores it: text as fromText reads it, other kinds
    // converted directly (numbers between number kinds, days between dates and numbers), never
    // through their text. ProviderError (type mismatch) for a value the field cannot hold.
    static Variant fromValue(const Variant& value, const ColumnInfo& field);

    // Two upper-case hex digits per byte, as binary values show.
    static std::string formatBytes(const Bytes& b);
};

}  // namespace tessor::provider
