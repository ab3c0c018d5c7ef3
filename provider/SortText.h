#pragma once

#include <string_view>
#include <vector>

#include "provider/ColumnInfo.h"

namespace tessor::provider {

// A recordset's sort text: keys separated by commas, each a field name followed by an optional
// ASC (the default) or DESC, e.g. "Name ASC, [Order Date] DESC". A name may be put in
// brackets, where "]]" stands for a "]" of the name; a bare name may also hold blanks as long
// as it names a field.
class SortText {
public:
    struct Key {
        size_t column = 0;
        bool descending = false;
    };

    // Blank text gives no keys (no sort). Throws ProviderError for a name that is not a field
    // and for malformed text.
    static std::vector<Key> parse(std::string_view text, const std::vector<ColumnInfo>& columns);
};

}  // namespace tessor::provider
