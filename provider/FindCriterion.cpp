#include "provider/FindCriterion.h"

#include <charconv>
#include <cmath>

#include "provider/Blanks.h"
#include "provider/ProviderError.h"
#include "provider/RowStore.h"
#include "jet/Error.h"
#include "jet/Text.h"
#include "jet/Value.h"
#include "provider/ValueText.h"

namespace tessor::provider {

namespace {

[[noreturn]] void bad(const std::string& why) {
    throw ProviderError(hr::kInvalidArgument, "The find criterion is not valid: " + why);
}

bool parseNumber(std::string_view s, double& out) {
    s = trimBlanks(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// An operator at pos, with its length; 0 when there is none.
size_t operatorAt(std::string_view t, size_t pos) {
    const char c = t[pos];
    if (c == '<' || c == '>') {
        if (pos + 1 < t.size() && (t[pos + 1] == '=' || (c == '<' && t[pos + 1] == '>'))) return 2;
        return 1;
    }
    if (c == '=') return 1;
    // LIKE stands between blanks (or a closing bracket and an opening quote).
    if (pos + 4 <= t.size() && jet::CaseFold::equal(t.substr(pos, 4), "like") && pos > 0 &&
        (isBlank(t[pos - 1]) || t[pos - 1] == ']') &&
        (pos + 4 == t.size() || isBlank(t[pos + 4]) || t[pos + 4] == '\''))
        return 4;
    return 0;
}

}  // namespace

FindCriterion::FindCriterion(std::string_view text, const std::vector<ColumnInfo>& columns) {
    text = trimBlanks(text);
    if (text.empty()) bad("it is empty.");
    size_t opPos = std::string_view::npos;
    size_t opLen = 0;
    if (text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) bad("a \"[\" is not closed.");
        const std::string_view name = text.substr(1, close - 1);
        auto col = findColumn(columns, name);
        if (!col)
            throw ProviderError(hr::kItemNotFound, "The find criterion names no field: \"" +
                                                       std::string(name) + "\".");
        m_column = *col;
        size_t p = close + 1;
        while (p < text.size() && isBlank(text[p]))
            ++p;
        if (p < text.size()) opLen = operatorAt(text, p);
        if (opLen == 0) bad("no operator follows the field name.");
        opPos = p;
    } else {
        // A bare name may hold blanks or even an operator's letters: take the first operator
        // whose left side names a field.
        size_t firstOp = std::string_view::npos;
        for (size_t p = 1; p < text.size() && opPos == std::string_view::npos; ++p) {
            const size_t len = operatorAt(text, p);
            if (len == 0) continue;
            if (firstOp == std::string_view::npos) firstOp = p;
            if (auto col = findColumn(columns, trimBlanks(text.substr(0, p)))) {
                m_column = *col;
                opPos = p;
                opLen = len;
            }
        }
        if (opPos == std::string_view::npos) {
            if (firstOp == std::string_view::npos) bad("it has no operator.");
            throw ProviderError(hr::kItemNotFound,
                                "The find criterion names no field: \"" +
                                    std::string(trimBlanks(text.substr(0, firstOp))) + "\".");
        }
    }
    const std::string_view op = text.substr(opPos, opLen);
    if (op == "=")
        m_op = Op::Eq;
    else if (op == "<>")
        m_op = Op::Ne;
    else if (op == "<")
        m_op = Op::Lt;
    else if (op == ">")
        m_op = Op::Gt;
    else if (op == "<=")
        m_op = Op::Le;
    else if (op == ">=")
        m_op = Op::Ge;
    else
        m_op = Op::Like;

    // The literal.
    const std::string_view lit = trimBlanks(text.substr(opPos + opLen));
    if (lit.empty()) bad("no value follows the operator.");
    enum class LitKind { Quoted, Date, Bare } litKind;
    std::string value;
    if (lit.front() == '\'') {
        litKind = LitKind::Quoted;
        size_t i = 1;
        bool closed = false;
        while (i < lit.size()) {
            if (lit[i] == '\'') {
                if (i + 1 < lit.size() && lit[i + 1] == '\'') {
                    value += '\'';
                    i += 2;
                    continue;
                }
                closed = true;
                ++i;
                break;
            }
            value += lit[i++];
        }
        if (!closed) bad("a quote is not closed.");
        if (i != lit.size()) bad("text follows the quoted value.");
    } else if (lit.front() == '#') {
        litKind = LitKind::Date;
        if (lit.size() < 2 || lit.back() != '#') bad("a date is not closed by \"#\".");
        value = std::string(lit.substr(1, lit.size() - 2));
    } else {
        litKind = LitKind::Bare;
        value = std::string(lit);
    }

    const DataType type = columns[m_column].type;
    const std::string& field = columns[m_column].name;
    auto mismatch = [&]() {
        throw ProviderError(hr::kTypeMismatch, "The value " + std::string(lit) +
                                                   " does not suit the type of field \"" + field +
                                                   "\".");
    };
    switch (type) {
        case DataType::VarWChar:
        case DataType::LongVarWChar:
            m_kind = Kind::Text;
            break;
        case DataType::Boolean:
        case DataType::UnsignedTinyInt:
        case DataType::SmallInt:
        case DataType::Integer:
        case DataType::Single:
        case DataType::Double:
        case DataType::Currency:
        case DataType::Numeric:
            m_kind = Kind::Number;
            break;
        case DataType::Date:
            m_kind = Kind::Date;
            break;
        default:
            m_kind = Kind::Other;
            break;
    }
    if (m_op == Op::Like) {
        if (litKind != LitKind::Quoted) bad("LIKE needs a quoted pattern.");
        try {
            m_pattern = std::make_unique<jet::LikePattern>(value);
        } catch (const jet::Error& e) {
            throw ProviderError(hr::kInvalidArgument, e.what());
        }
        return;
    }
    if (m_kind == Kind::Number) {
        if (litKind == LitKind::Date) mismatch();
        if (type == DataType::Boolean &&
            (jet::CaseFold::equal(value, "true") || jet::CaseFold::equal(value, "yes")))
            m_number = -1;
        else if (type == DataType::Boolean &&
                 (jet::CaseFold::equal(value, "false") || jet::CaseFold::equal(value, "no")))
            m_number = 0;
        else if (!parseNumber(value, m_number))
            mismatch();
    } else if (m_kind == Kind::Date) {
        jet::DateTime d;
        if (jet::DateTime::parse(value, d) ||
            (litKind != LitKind::Date && parseNumber(value, d.days)))
            m_number = d.chronological();
        else
            mismatch();
    } else if (litKind == LitKind::Bare && m_kind == Kind::Text) {
        // An unquoted literal against text must at least be a number, as in SQL.
        double ignored;
        if (!parseNumber(value, ignored)) mismatch();
    }
    m_text = std::move(value);
}

bool FindCriterion::holds(int cmp) const {
    switch (m_op) {
        case Op::Eq:
            return cmp == 0;
        case Op::Ne:
            return cmp != 0;
        case Op::Lt:
            return cmp < 0;
        case Op::Gt:
            return cmp > 0;
        case Op::Le:
            return cmp <= 0;
        case Op::Ge:
            return cmp >= 0;
        case Op::Like:
            return false;
    }
    return false;
}

FindCriterion::~FindCriterion() = default;
FindCriterion::FindCriterion(FindCriterion&&) noexcept = default;

bool FindCriterion::matches(const RowStore& store, size_t row) const {
    if (store.isNull(row, m_column)) return false;
    if (m_kind == Kind::Text) {
        const std::string_view cell = store.bytes(row, m_column);
        if (m_pattern) return m_pattern->matches(cell);
        return holds(store.compareText(cell, m_text));
    }
    const Variant v = store.value(row, m_column);
    if (m_pattern) return m_pattern->matches(ValueText::toText(v));
    if (m_kind == Kind::Number || m_kind == Kind::Date) {
        double x = 0;
        if (!v.numeric(x)) return false;
        if (m_kind == Kind::Date) x = jet::DateTime{x}.chronological();
        if (std::isnan(x)) return false;
        return holds(x < m_number ? -1 : (x > m_number ? 1 : 0));
    }
    return holds(store.compareText(ValueText::toText(v), m_text));
}

}  // namespace tessor::provider
