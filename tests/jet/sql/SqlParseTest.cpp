// Statements read into their structure: what each definition statement asks of the schema
// calls, and the refusals Access words for malformed text.
#include <gtest/gtest.h>

#include <random>

#include "jet/Error.h"
#include "sql/Parser.h"

using namespace jet;
using namespace jet::sql;

namespace {

template <typename T>
T parseAs(const std::string& text) {
    Statement s = Parser::parse(text);
    T* p = std::get_if<T>(&s);
    if (!p) throw std::runtime_error("statement parsed as another form: " + text);
    return std::move(*p);
}

// The refusal's sentence, or "" when the text was accepted.
std::string refusal(const std::string& text) {
    try {
        Parser::parse(text);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(SqlParse, CreateTableMapsTypeWordsToColumns) {
    auto s = parseAs<CreateTableStatement>(
        "create table [Card List] (A text(40) not null, B varchar, C char(10), D memo, "
        "E longtext, F bit, G yesno, H logical, I byte, J tinyint, K short, L smallint, M long, "
        "N int, O integer, P single, Q real, R double, S float, T currency, U money, V datetime, "
        "W date, X time, Y image, Z oleobject, AA longbinary, AB binary(16), AC varbinary, "
        "AD guid, AE uniqueidentifier, AF counter, AG autoincrement, AH decimal(10,3), "
        "AI numeric(28), AJ decimal)");
    const NewTable& t = s.table;
    EXPECT_EQ(t.name, "Card List");
    ASSERT_EQ(t.columns.size(), 36u);
    struct Want {
        ColumnType type;
        uint16_t length;
    };
    const Want want[] = {
        {ColumnType::Text, 40},    {ColumnType::Text, 255},   {ColumnType::Text, 10},
        {ColumnType::Memo, 0},     {ColumnType::Memo, 0},     {ColumnType::Bool, 0},
        {ColumnType::Bool, 0},     {ColumnType::Bool, 0},     {ColumnType::Byte, 0},
        {ColumnType::Byte, 0},     {ColumnType::Int, 0},      {ColumnType::Int, 0},
        {ColumnType::Long, 0},     {ColumnType::Long, 0},     {ColumnType::Long, 0},
        {ColumnType::Float, 0},    {ColumnType::Float, 0},    {ColumnType::Double, 0},
        {ColumnType::Double, 0},   {ColumnType::Money, 0},    {ColumnType::Money, 0},
        {ColumnType::DateTime, 0}, {ColumnType::DateTime, 0}, {ColumnType::DateTime, 0},
        {ColumnType::Ole, 0},      {ColumnType::Ole, 0},      {ColumnType::Ole, 0},
        {ColumnType::Binary, 16},  {ColumnType::Binary, 255}, {ColumnType::Guid, 0},
        {ColumnType::Guid, 0},     {ColumnType::Long, 0},     {ColumnType::Long, 0},
        {ColumnType::Numeric, 0},  {ColumnType::Numeric, 0},  {ColumnType::Numeric, 0},
    };
    for (size_t i = 0; i < t.columns.size(); ++i) {
        SCOPED_TRACE(t.columns[i].name);
        EXPECT_EQ(t.columns[i].type, want[i].type);
        if (want[i].length) {
            EXPECT_EQ(t.columns[i].length, want[i].length);
        }
    }
    EXPECT_TRUE(t.columns[0].required);
    EXPECT_FALSE(t.columns[1].required);
    EXPECT_TRUE(t.columns[31].autoNumber);
    EXPECT_TRUE(t.columns[32].autoNumber);
    EXPECT_FALSE(t.columns[12].autoNumber);
    EXPECT_EQ(t.columns[33].precision, 10);
    EXPECT_EQ(t.columns[33].scale, 3);
    EXPECT_EQ(t.columns[34].precision, 28);
    EXPECT_EQ(t.columns[34].scale, 0);
    EXPECT_EQ(t.columns[35].precision, 18);
    EXPECT_TRUE(t.indexes.empty());
}

TEST(SqlParse, CreateTableWithoutColumnsAndWithKeys) {
    auto bare = parseAs<CreateTableStatement>("CREATE TABLE Cards");
    EXPECT_EQ(bare.table.name, "Cards");
    EXPECT_TRUE(bare.table.columns.empty());
    EXPECT_TRUE(bare.table.indexes.empty());

    auto keyed = parseAs<CreateTableStatement>(
        "CREATE TABLE T (Id COUNTER PRIMARY KEY, Code TEXT(8) CONSTRAINT CodeIx UNIQUE, "
        "Name TEXT(50) NULL);");
    ASSERT_EQ(keyed.table.indexes.size(), 2u);
    const NewIndex& pk = keyed.table.indexes[0];
    EXPECT_EQ(pk.name, "PrimaryKey");
    EXPECT_TRUE(pk.primary);
    ASSERT_EQ(pk.columns.size(), 1u);
    EXPECT_EQ(pk.columns[0].name, "Id");
    EXPECT_EQ(keyed.table.indexes[1].name, "CodeIx");
    EXPECT_TRUE(keyed.table.indexes[1].unique);
    EXPECT_FALSE(keyed.table.indexes[1].primary);

    auto multi = parseAs<CreateTableStatement>(
        "CREATE TABLE T (A LONG, B TEXT, CONSTRAINT PK PRIMARY KEY (A, [B]))");
    ASSERT_EQ(multi.table.indexes.size(), 1u);
    EXPECT_EQ(multi.table.indexes[0].name, "PK");
    ASSERT_EQ(multi.table.indexes[0].columns.size(), 2u);
    EXPECT_EQ(multi.table.indexes[0].columns[1].name, "B");

    EXPECT_EQ(refusal("CREATE TABLE T (A LONG PRIMARY KEY, B LONG, CONSTRAINT P2 PRIMARY KEY (B))"),
              "Primary key already exists.");
}

TEST(SqlParse, AlterTableFormsTheProgramSends) {
    // Exactly as the schema commands and the wizard format them.
    auto add = parseAs<AddColumnStatement>("ALTER TABLE Cards ADD Vexa_Print Bit NULL");
    EXPECT_EQ(add.table, "Cards");
    EXPECT_EQ(add.column.name, "Vexa_Print");
    EXPECT_EQ(add.column.type, ColumnType::Bool);
    EXPECT_FALSE(add.column.required);
    EXPECT_EQ(
        parseAs<AddColumnStatement>("ALTER TABLE Cards ADD Vexa_Print_Count int NULL").column.type,
        ColumnType::Long);
    EXPECT_EQ(parseAs<AddColumnStatement>("ALTER TABLE Cards ADD Vexa_ID1_Rect varchar(255) NULL")
                  .column.length,
              255);
    EXPECT_EQ(
        parseAs<AddColumnStatement>("ALTER TABLE Cards ADD Vexa_ID1_Image IMAGE NULL").column.type,
        ColumnType::Ole);
    auto named = parseAs<AddColumnStatement>(
        "ALTER TABLE [My Cards] ADD COLUMN [First Name] "
        "VARCHAR(255) NOT NULL");
    EXPECT_EQ(named.table, "My Cards");
    EXPECT_EQ(named.column.name, "First Name");
    EXPECT_TRUE(named.column.required);

    auto drop = parseAs<DropColumnStatement>("ALTER TABLE Cards DROP Name");
    EXPECT_EQ(drop.column, "Name");
    EXPECT_EQ(parseAs<DropColumnStatement>("alter table Cards drop column [Name 2]").column,
              "Name 2");

    auto pk = parseAs<CreateIndexStatement>(
        "ALTER TABLE Cards ADD CONSTRAINT PrimaryKey PRIMARY KEY (Code)");
    EXPECT_EQ(pk.table, "Cards");
    EXPECT_EQ(pk.index.name, "PrimaryKey");
    EXPECT_TRUE(pk.index.primary);
    ASSERT_EQ(pk.index.columns.size(), 1u);
    EXPECT_EQ(pk.index.columns[0].name, "Code");

    auto dropPk = parseAs<DropIndexStatement>("ALTER TABLE Cards DROP CONSTRAINT PrimaryKey");
    EXPECT_EQ(dropPk.table, "Cards");
    EXPECT_EQ(dropPk.index, "PrimaryKey");
}

TEST(SqlParse, IndexStatements) {
    auto ix = parseAs<CreateIndexStatement>(
        "CREATE UNIQUE INDEX ByName ON People (Name DESC, [When] ASC, Code) WITH IGNORE NULL");
    EXPECT_EQ(ix.table, "People");
    EXPECT_EQ(ix.index.name, "ByName");
    EXPECT_TRUE(ix.index.unique);
    EXPECT_TRUE(ix.index.ignoreNulls);
    EXPECT_FALSE(ix.index.primary);
    ASSERT_EQ(ix.index.columns.size(), 3u);
    EXPECT_FALSE(ix.index.columns[0].ascending);
    EXPECT_TRUE(ix.index.columns[1].ascending);
    EXPECT_EQ(ix.index.columns[1].name, "When");

    auto primary = parseAs<CreateIndexStatement>("CREATE INDEX PK ON T (A) WITH PRIMARY");
    EXPECT_TRUE(primary.index.primary);
    auto required = parseAs<CreateIndexStatement>("CREATE INDEX R ON T (A) WITH DISALLOW NULL");
    EXPECT_TRUE(required.index.required);
    EXPECT_FALSE(required.index.unique);

    auto drop = parseAs<DropIndexStatement>("DROP INDEX ByName ON People");
    EXPECT_EQ(drop.index, "ByName");
    EXPECT_EQ(drop.table, "People");
    EXPECT_EQ(parseAs<DropTableStatement>("DROP TABLE [Old Cards];").table, "Old Cards");

    EXPECT_EQ(refusal("CREATE INDEX I ON T (A, B, C, D, E, F, G, H, I, J, K)"),
              "An index can hold at most 10 fields.");
    EXPECT_EQ(refusal("CREATE INDEX I ON T (A) WITH"), "Syntax error in CREATE INDEX statement.");
}

TEST(SqlParse, PasswordsAreTakenAsWritten) {
    auto set = parseAs<PasswordStatement>("Alter Database Password secret NULL");
    EXPECT_EQ(set.newPassword, "secret");
    EXPECT_EQ(set.oldPassword, "");
    auto change = parseAs<PasswordStatement>("ALTER DATABASE PASSWORD n3w#pw! 'old'");
    EXPECT_EQ(change.newPassword, "n3w#pw!");
    EXPECT_EQ(change.oldPassword, "'old'");
    auto clear = parseAs<PasswordStatement>("ALTER DATABASE PASSWORD NULL [my old]");
    EXPECT_EQ(clear.newPassword, "");
    EXPECT_EQ(clear.oldPassword, "my old");
    EXPECT_EQ(parseAs<PasswordStatement>("ALTER DATABASE PASSWORD new old; ").oldPassword, "old");
    auto literalNull = parseAs<PasswordStatement>("ALTER DATABASE PASSWORD [NULL] []");
    EXPECT_EQ(literalNull.newPassword, "NULL");
    EXPECT_EQ(literalNull.oldPassword, "");
    // A closing bracket written twice is one of the password's own.
    auto brackets = parseAs<PasswordStatement>("ALTER DATABASE PASSWORD [a]]b] [x]]]]]");
    EXPECT_EQ(brackets.newPassword, "a]b");
    EXPECT_EQ(brackets.oldPassword, "x]]");
    // The dialog's empty new password leaves one word, which could be either password: refused,
    // saying what is missing and how to clear a password.
    const std::string one = refusal("Alter Database Password  old");
    EXPECT_EQ(one.rfind("Syntax error in ALTER DATABASE statement: a password is missing.", 0), 0u)
        << one;
    EXPECT_NE(one.find("ALTER DATABASE PASSWORD NULL oldpassword"), std::string::npos) << one;
    EXPECT_EQ(refusal("ALTER DATABASE PASSWORD [only]"), one);
    EXPECT_NE(refusal("ALTER DATABASE PASSWORD ;").find("new and the old password are missing"),
              std::string::npos);
    EXPECT_EQ(refusal("ALTER DATABASE PASSWORD a b c"),
              "Syntax error in ALTER DATABASE statement near 'c'.");
    EXPECT_NE(refusal("ALTER DATABASE PASSWORD [open b").find("closing bracket"),
              std::string::npos);
}

TEST(SqlParse, QueriesAndRowChanges) {
    auto sel = parseAs<SelectStatement>(
        "Select Name, [When], People.Code From People Where Name Like 'A*' Order By [When] Desc, "
        "Name");
    EXPECT_EQ(sel.table, "People");
    EXPECT_FALSE(sel.allColumns);
    ASSERT_EQ(sel.items.size(), 3u);
    EXPECT_EQ(sel.items[1].expr->name, "When");
    EXPECT_EQ(sel.items[2].expr->qualifier, "People");
    ASSERT_TRUE(sel.where);
    EXPECT_EQ(sel.where->kind, Expr::Kind::Like);
    ASSERT_EQ(sel.orderBy.size(), 2u);
    EXPECT_FALSE(sel.orderBy[0].ascending);
    EXPECT_TRUE(sel.orderBy[1].ascending);
    EXPECT_TRUE(parseAs<SelectStatement>("Select * From [Order Details]").allColumns);

    auto ins =
        parseAs<InsertStatement>("INSERT INTO T (A, [B C]) VALUES ('it''s', #2020-01-31 10:30#)");
    ASSERT_EQ(ins.values.size(), 2u);
    EXPECT_EQ(ins.values[0]->value.text, "it's");
    EXPECT_EQ(ins.values[1]->value.kind, Datum::Kind::Date);
    EXPECT_EQ(refusal("INSERT INTO T (A, B) VALUES (1)"),
              "Number of query values and destination fields are not the same.");

    auto upd = parseAs<UpdateStatement>("UPDATE T SET A = A + 1, B = 'x' WHERE C IS NOT NULL");
    ASSERT_EQ(upd.assignments.size(), 2u);
    EXPECT_EQ(upd.assignments[0].value->op, "+");
    EXPECT_EQ(upd.where->kind, Expr::Kind::IsNull);
    EXPECT_TRUE(upd.where->negated);
    EXPECT_FALSE(parseAs<DeleteStatement>("DELETE * FROM T WHERE A = 1").table.empty());
    EXPECT_FALSE(parseAs<DeleteStatement>("DELETE FROM T").where);
}

TEST(SqlParse, RefusalsNameTheStatementAndWhereItWentWrong) {
    EXPECT_EQ(refusal("ALTER TABLE T ADD COLUMN B VARCHR(10)"),
              "Syntax error in ALTER TABLE statement near 'VARCHR'.");
    EXPECT_EQ(refusal("ALTER TABLE T x"), "Syntax error in ALTER TABLE statement near 'x'.");
    EXPECT_EQ(refusal("CREATE TABLE T (A TEXT("), "Syntax error in CREATE TABLE statement.");
    EXPECT_EQ(refusal("CREATE TABLE"), "Syntax error in CREATE TABLE statement.");
    // Names with blanks or reserved words need brackets, as the wizard's failures show.
    EXPECT_EQ(refusal("CREATE TABLE My Cards"),
              "Syntax error in CREATE TABLE statement near 'Cards'.");
    EXPECT_EQ(refusal("CREATE TABLE Select"),
              "Syntax error in CREATE TABLE statement near 'Select'.");
    EXPECT_EQ(refusal("CREATE TABLE [Select]"), "");
    EXPECT_EQ(refusal("DROP TABLE T extra"), "Syntax error in DROP TABLE statement near 'extra'.");
    EXPECT_EQ(refusal("DROP TABLE T; DROP TABLE U"),
              "Characters found after end of SQL statement.");
    EXPECT_EQ(refusal("SELEKT * FROM T").substr(0, 22), "Invalid SQL statement;");
    EXPECT_EQ(refusal(""), refusal("   "));
    EXPECT_EQ(refusal("CREATE TABLE T (A TEXT(300))"), "Size of field 'A' is too long.");
    EXPECT_EQ(refusal("CREATE TABLE T (A DECIMAL(30, 2))"),
              "The precision of field 'A' must be from 1 to 28.");
    EXPECT_NE(refusal("CREATE TABLE T (A DECIMAL(5, 6))").find("scale"), std::string::npos);

    const std::string longName(65, 'n');
    EXPECT_EQ(refusal("CREATE TABLE [" + longName + "]"),
              "'" + longName +
                  "' is not a valid name. Make sure that it does not include invalid characters "
                  "or punctuation and that it is not too long.");
    EXPECT_EQ(refusal("CREATE TABLE [" + longName.substr(1) + "]"), "");
    EXPECT_NE(refusal("ALTER TABLE T ADD [a.b] TEXT").find("is not a valid name"),
              std::string::npos);
    EXPECT_NE(refusal("ALTER TABLE T ADD [ lead] TEXT").find("is not a valid name"),
              std::string::npos);

    EXPECT_EQ(refusal("INSERT INTO T VALUES ('open"),
              "Syntax error in string in INSERT INTO statement near ''open': the text has no "
              "closing quote.");
    EXPECT_EQ(refusal("SELECT * FROM [Open"),
              "Syntax error in SELECT statement near '[Open': the name has no closing bracket.");
    EXPECT_NE(refusal("DELETE FROM T WHERE D = #2020-02-30#").find("Syntax error in date"),
              std::string::npos);
    EXPECT_NE(refusal("UPDATE T SET A = 1 WHERE B = ?").find("near '?'"), std::string::npos);
}

TEST(SqlParse, ExpressionsBindAsJetReadsThem) {
    // AND binds tighter than OR; NOT applies to the comparison; arithmetic before comparison.
    ExprPtr e = Parser::parseExpression("A = 1 OR B = 2 AND NOT C > 3 + 4 * 5");
    ASSERT_EQ(e->op, "OR");
    EXPECT_EQ(e->args[1]->op, "AND");
    EXPECT_EQ(e->args[1]->args[1]->op, "NOT");
    const Expr& gt = *e->args[1]->args[1]->args[0];
    EXPECT_EQ(gt.op, ">");
    EXPECT_EQ(gt.args[1]->op, "+");
    EXPECT_EQ(gt.args[1]->args[1]->op, "*");

    ExprPtr between = Parser::parseExpression("Qty NOT BETWEEN 1 AND 5 AND Name IN ('a', 'b')");
    EXPECT_EQ(between->op, "AND");
    EXPECT_EQ(between->args[0]->kind, Expr::Kind::Between);
    EXPECT_TRUE(between->args[0]->negated);
    EXPECT_EQ(between->args[1]->kind, Expr::Kind::In);
    EXPECT_EQ(between->args[1]->args.size(), 3u);

    ExprPtr n = Parser::parseExpression("-1.50e0 <> .5");
    EXPECT_EQ(n->args[0]->kind, Expr::Kind::Unary);
    EXPECT_EQ(n->args[1]->value.text, "0.5");
    EXPECT_EQ(Parser::parseExpression("007.250")->value.text, "7.25");
}

TEST(SqlParse, NoInputCrashesOrRunsAway) {
    // Deep nesting and long chains are refused, not followed down the stack.
    EXPECT_EQ(
        refusal("SELECT * FROM T WHERE " + std::string(5000, '(') + "1" + std::string(5000, ')')),
        "Query is too complex.");
    std::string chain = "SELECT * FROM T WHERE A";
    for (int i = 0; i < 5000; ++i)
        chain += " + A";
    EXPECT_EQ(refusal(chain), "Query is too complex.");
    EXPECT_EQ(refusal("SELECT * FROM T WHERE " + std::string(5000, '-') + "1"),
              "Query is too complex.");

    // Mangled versions of good statements: every one is read or refused with a jet::Error.
    const std::vector<std::string> seeds = {
        "CREATE TABLE [A B] (Id COUNTER PRIMARY KEY, N TEXT(20) NOT NULL, D DECIMAL(10,2))",
        "ALTER TABLE T ADD CONSTRAINT PK PRIMARY KEY (A, B)",
        "SELECT A, [B] FROM T WHERE A LIKE '[!a-c]*#' AND B BETWEEN #1/2/2003# AND 5 ORDER BY A",
        "UPDATE T SET A = (A + 1) * -2 & 'x' WHERE B IN (1, 'two', Null) OR NOT C IS NULL",
        "ALTER DATABASE PASSWORD [a] NULL",
        "INSERT INTO T (A) VALUES ('it''s')",
    };
    std::mt19937 rng(12345);
    const std::string alphabet = "()[]'\"#,;.*-+ AaZz09_!`\\&^<>=\n\xc3\xa9";
    size_t refused = 0, accepted = 0;
    for (int round = 0; round < 6000; ++round) {
        std::string s = seeds[rng() % seeds.size()];
        const int edits = 1 + int(rng() % 4);
        for (int k = 0; k < edits && !s.empty(); ++k) {
            const size_t at = rng() % s.size();
            switch (rng() % 3) {
                case 0:
                    s.erase(at, 1 + rng() % 3);
                    break;
                case 1:
                    s.insert(at, 1, alphabet[rng() % alphabet.size()]);
                    break;
                default:
                    s = s.substr(0, at);
            }
        }
        try {
            Parser::parse(s);
            ++accepted;
        } catch (const Error& e) {
            EXPECT_TRUE(e.code() == hr::kInvalidArg || e.code() == hr::kNotSupported) << s;
            EXPECT_NE(std::string(e.what()), "") << s;
            ++refused;
        }
    }
    EXPECT_GT(refused, 1000u);
    EXPECT_GT(accepted, 100u);
}
