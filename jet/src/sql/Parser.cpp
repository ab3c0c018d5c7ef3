#include "sql/Parser.h"

#include <algorithm>
#include <cstring>

#include "jet/Error.h"
#include "jet/Schema.h"
#include "sql/Lexer.h"
#include "sql/ExprText.h"

namespace jet::sql {

namespace {

// Words that stand for themselves in a statement and so cannot be names unless bracketed.
const char* const kReserved[] = {
    "ADD",        "ALL",        "ALTER",  "AND",      "AS",     "ASC",   "BETWEEN",  "BY",
    "COLUMN",     "CONSTRAINT", "CREATE", "DATABASE", "DELETE", "DESC",  "DISTINCT", "DROP",
    "EXISTS",     "FOREIGN",    "FROM",   "GROUP",    "HAVING", "IN",    "INDEX",    "INNER",
    "INSERT",     "INTO",       "IS",     "JOIN",     "KEY",    "LEFT",  "LIKE",     "MOD",
    "NOT",        "NULL",       "ON",     "OR",       "ORDER",  "OUTER", "PRIMARY",  "PROCEDURE",
    "REFERENCES", "RIGHT",      "SELECT", "SET",      "TABLE",  "TOP",   "UNION",    "UNIQUE",
    "UPDATE",     "VALUES",     "WHERE",  "WITH",     "XOR",    "TRUE",  "FALSE",
};

// Upper-case ASCII form of a word, for keyword tests.
std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return u;
}

bool isReserved(std::string_view word) {
    const std::string u = upper(word);
    for (const char* r : kReserved)
        if (u == r) return true;
    return false;
}

// At most `max` bytes of s, cut at a character boundary.
std::string excerpt(std::string_view s, size_t max = 40) {
    if (s.size() <= max) return std::string(s);
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return std::string(s.substr(0, n)) + "...";
}

size_t characters(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

[[noreturn]] void refuse(const std::string& sentence) {
    throw Error(hr::kInvalidArg, sentence);
}

struct TypeWord {
    const char* word;
    ColumnType type;
    enum Size { None, Length, Numeric, Counter } size;
    bool autoNumber;
};

const TypeWord kTypes[] = {
    {"TEXT", ColumnType::Text, TypeWord::Length, false},
    {"VARCHAR", ColumnType::Text, TypeWord::Length, false},
    {"CHAR", ColumnType::Text, TypeWord::Length, false},
    {"CHARACTER", ColumnType::Text, TypeWord::Length, false},
    {"STRING", ColumnType::Text, TypeWord::Length, false},
    {"ALPHANUMERIC", ColumnType::Text, TypeWord::Length, false},
    {"NCHAR", ColumnType::Text, TypeWord::Length, false},
    {"NVARCHAR", ColumnType::Text, TypeWord::Length, false},
    {"MEMO", ColumnType::Memo, TypeWord::None, false},
    {"LONGTEXT", ColumnType::Memo, TypeWord::None, false},
    {"LONGCHAR", ColumnType::Memo, TypeWord::None, false},
    {"NOTE", ColumnType::Memo, TypeWord::None, false},
    {"NTEXT", ColumnType::Memo, TypeWord::None, false},
    {"BIT", ColumnType::Bool, TypeWord::None, false},
    {"YESNO", ColumnType::Bool, TypeWord::None, false},
    {"LOGICAL", ColumnType::Bool, TypeWord::None, false},
    {"LOGICAL1", ColumnType::Bool, TypeWord::None, false},
    {"BOOLEAN", ColumnType::Bool, TypeWord::None, false},
    {"BYTE", ColumnType::Byte, TypeWord::None, false},
    {"TINYINT", ColumnType::Byte, TypeWord::None, false},
    {"INTEGER1", ColumnType::Byte, TypeWord::None, false},
    {"SHORT", ColumnType::Int, TypeWord::None, false},
    {"SMALLINT", ColumnType::Int, TypeWord::None, false},
    {"INTEGER2", ColumnType::Int, TypeWord::None, false},
    {"LONG", ColumnType::Long, TypeWord::None, false},
    {"INT", ColumnType::Long, TypeWord::None, false},
    {"INTEGER", ColumnType::Long, TypeWord::None, false},
    {"INTEGER4", ColumnType::Long, TypeWord::None, false},
    {"SINGLE", ColumnType::Float, TypeWord::None, false},
    {"REAL", ColumnType::Float, TypeWord::None, false},
    {"FLOAT4", ColumnType::Float, TypeWord::None, false},
    {"IEEESINGLE", ColumnType::Float, TypeWord::None, false},
    {"DOUBLE", ColumnType::Double, TypeWord::None, false},
    {"FLOAT", ColumnType::Double, TypeWord::None, false},
    {"FLOAT8", ColumnType::Double, TypeWord::None, false},
    {"IEEEDOUBLE", ColumnType::Double, TypeWord::None, false},
    {"NUMBER", ColumnType::Double, TypeWord::None, false},
    {"CURRENCY", ColumnType::Money, TypeWord::None, false},
    {"MONEY", ColumnType::Money, TypeWord::None, false},
    {"DATETIME", ColumnType::DateTime, TypeWord::None, false},
    {"DATE", ColumnType::DateTime, TypeWord::None, false},
    {"TIME", ColumnType::DateTime, TypeWord::None, false},
    {"TIMESTAMP", ColumnType::DateTime, TypeWord::None, false},
    {"IMAGE", ColumnType::Ole, TypeWord::None, false},
    {"OLEOBJECT", ColumnType::Ole, TypeWord::None, false},
    {"LONGBINARY", ColumnType::Ole, TypeWord::None, false},
    {"GENERAL", ColumnType::Ole, TypeWord::None, false},
    {"BINARY", ColumnType::Binary, TypeWord::Length, false},
    {"VARBINARY", ColumnType::Binary, TypeWord::Length, false},
    {"GUID", ColumnType::Guid, TypeWord::None, false},
    {"UNIQUEIDENTIFIER", ColumnType::Guid, TypeWord::None, false},
    {"COUNTER", ColumnType::Long, TypeWord::Counter, true},
    {"AUTOINCREMENT", ColumnType::Long, TypeWord::Counter, true},
    {"DECIMAL", ColumnType::Numeric, TypeWord::Numeric, false},
    {"NUMERIC", ColumnType::Numeric, TypeWord::Numeric, false},
    {"DEC", ColumnType::Numeric, TypeWord::Numeric, false},
};

// Keeps the parser's own recursion bounded whatever the input.
class DepthGuard {
public:
    DepthGuard(int& depth, int max) : m_depth(depth) {
        if (++m_depth > max) refuse("Query is too complex.");
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

constexpr int kMaxTreeDepth = 400;

}  // namespace

Parser::Parser(std::string_view text) : m_text(text), m_tokens(Lexer::tokenize(text)) {}

Statement Parser::parse(std::string_view text) {
    Parser p(text);
    return p.statement();
}

ExprPtr Parser::parseExpression(std::string_view text) {
    Parser p(text);
    p.m_what = "query expression '" + excerpt(text, 60) + "'";
    ExprPtr e = p.expression();
    if (p.peek().kind != TokenKind::End) p.syntax();
    return e;
}

void Parser::checkNewName(const std::string& name) {
    bool ok = !name.empty() && characters(name) <= kMaxNameLength && name.front() != ' ';
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' ||
            c == ']')
            ok = false;
    if (name.find_first_not_of(' ') == std::string::npos) ok = false;
    if (!ok)
        refuse("'" + excerpt(name, 80) +
               "' is not a valid name. Make sure that it does not include invalid characters or "
               "punctuation and that it is not too long.");
}

// ---------------------------------------------------------------- tokens

const Token& Parser::peek(size_t ahead) const {
    size_t i = std::min(m_at + ahead, m_tokens.size() - 1);
    return m_tokens[i];
}

const Token& Parser::next() {
    const Token& t = m_tokens[m_at];
    if (m_at + 1 < m_tokens.size()) ++m_at;
    return t;
}

bool Parser::atWord(const char* keyword, size_t ahead) const {
    const Token& t = peek(ahead);
    return t.kind == TokenKind::Word && upper(t.text) == keyword;
}

bool Parser::acceptWord(const char* keyword) {
    if (!atWord(keyword)) return false;
    next();
    return true;
}

void Parser::expectWord(const char* keyword) {
    if (!acceptWord(keyword)) syntax();
}

bool Parser::acceptSymbol(const char* symbol) {
    if (peek().kind == TokenKind::Bad) syntax();
    if (!peek().isSymbol(symbol)) return false;
    next();
    return true;
}

void Parser::expectSymbol(const char* symbol) {
    if (!acceptSymbol(symbol)) syntax();
}

bool Parser::atName() const {
    const Token& t = peek();
    return (t.kind == TokenKind::Word && !isReserved(t.text)) ||
           (t.kind == TokenKind::Name && !t.text.empty());
}

std::string Parser::name() {
    if (!atName()) syntax();
    return next().text;
}

std::string Parser::newName() {
    std::string n = name();
    checkNewName(n);
    return n;
}

long Parser::number(long lo, long hi) {
    const Token& t = peek();
    if (t.kind != TokenKind::Number || t.text.size() > 9 ||
        t.text.find_first_not_of("0123456789") != std::string::npos)
        syntax();
    long v = std::stol(t.text);
    if (v < lo || v > hi) syntax();
    next();
    return v;
}

void Parser::finish() {
    if (acceptSymbol(";") && peek().kind != TokenKind::End)
        refuse("Characters found after end of SQL statement.");
    if (peek().kind != TokenKind::End) syntax();
}

void Parser::syntax() const {
    syntaxAt(peek());
}

void Parser::syntaxAt(const Token& t) const {
    const std::string what = m_what.empty() ? std::string("SQL statement") : m_what;
    switch (t.kind) {
        case TokenKind::End:
            refuse("Syntax error in " + what + ".");
        case TokenKind::Bad: {
            const std::string near = excerpt(m_text.substr(t.pos));
            if (t.text == "string")
                refuse("Syntax error in string in " + what + " near '" + near +
                       "': the text has no closing quote.");
            if (t.text == "name")
                refuse("Syntax error in " + what + " near '" + near +
                       "': the name has no closing bracket.");
            if (t.text == "date")
                refuse("Syntax error in date in " + what + " near '" + near +
                       "': the date has no closing #.");
            refuse("Syntax error in " + what + " near '" + near + "'.");
        }
        default:
            refuse("Syntax error in " + what + " near '" +
                   excerpt(m_text.substr(t.pos, t.end - t.pos)) + "'.");
    }
}

// ---------------------------------------------------------------- statements

Statement Parser::statement() {
    const std::string first = peek().kind == TokenKind::Word ? upper(peek().text) : "";
    if (first == "SELECT") return select();
    if (first == "INSERT") return insert();
    if (first == "UPDATE") return update();
    if (first == "DELETE") return remove();
    if (first == "CREATE") return create();
    if (first == "ALTER") return alter();
    if (first == "DROP") return drop();
    refuse(
        "Invalid SQL statement; expected 'ALTER', 'CREATE', 'DELETE', 'DROP', 'INSERT', "
        "'SELECT', or 'UPDATE'.");
}

SelectStatement Parser::select() {
    m_what = "SELECT statement";
    SelectStatement s;
    expectWord("SELECT");
    if (acceptWord("DISTINCT"))
        s.distinct = true;
    else if (!acceptWord("DISTINCTROW"))  // one table: every row is distinct already
        acceptWord("ALL");
    if (acceptWord("TOP")) {
        s.top = number(1, 2147483647);
        if (acceptWord("PERCENT")) {
            s.topPercent = true;
            if (s.top > 100) syntaxAt(m_tokens[m_at - 2]);
        }
    }
    std::vector<std::string> qualifiers;
    if (acceptSymbol("*")) {
        s.allColumns = true;
    } else {
        do {
            if ((peek().kind == TokenKind::Word || peek().kind == TokenKind::Name) &&
                (peek(1).isSymbol(".") || peek(1).isSymbol("!")) && peek(2).isSymbol("*")) {
                qualifiers.push_back(name());
                next();
                next();
                s.allColumns = true;
                continue;
            }
            SelectItem item;
            item.expr = expression();
            if (acceptWord("AS")) item.alias = name();
            s.items.push_back(std::move(item));
        } while (acceptSymbol(","));
        if (s.allColumns && !s.items.empty()) syntax();
    }
    expectWord("FROM");
    s.table = name();
    auto checkQualifiers = [&](const Expr& e, auto& self) -> void {
        if (e.kind == Expr::Kind::Column && !e.qualifier.empty()) qualifiers.push_back(e.qualifier);
        for (const auto& a : e.args)
            self(*a, self);
    };
    for (const auto& item : s.items)
        checkQualifiers(*item.expr, checkQualifiers);
    if (acceptWord("WHERE")) s.where = expression();
    if (acceptWord("GROUP")) {
        expectWord("BY");
        do {
            ExprPtr e = expression();
            checkQualifiers(*e, checkQualifiers);
            s.groupBy.push_back(std::move(e));
        } while (acceptSymbol(","));
    }
    if (acceptWord("HAVING")) {
        s.having = expression();
        checkQualifiers(*s.having, checkQualifiers);
    }
    if (acceptWord("ORDER")) {
        expectWord("BY");
        do {
            OrderKey k;
            k.expr = expression();
            checkQualifiers(*k.expr, checkQualifiers);
            if (acceptWord("DESC"))
                k.ascending = false;
            else
                acceptWord("ASC");
            s.orderBy.push_back(std::move(k));
        } while (acceptSymbol(","));
    }
    finish();
    for (const auto& q : qualifiers)
        if (!namesEqual(q, s.table))
            refuse("The SELECT statement names table '" + q +
                   "', which is not in its FROM clause.");
    return s;
}

InsertStatement Parser::insert() {
    m_what = "INSERT INTO statement";
    InsertStatement s;
    expectWord("INSERT");
    expectWord("INTO");
    s.table = name();
    if (acceptSymbol("(")) {
        do {
            s.columns.push_back(name());
        } while (acceptSymbol(","));
        expectSymbol(")");
    }
    expectWord("VALUES");
    expectSymbol("(");
    do {
        s.values.push_back(expression());
    } while (acceptSymbol(","));
    expectSymbol(")");
    finish();
    if (!s.columns.empty() && s.columns.size() != s.values.size())
        refuse("Number of query values and destination fields are not the same.");
    return s;
}

UpdateStatement Parser::update() {
    m_what = "UPDATE statement";
    UpdateStatement s;
    expectWord("UPDATE");
    s.table = name();
    expectWord("SET");
    do {
        Assignment a;
        a.column = name();
        if (acceptSymbol(".") || acceptSymbol("!")) {
            if (!namesEqual(a.column, s.table)) syntax();
            a.column = name();
        }
        expectSymbol("=");
        a.value = expression();
        s.assignments.push_back(std::move(a));
    } while (acceptSymbol(","));
    if (acceptWord("WHERE")) s.where = expression();
    finish();
    return s;
}

DeleteStatement Parser::remove() {
    m_what = "DELETE statement";
    DeleteStatement s;
    expectWord("DELETE");
    std::string star;
    if (acceptSymbol("*")) {
    } else if (atName() && (peek(1).isSymbol(".") || peek(1).isSymbol("!"))) {
        star = name();
        next();
        expectSymbol("*");
    }
    expectWord("FROM");
    s.table = name();
    if (!star.empty() && !namesEqual(star, s.table)) syntax();
    if (acceptWord("WHERE")) s.where = expression();
    finish();
    return s;
}

Statement Parser::create() {
    expectWord("CREATE");
    if (acceptWord("TABLE")) {
        m_what = "CREATE TABLE statement";
        CreateTableStatement s;
        s.table.name = newName();
        if (acceptSymbol("(")) {
            do {
                if (atWord("CONSTRAINT") || atWord("PRIMARY") || atWord("UNIQUE")) {
                    std::string n;
                    if (acceptWord("CONSTRAINT")) n = newName();
                    NewIndex ix = constraint(n);
                    if (ix.columns.empty()) syntax();
                    s.table.indexes.push_back(std::move(ix));
                } else {
                    s.table.columns.push_back(columnDefinition(s.table.indexes));
                }
            } while (acceptSymbol(","));
            expectSymbol(")");
        }
        finish();
        if (std::count_if(s.table.indexes.begin(), s.table.indexes.end(),
                          [](const NewIndex& i) { return i.primary; }) > 1)
            refuse("Primary key already exists.");
        return s;
    }
    m_what = "CREATE INDEX statement";
    CreateIndexStatement s;
    if (acceptWord("UNIQUE")) s.index.unique = true;
    expectWord("INDEX");
    s.index.name = newName();
    expectWord("ON");
    s.table = name();
    s.index.columns = keyColumns(true);
    if (acceptWord("WITH")) indexOptions(s.index);
    finish();
    return s;
}

Statement Parser::alter() {
    expectWord("ALTER");
    if (atWord("DATABASE")) return password();
    m_what = "ALTER TABLE statement";
    expectWord("TABLE");
    const std::string table = name();
    if (acceptWord("ADD")) {
        if (atWord("CONSTRAINT") || atWord("PRIMARY") || atWord("UNIQUE")) {
            CreateIndexStatement s;
            s.table = table;
            std::string n;
            if (acceptWord("CONSTRAINT")) n = newName();
            s.index = constraint(n);
            if (s.index.columns.empty()) syntax();
            finish();
            return s;
        }
        acceptWord("COLUMN");
        AddColumnStatement s;
        s.table = table;
        s.column = columnDefinition(s.indexes);
        finish();
        return s;
    }
    if (acceptWord("DROP")) {
        if (acceptWord("CONSTRAINT")) {
            DropIndexStatement s;
            s.table = table;
            s.index = name();
            finish();
            return s;
        }
        acceptWord("COLUMN");
        DropColumnStatement s;
        s.table = table;
        s.column = name();
        finish();
        return s;
    }
    syntax();
}

Statement Parser::drop() {
    expectWord("DROP");
    if (acceptWord("TABLE")) {
        m_what = "DROP TABLE statement";
        DropTableStatement s;
        s.table = name();
        finish();
        return s;
    }
    m_what = "DROP INDEX statement";
    expectWord("INDEX");
    DropIndexStatement s;
    s.index = name();
    expectWord("ON");
    s.table = name();
    finish();
    return s;
}

// The passwords are taken as written: a bracketed text (]] inside for a ]), or a run of anything
// but blanks, so that a password holding punctuation needs no quoting. NULL stands for no
// password.
PasswordStatement Parser::password() {
    m_what = "ALTER DATABASE statement";
    expectWord("DATABASE");
    if (!atWord("PASSWORD")) syntax();
    std::string_view rest = m_text.substr(peek().end);
    // A final ";" ends the statement, as elsewhere.
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r' ||
                             rest.back() == '\n'))
        rest.remove_suffix(1);
    if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
    std::vector<std::string> words;
    std::vector<bool> bracketed;
    size_t i = 0;
    while (true) {
        while (i < rest.size() &&
               (rest[i] == ' ' || rest[i] == '\t' || rest[i] == '\r' || rest[i] == '\n'))
            ++i;
        if (i >= rest.size()) break;
        if (words.size() == 2) {
            if (rest.substr(0, i).find(';') != std::string_view::npos)
                refuse("Characters found after end of SQL statement.");
            refuse("Syntax error in ALTER DATABASE statement near '" + excerpt(rest.substr(i)) +
                   "'.");
        }
        if (rest[i] == '[' || rest[i] == '`') {
            std::string word;
            const size_t end = Lexer::readQuotedName(rest, i, &word);
            if (end == std::string_view::npos)
                refuse("Syntax error in ALTER DATABASE statement near '" + excerpt(rest.substr(i)) +
                       "': the password has no closing bracket.");
            words.push_back(std::move(word));
            bracketed.push_back(true);
            i = end;
            continue;
        }
        size_t j = i;
        while (j < rest.size() && rest[j] != ' ' && rest[j] != '\t' && rest[j] != '\r' &&
               rest[j] != '\n')
            ++j;
        words.emplace_back(rest.substr(i, j - i));
        bracketed.push_back(false);
        i = j;
    }
    // One word cannot say which password it is: the Set Password dialog leaves the new one out
    // when it is empty, and guessing would set the old password as the new one.
    if (words.size() == 1)
        refuse(
            "Syntax error in ALTER DATABASE statement: a password is missing. Give the new "
            "password and then the old one; write NULL for one that is empty (to clear the "
            "password: ALTER DATABASE PASSWORD NULL oldpassword).");
    if (words.empty())
        refuse(
            "Syntax error in ALTER DATABASE statement: the new and the old password are "
            "missing.");
    PasswordStatement s;
    auto value = [&](size_t k) {
        return !bracketed[k] && upper(words[k]) == "NULL" ? std::string() : words[k];
    };
    s.newPassword = value(0);
    s.oldPassword = value(1);
    return s;
}

