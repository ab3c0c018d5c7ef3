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
    // "Select * From [table]": the name in brackets so that blanks are part of it; a name holding
    // "]" (which the engine does not allow in names) goes in backquotes instead.
    static std::string selectAll(std::string_view table);
};

}  // namespace tessor::provider
