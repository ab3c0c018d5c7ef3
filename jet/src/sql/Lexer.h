#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sql/Token.h"

namespace jet::sql {

// Splits a statement into tokens. Never throws: text it cannot read becomes one Bad token
// (with the reason) followed by End, so the parser can report it in the statement's terms.
class Lexer {
public:
    static std::vector<Token> tokenize(std::string_view text);
    // Characters a plain (unbracketed) name may hold. Bytes of multi-byte UTF-8 characters count
    // as letters.
    static bool isWordChar(char c);
    // Reads a text in brackets or backquotes that opens at s[open]: the closing character
    // written twice stands for itself ([a]]b] is a]b). The position after the closing
    // character, or npos when it never closes.
    static size_t readQuotedName(std::string_view s, size_t open, std::string* text);
};

}  // namespace jet::sql
