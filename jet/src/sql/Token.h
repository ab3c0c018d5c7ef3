#pragma once

#include <cstddef>
#include <string>

namespace jet::sql {

enum class TokenKind {
    End,     // after the last token
    Word,    // a plain word: keyword or name, as written
    Name,    // a name in [brackets] or `backquotes`, without them
    Text,    // a 'quoted' or "quoted" literal, quotes undoubled
    Number,  // digits, optional fraction and exponent, as written
    Date,    // the text between # signs
    Symbol,  // ( ) , ; = <> < <= > >= + - * / \ & ^ . !
    Bad,     // text the lexer could not read; `text` says why
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    size_t pos = 0;  // byte offset of the token in the statement
    size_t end = 0;  // byte offset just past it

    bool isSymbol(const char* s) const { return kind == TokenKind::Symbol && text == s; }
};

}  // namespace jet::sql
