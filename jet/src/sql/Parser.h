#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sql/Statement.h"
#include "sql/Token.h"

namespace jet::sql {

// Reads one statement into its structure. Refusals throw jet::Error (hr::kInvalidArg) with the
// sentence Access would give, e.g. "Syntax error in ALTER TABLE statement near 'x'.". Any input
// is safe: nesting and expression size are bounded.
class Parser {
public:
    static constexpr size_t kMaxNameLength = 64;
    static constexpr int kMaxDepth = 200;

    static Statement parse(std::string_view text);
    // An expression on its own, as a WHERE clause or a find criterion holds it.
    static ExprPtr parseExpression(std::string_view text);
    // Refuses a name that Jet would not accept for a new table, field or index.
    static void checkNewName(const std::string& name);

private:
    explicit Parser(std::string_view text);

    Statement statement();
    SelectStatement select();
    InsertStatement insert();
    UpdateStatement update();
    DeleteStatement remove();
    Statement create();
    Statement alter();
    Statement drop();
    PasswordStatement password();

    NewColumn columnDefinition(std::vector<NewIndex>& indexes);
    void columnType(NewColumn& column);
    NewIndex constraint(const std::string& name);
    std::vector<NewIndex::Column> keyColumns(bool allowOrder);
    void indexOptions(NewIndex& index);

    ExprPtr expression();
    ExprPtr orExpr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr comparison();
    ExprPtr concat();
    ExprPtr additive();
    ExprPtr modulo();
    ExprPtr intDivide();
    ExprPtr multiplicative();
    ExprPtr unary();
    ExprPtr power();
    ExprPtr primary();
    ExprPtr binary(std::string op, ExprPtr left, ExprPtr right);
    ExprPtr columnRef();
    ExprPtr aggregate(const std::string& function);

    const Token& peek(size_t ahead = 0) const;
    const Token& next();
    bool atWord(const char* keyword, size_t ahead = 0) const;
    bool acceptWord(const char* keyword);
    void expectWord(const char* keyword);
    bool acceptSymbol(const char* symbol);
    void expectSymbol(const char* symbol);
    bool atName() const;
    std::string name();
    std::string newName();
    long number(long lo, long hi);
    void finish();
    [[noreturn]] void syntax() const;
    [[noreturn]] void syntaxAt(const Token& t) const;

    std::string_view m_text;
    std::vector<Token> m_tokens;
    size_t m_at = 0;
    std::string m_what;  // "ALTER TABLE statement", for messages
    int m_depth = 0;
};

}  // namespace jet::sql
