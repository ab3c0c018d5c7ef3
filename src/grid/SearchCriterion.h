#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace grid {

// The criterion the find dialog hands to the recordset's Find for one field, by the field's
// provider type code. Text fields: equality with the whole field, or else the find text
// anywhere in the field; number fields: equality. Other kinds (currency, dates, yes/no, binary
// and the rest) are not searched: none.
//
// The field name goes in brackets and a quote in the find text is doubled, so that a name with
// blanks or a text with an apostrophe is searched as typed; in the "anywhere" form the find
// text's own *, ?, # and [ stand for themselves, not for wildcards.
class SearchCriterion {
public:
    static std::optional<std::string> make(std::string_view field, int typeCode,
                                           std::string_view findText, bool matchWhole);
};

}  // namespace grid
