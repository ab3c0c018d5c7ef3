#include "sql/Lexer.h"

namespace jet::sql {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

bool Lexer::isWordChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' || c == '@' ||
           c == '$' || c == ':' || u >= 0x80;
}

std::vector<Token> Lexer::tokenize(std::string_view s) {
    std::vector<Token> out;
    size_t i = 0;
    auto bad = [&](size_t at, const char* why) {
        out.push_back(Token{TokenKind::Bad, why, at, s.size()});
        out.push_back(Token{TokenKind::End, {}, s.size(), s.size()});
        return out;
    };
    while (true) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        if (i >= s.size()) break;
        const size_t start = i;
        const char c = s[i];
        if (c == '\'' || c == '"') {
            std::string text;
            ++i;
            bool closed = false;
            while (i < s.size()) {
                if (s[i] == c) {
                    if (i + 1 < s.size() && s[i + 1] == c) {
                        text += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                text += s[i++];
            }
            if (!closed) return bad(start, "string");
            out.push_back(Token{TokenKind::Text, std::move(text), start, i});
            continue;
        }
        if (c == '[' || c == '`') {
            std::string name;
            const size_t end = readQuotedName(s, i, &name);
            if (end == std::string_view::npos) return bad(start, "name");
            out.push_back(Token{TokenKind::Name, std::move(name), start, end});
            i = end;
            continue;
        }
        if (c == '#') {
            size_t e = s.find('#', i + 1);
            if (e == std::string_view::npos) return bad(start, "date");
            out.push_back(
                Token{TokenKind::Date, std::string(s.substr(i + 1, e - i - 1)), start, e + 1});
            i = e + 1;
            continue;
        }
        if (isDigit(c) || (c == '.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
            size_t j = i;
            while (j < s.size() && isDigit(s[j]))
                ++j;
            if (j < s.size() && s[j] == '.') {
                ++j;
                while (j < s.size() && isDigit(s[j]))
                    ++j;
            }
            if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                size_t k = j + 1;
                if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < s.size() && isDigit(s[k])) {
                    while (k < s.size() && isDigit(s[k]))
                        ++k;
                    j = k;
                }
            }
            // A name may begin with digits ("2ndName"); a number is followed by no letter.
            if (j < s.size() && isWordChar(s[j]) && s[start] != '.' &&
                s.substr(start, j - start).find('.') == std::string_view::npos) {
                while (j < s.size() && isWordChar(s[j]))
                    ++j;
                out.push_back(
                    Token{TokenKind::Word, std::string(s.substr(start, j - start)), start, j});
            } else {
                out.push_back(
                    Token{TokenKind::Number, std::string(s.substr(start, j - start)), start, j});
            }
            i = j;
            continue;
        }
        if (isWordChar(c)) {
            size_t j = i;
            while (j < s.size() && isWordChar(s[j]))
                ++j;
            out.push_back(Token{TokenKind::Word, std::string(s.substr(i, j - i)), start, j});
            i = j;
            continue;
        }
        static const char* const kTwo[] = {"<>", "<=", ">="};
        bool two = false;
        for (const char* t : kTwo)
            if (s.substr(i, 2) == t) {
                out.push_back(Token{TokenKind::Symbol, t, start, i + 2});
                i += 2;
                two = true;
                break;
            }
        if (two) continue;
        static const std::string_view kOne = "(),;=<>+-*/\\&^.!";
        if (kOne.find(c) != std::string_view::npos) {
            out.push_back(Token{TokenKind::Symbol, std::string(1, c), start, i + 1});
            ++i;
            continue;
        }
        return bad(start, "character");
    }
    out.push_back(Token{TokenKind::End, {}, s.size(), s.size()});
    return out;
}

size_t Lexer::readQuotedName(std::string_view s, size_t open, std::string* text) {
    const char close = s[open] == '[' ? ']' : '`';
    text->clear();
    size_t i = open + 1;
    while (true) {
        const size_t e = s.find(close, i);
        if (e == std::string_view::npos) return std::string_view::npos;
        text->append(s.substr(i, e - i));
        if (e + 1 < s.size() && s[e + 1] == close) {
            *text += close;
            i = e + 2;
            continue;
        }
        return e + 1;
    }
}

}  // namespace jet::sql
