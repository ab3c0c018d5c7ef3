#include "provider/CommandText.h"

#include "provider/Blanks.h"
#include "provider/ProviderError.h"
#include "jet/Text.h"

namespace tessor::provider {

namespace {

void skipBlanks(std::string_view s, size_t& pos) {
    while (pos < s.size() && isBlank(s[pos]))
        ++pos;
}

// The keyword at pos, followed by a blank (or, for "*", by anything).
bool keyword(std::string_view s, size_t& pos, std::string_view word) {
    if (pos + word.size() > s.size() || !jet::CaseFold::equal(s.substr(pos, word.size()), word))
        return false;
    if (word != "*" && (pos + word.size() >= s.size() || !isBlank(s[pos + word.size()])))
        return false;
    pos += word.size();
    return true;
}

[[noreturn]] void syntax(std::string_view text, const std::string& why) {
    throw ProviderError(hr::kSyntaxError,
                        "Syntax error in the command \"" + std::string(text) + "\": " + why);
}

}  // namespace

std::string CommandText::tableOfSelectAll(std::string_view text) {
    size_t pos = 0;
    skipBlanks(text, pos);
    if (!keyword(text, pos, "select")) syntax(text, "only \"Select * From table\" is understood.");
    skipBlanks(text, pos);
    if (!keyword(text, pos, "*")) syntax(text, "only \"Select * From table\" is understood.");
    skipBlanks(text, pos);
    if (!keyword(text, pos, "from")) syntax(text, "FROM is missing.");
    skipBlanks(text, pos);
    std::string_view rest = text.substr(pos);
    while (!rest.empty() && isBlank(rest.back()))
        rest.remove_suffix(1);
    if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
    while (!rest.empty() && isBlank(rest.back()))
        rest.remove_suffix(1);
    if (rest.empty()) syntax(text, "the table name is missing.");
    if (rest.front() == '[' || rest.front() == '`') {
        const char close = rest.front() == '[' ? ']' : '`';
        if (rest.size() < 3 || rest.back() != close ||
            rest.substr(1, rest.size() - 2).find(close) != std::string_view::npos)
            syntax(text, "the table name's quoting is not closed.");
        return std::string(rest.substr(1, rest.size() - 2));
    }
    for (char c : rest)
        if (isBlank(c) || c == '[' || c == ']' || c == '`' || c == ',' || c == ';')
            syntax(text, "a table name with blanks or punctuation must be put in brackets.");
    return std::string(rest);
}

std::string CommandText::selectAll(std::string_view table) {
    const bool bracketed = table.find(']') == std::string_view::npos ||
                           table.find('`') != std::string_view::npos;
    std::string text = "Select * From ";
    text += bracketed ? '[' : '`';
    text += table;
    text += bracketed ? ']' : '`';
    return text;
}

}  // namespace tessor::provider