// ---------------------------------------------------------------- definitions

NewColumn Parser::columnDefinition(std::vector<NewIndex>& indexes) {
    NewColumn c;
    c.name = newName();
    columnType(c);
    while (true) {
        if (acceptWord("NOT")) {
            expectWord("NULL");
            c.required = true;
        } else if (acceptWord("NULL")) {
            c.required = false;
        } else if (atWord("CONSTRAINT") || atWord("PRIMARY") || atWord("UNIQUE")) {
            std::string n;
            if (acceptWord("CONSTRAINT")) n = newName();
            NewIndex ix = constraint(n);
            if (!ix.columns.empty()) syntax();
            ix.columns.push_back({c.name, true});
            if (ix.name.empty()) ix.name = ix.primary ? "PrimaryKey" : c.name;
            indexes.push_back(std::move(ix));
        } else {
            break;
        }
    }
    return c;
}

void Parser::columnType(NewColumn& c) {
    const Token& t = peek();
    if (t.kind != TokenKind::Word) syntax();
    const std::string word = upper(t.text);
    const TypeWord* found = nullptr;
    for (const TypeWord& w : kTypes)
        if (word == w.word) found = &w;
    if (!found) syntax();
    next();
    c.type = found->type;
    c.autoNumber = found->autoNumber;
    if (c.type == ColumnType::Double && word == "DOUBLE") acceptWord("PRECISION");
    switch (found->size) {
        case TypeWord::None:
            break;
        case TypeWord::Length:
            c.length = 255;
            if (acceptSymbol("(")) {
                long n = number(0, 999999999);
                expectSymbol(")");
                if (n < 1) refuse("Size of field '" + c.name + "' is too small.");
                if (n > 255) refuse("Size of field '" + c.name + "' is too long.");
                c.length = static_cast<uint16_t>(n);
            }
            break;
        case TypeWord::Numeric:
            c.precision = 18;
            c.scale = 0;
            if (acceptSymbol("(")) {
                long p = number(0, 999999999);
                long s = 0;
                if (acceptSymbol(",")) s = number(0, 999999999);
                expectSymbol(")");
                if (p < 1 || p > 28)
                    refuse("The precision of field '" + c.name + "' must be from 1 to 28.");
                if (s > p)
                    refuse("The scale of field '" + c.name +
                           "' must not be larger than its precision.");
                c.precision = static_cast<uint8_t>(p);
                c.scale = static_cast<uint8_t>(s);
            }
            break;
        case TypeWord::Counter:
            if (acceptSymbol("(")) {
                long seed = number(0, 999999999);
                long step = 1;
                if (acceptSymbol(",")) step = number(0, 999999999);
                expectSymbol(")");
                if (seed != 1 || step != 1)
                    throw Error(hr::kNotSupported, "AutoNumber field '" + c.name +
                                                       "' must start at 1 and count by 1.");
            }
            break;
    }
}

