#include "sql/Evaluator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "index/IndexKeyEncoder.h"
#include "jet/Error.h"
#include "jet/Text.h"
#include "jet/ValueText.h"
#include "sql/ExprText.h"

namespace jet::sql {

namespace {

using Kind = Datum::Kind;

[[noreturn]] void mismatch() {
    throw Error(hr::kTypeMismatch, "Data type mismatch in criteria expression.");
}

// The kind of value an expression gives, when it is known before any row is read; Null when
// it is not (a null literal, or an operator whose result depends on the row).
Kind staticKind(const Expr& e, const TableDef* table) {
    switch (e.kind) {
        case Expr::Kind::Literal:
            return e.value.kind;
        case Expr::Kind::Column: {
            if (!table || e.column < 0) return Kind::Null;
            switch (table->columns[size_t(e.column)].type) {
                case ColumnType::Bool:
                    return Kind::Bool;
                case ColumnType::Byte:
                case ColumnType::Int:
                case ColumnType::Long:
                case ColumnType::Money:
                case ColumnType::Float:
                case ColumnType::Double:
                case ColumnType::Numeric:
                    return Kind::Number;
                case ColumnType::DateTime:
                    return Kind::Date;
                case ColumnType::Text:
                case ColumnType::Memo:
                    return Kind::Text;
                case ColumnType::Guid:
                    return Kind::Guid;
                default:
                    return Kind::Bytes;
            }
        }
        case Expr::Kind::Binary:
            if (e.op == "&") return Kind::Text;
            if (e.op == "AND" || e.op == "OR" || e.op == "=" || e.op == "<>" || e.op == "<" ||
                e.op == "<=" || e.op == ">" || e.op == ">=")
                return Kind::Bool;
            return Kind::Null;
        case Expr::Kind::Like:
        case Expr::Kind::IsNull:
        case Expr::Kind::Between:
        case Expr::Kind::In:
            return Kind::Bool;
        case Expr::Kind::Unary:
            return e.op == "NOT" ? Kind::Null : staticKind(*e.args[0], table);
        case Expr::Kind::Aggregate:
            if (e.op == "MIN" || e.op == "MAX") return staticKind(*e.args[0], table);
            return Kind::Number;
    }
    return Kind::Null;
}

bool numeric(Kind k) {
    return k == Kind::Number || k == Kind::Bool || k == Kind::Date;
}

bool comparable(Kind a, Kind b) {
    if (a == Kind::Null || b == Kind::Null || a == b) return true;
    if (numeric(a) && numeric(b)) return true;
    auto textual = [](Kind k) { return k == Kind::Text || k == Kind::Guid; };
    return textual(a) && textual(b);
}

double asNumber(const Datum& d) {
    switch (d.kind) {
        case Kind::Bool:
            return d.flag ? -1.0 : 0.0;
        case Kind::Number:
            return d.number;
        case Kind::Date:
            return DateTime{d.number}.chronological();
        default:
            mismatch();
    }
}

std::string integerText(int64_t v) {
    return std::to_string(v);
}

std::string guidKey(std::string_view s) {
    std::string k;
    for (char c : s) {
        if (c == '{' || c == '}') continue;
        k += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    }
    return k;
}

// Rounds half to even, as Jet does when a fraction meets a whole-number operator.
double roundEven(double v) {
    return std::nearbyint(v);
}

}  // namespace

Evaluator::Evaluator(const TableDef* table, index::TextSortOrder textOrder)
    : m_table(table),
      m_collation(textOrder == index::TextSortOrder::General97 ? Collation::general97()
                                                               : Collation()) {}

void Evaluator::bind(Expr& e, bool allowAggregates) const {
    if (e.kind == Expr::Kind::Aggregate) {
        if (!allowAggregates)
            throw Error(hr::kInvalidArg, "Cannot have aggregate function in expression.");
        for (auto& a : e.args)
            bind(*a, false);
        if ((e.op == "SUM" || e.op == "AVG") && !numeric(staticKind(*e.args[0], m_table)) &&
            staticKind(*e.args[0], m_table) != Kind::Null)
            mismatch();
        if (e.op != "COUNT" && staticKind(*e.args[0], m_table) == Kind::Bytes) mismatch();
        return;
    }
    for (auto& a : e.args)
        bind(*a, allowAggregates);
    if (e.kind == Expr::Kind::Literal && e.value.kind == Kind::Text)
        m_keys.try_emplace(&e, m_collation, e.value.text);
    if (e.kind == Expr::Kind::Column) {
        if (m_table && !e.qualifier.empty() && !namesEqual(e.qualifier, m_table->name))
            throw Error(hr::kNotFound, "Table '" + e.qualifier +
                                           "' is not part of this statement; it works on '" +
                                           m_table->name + "'.");
        const ColumnDef* c = m_table ? m_table->findColumn(e.name) : nullptr;
        if (c) {
            e.column = int(c - m_table->columns.data());
        } else if (e.value.kind == Kind::Bool) {
            e.kind = Expr::Kind::Literal;  // Yes, No, On, Off
        } else if (m_table) {
            throw Error(hr::kNotFound,
                        "Field '" + e.name + "' does not exist in table '" + m_table->name + "'.");
        } else {
            throw Error(hr::kInvalidArg,
                        "'" + e.name + "' is not a value; field names cannot be used here.");
        }
        return;
    }
    auto check = [&](const Expr& a, const Expr& b) {
        if (!comparable(staticKind(a, m_table), staticKind(b, m_table))) mismatch();
    };
    if (e.kind == Expr::Kind::Binary &&
        (e.op == "=" || e.op == "<>" || e.op == "<" || e.op == "<=" || e.op == ">" || e.op == ">="))
        check(*e.args[0], *e.args[1]);
    if (e.kind == Expr::Kind::Between || e.kind == Expr::Kind::In)
        for (size_t i = 1; i < e.args.size(); ++i)
            check(*e.args[0], *e.args[i]);
    if (e.kind == Expr::Kind::Like) {
        const Kind k = staticKind(*e.args[0], m_table);
        if (k == Kind::Bytes) mismatch();
        if (e.args[1]->kind == Expr::Kind::Literal && e.args[1]->value.kind == Kind::Text)
            m_patterns[&e] = std::make_unique<LikePattern>(e.args[1]->value.text);
    }
    planFieldTest(e);
}

Datum Evaluator::fromValue(const Value& v) {
    switch (v.type()) {
        case ValueType::Null:
            return Datum::null();
        case ValueType::Bool:
            return Datum::boolean(v.as<bool>());
        case ValueType::Byte:
            return Datum::num(v.as<uint8_t>(), integerText(v.as<uint8_t>()));
        case ValueType::Int16:
            return Datum::num(v.as<int16_t>(), integerText(v.as<int16_t>()));
        case ValueType::Int32:
            return Datum::num(v.as<int32_t>(), integerText(v.as<int32_t>()));
        case ValueType::Currency: {
            const int64_t s = v.as<Currency>().scaled;
            return Datum::num(double(s) / 10000.0, jet::ValueText::formatCurrency(s));
        }
        case ValueType::Float:
            return Datum::num(v.as<float>());
        case ValueType::Double:
            return Datum::num(v.as<double>());
        case ValueType::DateTime:
            return Datum::date(v.as<DateTime>().days);
        case ValueType::Text:
            return Datum::str(v.as<std::string>());
        case ValueType::Bytes: {
            Datum d;
            d.kind = Kind::Bytes;
            d.bytes = v.as<std::vector<uint8_t>>();
            return d;
        }
        case ValueType::Guid: {
            Datum d;
            d.kind = Kind::Guid;
            d.guid = v.as<Guid>();
            return d;
        }
        case ValueType::Decimal: {
            const std::string s = v.as<Decimal>().toString();
            Datum d;
            ExprText::parseNumber(s, d);
            return d;
        }
    }
    return Datum::null();
}

std::string Evaluator::asText(const Datum& d) {
    switch (d.kind) {
        case Kind::Null:
            return {};
        case Kind::Bool:
            return d.flag ? "-1" : "0";  // Jet's True is the number -1
        case Kind::Number:
            return ExprText::numberText(d);
        case Kind::Text:
            return d.text;
        case Kind::Date:
            return ExprText::dateText(d.number);
        case Kind::Guid:
            return d.guid.toString();
        case Kind::Bytes:
            mismatch();
    }
    return {};
}

int Evaluator::compareText(const std::string& a, const std::string& b) const {
    return m_collation.compare(a, b);
}

namespace {

// The number a cell of a number kind stands for, as asNumber() reads its Datum; false for
// null and the kinds that are not read so (a decimal is read from its exact text).
bool cellNumber(const Value& v, double& out) {
    if (v.type() == ValueType::DateTime) {
        out = v.as<DateTime>().chronological();
        return true;
    }
    return v.type() != ValueType::Decimal && jet::ValueText::numberOf(v, out);
}

}  // namespace

void Evaluator::planFieldTest(const Expr& e) const {
    if (e.args.size() != 2 || e.args[0]->kind != Expr::Kind::Column || e.args[0]->column < 0 ||
        e.args[1]->kind != Expr::Kind::Literal)
        return;
    FieldTest t;
    t.column = size_t(e.args[0]->column);
    const Datum& literal = e.args[1]->value;
    if (e.kind == Expr::Kind::Like) {
        const auto pattern = m_patterns.find(&e);
        if (pattern == m_patterns.end()) return;
        t.pattern = pattern->second.get();
        t.negated = e.negated;
    } else if (e.kind == Expr::Kind::Binary) {
        static const char* const kOps[] = {"=", "<>", "<", "<=", ">", ">="};
        t.op = -1;
        for (int k = 0; k < 6; ++k)
            if (e.op == kOps[k]) t.op = k;
        if (t.op < 0) return;
        if (literal.kind == Kind::Text) {
            const auto key = m_keys.find(e.args[1].get());
            if (key == m_keys.end()) return;
            t.key = &key->second;
        } else if (numeric(literal.kind)) {
            t.numeric = true;
            t.number = asNumber(literal);
        } else {
            return;
        }
    } else {
        return;
    }
    m_fieldTests.emplace(&e, t);
}

bool Evaluator::fieldTest(const Expr& e, const RowCells& row, bool& result) const {
    const auto plan = m_fieldTests.find(&e);
    if (plan == m_fieldTests.end()) return false;
    const FieldTest& t = plan->second;
    if (t.pattern) {
        std::string_view text;
        if (!row.textView(t.column, text)) return false;
        result = t.pattern->matches(text) != t.negated;
        return true;
    }
    int c;
    if (t.key) {
        std::string_view text;
        if (!row.textView(t.column, text)) return false;
        c = t.key->compare(text);
    } else {
        double x;
        if (!cellNumber(row.cell(t.column), x)) return false;
        c = x < t.number ? -1 : x > t.number ? 1 : 0;
    }
    switch (t.op) {
        case 0: result = c == 0; break;
        case 1: result = c != 0; break;
        case 2: result = c < 0; break;
        case 3: result = c <= 0; break;
        case 4: result = c > 0; break;
        default: result = c >= 0; break;
    }
    return true;
}

int Evaluator::compareWith(const Datum& a, const Datum& b, const Expr& bExpr) const {
    if (a.kind == Kind::Text && b.kind == Kind::Text) {
        const auto key = m_keys.find(&bExpr);
        if (key != m_keys.end()) return key->second.compare(a.text);
    }
    return compare(a, b);
}

int Evaluator::compare(const Datum& a, const Datum& b) const {
    if (numeric(a.kind) && numeric(b.kind)) {
        const double x = asNumber(a), y = asNumber(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.kind == Kind::Text && b.kind == Kind::Text) return compareText(a.text, b.text);
    if ((a.kind == Kind::Guid || a.kind == Kind::Text) &&
        (b.kind == Kind::Guid || b.kind == Kind::Text)) {
        const std::string x = guidKey(a.kind == Kind::Guid ? a.guid.toString() : a.text);
        const std::string y = guidKey(b.kind == Kind::Guid ? b.guid.toString() : b.text);
        return x.compare(y) < 0 ? -1 : x == y ? 0 : 1;
    }
    if (a.kind == Kind::Bytes && b.kind == Kind::Bytes)
        return a.bytes < b.bytes ? -1 : a.bytes == b.bytes ? 0 : 1;
    mismatch();
}

Datum Evaluator::arithmetic(const std::string& op, const Datum& a, const Datum& b) const {
    if (op == "&") {
        if (a.isNull() && b.isNull()) return Datum::null();
        return Datum::str(asText(a) + asText(b));
    }
    if (a.isNull() || b.isNull()) return Datum::null();
    if (op == "+" && a.kind == Kind::Text && b.kind == Kind::Text)
        return Datum::str(a.text + b.text);
    if (!numeric(a.kind) || !numeric(b.kind)) mismatch();
    const bool aDate = a.kind == Kind::Date, bDate = b.kind == Kind::Date;
    const double x = aDate ? a.number : asNumber(a);
    const double y = bDate ? b.number : asNumber(b);
    double r;
    if (op == "+") {
        r = x + y;
        if (aDate != bDate) return Datum::date(r);
    } else if (op == "-") {
        r = x - y;
        if (aDate && !bDate) return Datum::date(r);
    } else if (op == "*") {
        r = x * y;
    } else if (op == "/") {
        if (y == 0) throw Error(hr::kInvalidArg, "Division by zero.");
        r = x / y;
    } else if (op == "\\" || op == "MOD") {
        const double ix = roundEven(x), iy = roundEven(y);
        if (iy == 0) throw Error(hr::kInvalidArg, "Division by zero.");
        r = op == "MOD" ? std::fmod(ix, iy) : std::trunc(ix / iy);
    } else {
        r = std::pow(x, y);
    }
    if (!std::isfinite(r)) throw Error(hr::kInvalidArg, "Overflow.");
    return Datum::num(r);
}

Datum Evaluator::logic(const Expr& e, const RowCells& row) const {
    // Three-valued: null where the answer depends on an unknown.
    auto truth = [](const Datum& d) -> int {
        if (d.isNull()) return -1;
        if (d.kind == Kind::Bool) return d.flag ? 1 : 0;
        if (d.kind == Kind::Number) return d.number != 0 ? 1 : 0;
        mismatch();
    };
    const int a = truth(evaluate(*e.args[0], row));
    if (e.op == "AND" && a == 0) return Datum::boolean(false);
    if (e.op == "OR" && a == 1) return Datum::boolean(true);
    const int b = truth(evaluate(*e.args[1], row));
    if (e.op == "AND") {
        if (b == 0) return Datum::boolean(false);
        if (a == 1 && b == 1) return Datum::boolean(true);
        return Datum::null();
    }
    if (b == 1) return Datum::boolean(true);
    if (a == 0 && b == 0) return Datum::boolean(false);
    return Datum::null();
}

Datum Evaluator::like(const Expr& e, const RowCells& row) const {
    const Datum text = evaluate(*e.args[0], row);
    const Datum pattern = evaluate(*e.args[1], row);
    if (text.isNull() || pattern.isNull()) return Datum::null();
    bool match;
    auto cached = m_patterns.find(&e);
    if (cached != m_patterns.end()) {
        match = cached->second->matches(asText(text));
    } else {
        match = LikePattern(asText(pattern)).matches(asText(text));
    }
    return Datum::boolean(match != e.negated);
}

Datum Evaluator::evaluate(const Expr& e, const RowCells& row) const {
    switch (e.kind) {
        case Expr::Kind::Literal:
        case Expr::Kind::Aggregate:  // the total of the group being worked on
            return e.value;
        case Expr::Kind::Column:
            if (e.column < 0)
                throw Error(hr::kFail, "Field '" + e.name + "' was not bound to the row.");
            return fromValue(row.cell(size_t(e.column)));
        case Expr::Kind::Unary: {
            const Datum a = evaluate(*e.args[0], row);
            if (a.isNull()) return a;
            if (e.op == "NOT") {
                if (a.kind == Kind::Bool) return Datum::boolean(!a.flag);
                if (a.kind == Kind::Number) {
                    const double v = roundEven(a.number);
                    if (!(std::fabs(v) < 9.2e18)) throw Error(hr::kInvalidArg, "Overflow.");
                    return Datum::num(double(~int64_t(v)));
                }
                mismatch();
            }
            if (e.op == "+") {
                if (!numeric(a.kind)) mismatch();
                return a;
            }
            if (a.kind == Kind::Date) return Datum::date(-a.number);
            if (!numeric(a.kind)) mismatch();
            std::string exact = a.kind == Kind::Number ? a.text : std::string();
            if (!exact.empty())
                exact = exact[0] == '-' ? exact.substr(1) : exact == "0" ? exact : "-" + exact;
            return Datum::num(-asNumber(a), exact);
        }
        case Expr::Kind::Binary: {
            if (e.op == "AND" || e.op == "OR") return logic(e, row);
            if (bool r; fieldTest(e, row, r)) return Datum::boolean(r);
            const Datum a = evaluate(*e.args[0], row);
            const Datum b = evaluate(*e.args[1], row);
            const std::string& op = e.op;
            if (op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=") {
                if (a.isNull() || b.isNull()) return Datum::null();
                const int c = e.args[0]->kind == Expr::Kind::Literal
                                  ? -compareWith(b, a, *e.args[0])
                                  : compareWith(a, b, *e.args[1]);
                bool r = op == "="    ? c == 0
                         : op == "<>" ? c != 0
                         : op == "<"  ? c < 0
                         : op == "<=" ? c <= 0
                         : op == ">"  ? c > 0
                                      : c >= 0;
                return Datum::boolean(r);
            }
            return arithmetic(op, a, b);
        }
        case Expr::Kind::Like:
            if (bool r; fieldTest(e, row, r)) return Datum::boolean(r);
            return like(e, row);
        case Expr::Kind::IsNull: {
            const bool isNull = evaluate(*e.args[0], row).isNull();
            return Datum::boolean(isNull != e.negated);
        }
        case Expr::Kind::Between: {
            const Datum x = evaluate(*e.args[0], row);
            const Datum lo = evaluate(*e.args[1], row);
            const Datum hi = evaluate(*e.args[2], row);
            if (x.isNull() || lo.isNull() || hi.isNull()) return Datum::null();
            const bool in =
                compareWith(x, lo, *e.args[1]) >= 0 && compareWith(x, hi, *e.args[2]) <= 0;
            return Datum::boolean(in != e.negated);
        }
        case Expr::Kind::In: {
            const Datum x = evaluate(*e.args[0], row);
            if (x.isNull()) return Datum::null();
            bool sawNull = false;
            for (size_t i = 1; i < e.args.size(); ++i) {
                const Datum v = evaluate(*e.args[i], row);
                if (v.isNull()) {
                    sawNull = true;
                    continue;
                }
                if (compareWith(x, v, *e.args[i]) == 0) return Datum::boolean(!e.negated);
            }
            if (sawNull) return Datum::null();
            return Datum::boolean(e.negated);
        }
    }
    return Datum::null();
}

namespace {

// A row held as one Value per table column.
class ValueRow : public RowCells {
public:
    explicit ValueRow(const std::vector<Value>& values) : m_values(values) {}
    Value cell(size_t column) const override {
        if (column >= m_values.size())
            throw Error(hr::kFail, "A field was not bound to the row.");
        return m_values[column];
    }
    bool textView(size_t column, std::string_view& out) const override {
        if (column >= m_values.size() || m_values[column].type() != ValueType::Text) return false;
        out = m_values[column].as<std::string>();
        return true;
    }

private:
    const std::vector<Value>& m_values;
};

}  // namespace

Datum Evaluator::evaluate(const Expr& e, const std::vector<Value>& row) const {
    return evaluate(e, ValueRow(row));
}

bool Evaluator::test(const Expr& e, const std::vector<Value>& row) const {
    return test(e, ValueRow(row));
}

bool Evaluator::test(const Expr& e, const RowCells& row) const {
    if (bool r; fieldTest(e, row, r)) return r;
    const Datum d = evaluate(e, row);
    if (d.kind == Kind::Bool) return d.flag;
    if (d.kind == Kind::Number) return d.number != 0;
    if (d.isNull()) return false;
    mismatch();
}

}  // namespace jet::sql
