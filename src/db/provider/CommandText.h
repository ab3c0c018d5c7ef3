#pragma once

#include <string>
#include <string_view>

namespace tessor::provider {

// The one query a recordset opens: "Select * From <table>". Keywords ignore case; blanks may be
// any run; the name is bare, or in [brackets] or `backquotes` when it holds blanks; a final ";"
// is allowed.
class CommandText {
public:
    // The table's name; ProviderError (syntax error) for other text.
    static std::string tableOfSelectAll(std::string_view text);
};

}  // namespace tessor::provider