// After CONSTRAINT name (or none): PRIMARY KEY [(cols)] or UNIQUE [(cols)].
NewIndex Parser::constraint(const std::string& name) {
    NewIndex ix;
    ix.name = name;
    if (acceptWord("PRIMARY")) {
        expectWord("KEY");
        ix.primary = true;
        ix.unique = true;
        ix.required = true;
        if (ix.name.empty()) ix.name = "PrimaryKey";
    } else if (acceptWord("UNIQUE")) {
        ix.unique = true;
    } else if (atWord("FOREIGN") || atWord("REFERENCES")) {
        throw Error(hr::kNotSupported,
                    "Relationships (FOREIGN KEY and REFERENCES constraints) are not supported.");
    } else {
        syntax();
    }
    if (peek().isSymbol("(")) {
        ix.columns = keyColumns(false);
        if (ix.name.empty()) ix.name = ix.columns.front().name;
    }
    return ix;
}

std::vector<NewIndex::Column> Parser::keyColumns(bool allowOrder) {
    std::vector<NewIndex::Column> cols;
    expectSymbol("(");
    do {
        NewIndex::Column c;
        c.name = name();
        if (allowOrder) {
            if (acceptWord("DESC"))
                c.ascending = false;
            else
                acceptWord("ASC");
        }
        cols.push_back(std::move(c));
    } while (acceptSymbol(","));
    expectSymbol(")");
    if (cols.size() > 10) refuse("An index can hold at most 10 fields.");
    return cols;
}

void Parser::indexOptions(NewIndex& index) {
    bool any = false;
    while (true) {
        if (acceptWord("PRIMARY")) {
            index.primary = true;
            index.unique = true;
            index.required = true;
        } else if (acceptWord("DISALLOW")) {
            expectWord("NULL");
            index.required = true;
        } else if (acceptWord("IGNORE")) {
            expectWord("NULL");
            index.ignoreNulls = true;
        } else {
            break;
        }
        any = true;
    }
    if (!any) syntax();
}

// ---------------------------------------------------------------- expressions

ExprPtr Parser::binary(std::string op, ExprPtr left, ExprPtr right) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Kind::Binary;
    e->op = std::move(op);
    e->pos = left->pos;
    e->end = right->end;
    e->depth = 1 + std::max(left->depth, right->depth);
    if (e->depth > kMaxTreeDepth) refuse("Query is too complex.");
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
}

ExprPtr Parser::expression() {
    DepthGuard guard(m_depth, kMaxDepth);
    return orExpr();
}

ExprPtr Parser::orExpr() {
    ExprPtr e = andExpr();
    while (acceptWord("OR"))
        e = binary("OR", std::move(e), andExpr());
    return e;
}

ExprPtr Parser::andExpr() {
    ExprPtr e = notExpr();
    while (acceptWord("AND"))
        e = binary("AND", std::move(e), notExpr());
    return e;
}

ExprPtr Parser::notExpr() {
    if (atWord("NOT")) {
        DepthGuard guard(m_depth, kMaxDepth);
        const size_t pos = next().pos;
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Unary;
        e->op = "NOT";
        e->args.push_back(notExpr());
        e->pos = pos;
        e->end = e->args[0]->end;
        e->depth = e->args[0]->depth + 1;
        return e;
    }
    return comparison();
}

ExprPtr Parser::comparison() {
    ExprPtr e = concat();
    while (true) {
        static const char* const kOps[] = {"=", "<>", "<", "<=", ">", ">="};
        bool done = true;
        for (const char* op : kOps)
            if (acceptSymbol(op)) {
                e = binary(op, std::move(e), concat());
                done = false;
                break;
            }
        if (!done) continue;
        const bool negated =
            atWord("NOT") && (atWord("LIKE", 1) || atWord("BETWEEN", 1) || atWord("IN", 1));
        if (negated) next();
        auto node = std::make_unique<Expr>();
        node->negated = negated;
        node->pos = e->pos;
        if (acceptWord("LIKE")) {
            node->kind = Expr::Kind::Like;
            node->args.push_back(std::move(e));
            node->args.push_back(concat());
        } else if (acceptWord("BETWEEN")) {
            node->kind = Expr::Kind::Between;
            node->args.push_back(std::move(e));
            node->args.push_back(concat());
            expectWord("AND");
            node->args.push_back(concat());
        } else if (acceptWord("IN")) {
            node->kind = Expr::Kind::In;
            node->args.push_back(std::move(e));
            expectSymbol("(");
            do {
                node->args.push_back(concat());
            } while (acceptSymbol(","));
            expectSymbol(")");
        } else if (!negated && acceptWord("IS")) {
            node->kind = Expr::Kind::IsNull;
            node->negated = acceptWord("NOT");
            expectWord("NULL");
            node->args.push_back(std::move(e));
        } else {
            return e;
        }
        int depth = 0;
        for (const auto& a : node->args)
            depth = std::max(depth, a->depth);
        node->depth = depth + 1;
        if (node->depth > kMaxTreeDepth) refuse("Query is too complex.");
        node->end = m_tokens[m_at > 0 ? m_at - 1 : 0].end;
        e = std::move(node);
    }
}

ExprPtr Parser::concat() {
    ExprPtr e = additive();
    while (acceptSymbol("&"))
        e = binary("&", std::move(e), additive());
    return e;
}

ExprPtr Parser::additive() {
    ExprPtr e = modulo();
    while (true) {
        if (acceptSymbol("+"))
            e = binary("+", std::move(e), modulo());
        else if (acceptSymbol("-"))
            e = binary("-", std::move(e), modulo());
        else
            return e;
    }
}

ExprPtr Parser::modulo() {
    ExprPtr e = intDivide();
    while (acceptWord("MOD"))
        e = binary("MOD", std::move(e), intDivide());
    return e;
}

ExprPtr Parser::intDivide() {
    ExprPtr e = multiplicative();
    while (acceptSymbol("\\"))
        e = binary("\\", std::move(e), multiplicative());
    return e;
}

ExprPtr Parser::multiplicative() {
    ExprPtr e = unary();
    while (true) {
        if (acceptSymbol("*"))
            e = binary("*", std::move(e), unary());
        else if (acceptSymbol("/"))
            e = binary("/", std::move(e), unary());
        else
            return e;
    }
}

ExprPtr Parser::unary() {
    if (peek().isSymbol("-") || peek().isSymbol("+")) {
        DepthGuard guard(m_depth, kMaxDepth);
        const Token& t = next();
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Unary;
        e->op = t.text;
        e->pos = t.pos;
        e->args.push_back(unary());
        e->end = e->args[0]->end;
        e->depth = e->args[0]->depth + 1;
        return e;
    }
    return power();
}

ExprPtr Parser::power() {
    ExprPtr e = primary();
    while (acceptSymbol("^"))
        e = binary("^", std::move(e), primary());
    return e;
}

ExprPtr Parser::primary() {
    const Token& t = peek();
    auto literal = [&](Datum d) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Literal;
        e->value = std::move(d);
        e->pos = t.pos;
        e->end = t.end;
        next();
        return e;
    };
    switch (t.kind) {
        case TokenKind::Number: {
            Datum d;
            if (!ExprText::parseNumber(t.text, d)) syntaxAt(t);
            return literal(std::move(d));
        }
        case TokenKind::Text:
            return literal(Datum::str(t.text));
        case TokenKind::Date: {
            DateTime when;
            if (!DateTime::parse(t.text, when))
                refuse("Syntax error in date in " + m_what + " near '" +
                       excerpt(m_text.substr(t.pos, t.end - t.pos)) + "'.");
            return literal(Datum::date(when.days));
        }
        case TokenKind::Symbol:
            if (t.isSymbol("(")) {
                next();
                ExprPtr e = expression();
                expectSymbol(")");
                return e;
            }
            syntaxAt(t);
        case TokenKind::Word: {
            const std::string u = upper(t.text);
            if (peek(1).isSymbol("(") &&
                (u == "COUNT" || u == "SUM" || u == "AVG" || u == "MIN" || u == "MAX"))
                return aggregate(u);
            if (u == "NULL") return literal(Datum::null());
            if (u == "TRUE") return literal(Datum::boolean(true));
            if (u == "FALSE") return literal(Datum::boolean(false));
            return columnRef();
        }
        case TokenKind::Name:
            return columnRef();
        default:
            syntaxAt(t);
    }
}

// COUNT(*), COUNT(x), SUM(x), AVG(x), MIN(x), MAX(x).
ExprPtr Parser::aggregate(const std::string& function) {
    DepthGuard guard(m_depth, kMaxDepth);
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Kind::Aggregate;
    e->op = function;
    e->pos = next().pos;
    expectSymbol("(");
    if (function == "COUNT" && acceptSymbol("*")) {
        e->depth = 1;
    } else {
        e->args.push_back(expression());
        e->depth = e->args[0]->depth + 1;
        if (e->depth > kMaxTreeDepth) refuse("Query is too complex.");
    }
    expectSymbol(")");
    e->end = m_tokens[m_at - 1].end;
    return e;
}

ExprPtr Parser::columnRef() {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Kind::Column;
    const Token& first = peek();
    e->pos = first.pos;
    e->quoted = first.kind == TokenKind::Name;
    e->name = name();
    e->end = m_tokens[m_at - 1].end;
    if ((peek().isSymbol(".") || peek().isSymbol("!")) &&
        (peek(1).kind == TokenKind::Name || peek(1).kind == TokenKind::Word)) {
        next();
        e->qualifier = std::move(e->name);
        e->quoted = peek().kind == TokenKind::Name;
        e->name = name();
        e->end = m_tokens[m_at - 1].end;
    }
    // Yes, No, On and Off are Yes/No values unless the table has a field of that name.
    if (!e->quoted && e->qualifier.empty()) {
        const std::string u = upper(e->name);
        if (u == "YES" || u == "ON") e->value = Datum::boolean(true);
        if (u == "NO" || u == "OFF") e->value = Datum::boolean(false);
    }
    return e;
}

}  // namespace jet::sql
