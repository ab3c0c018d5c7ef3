#include "provider/FindCriterion.h"

#include <optional>

#include "jet/Error.h"
#include "jet/Format.h"
#include "jet/Text.h"
#include "provider/Blanks.h"
#include "provider/EngineSession.h"
#include "provider/EngineValue.h"
#include "provider/ProviderError.h"
#include "provider/RowStore.h"

namespace tessor::provider {

namespace {

[[noreturn]] void bad(const std::string& why) {
    throw ProviderError(hr::kInvalidArgument, "The find criterion is not valid: " + why);
}

[[noreturn]] void noField(std::string_view name) {
    throw ProviderError(hr::kItemNotFound,
                        "The find criterion names no field: \"" + std::string(name) + "\".");
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

// The criterion split where its first field ends: which field, and the rest from the operator
// on. A bare name may hold blanks or even an operator's letters: the first operator whose left
// side names a field ends it.
struct Split {
    size_t column = 0;
    std::string_view rest;
};

Split splitField(std::string_view text, const std::vector<ColumnInfo>& columns) {
    if (text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) bad("a \"[\" is not closed.");
        const std::string_view name = text.substr(1, close - 1);
        const std::optional<size_t> col = findColumn(columns, name);
        if (!col) noField(name);
        size_t p = close + 1;
        while (p < text.size() && isBlank(text[p]))
            ++p;
        if (p >= text.size() || operatorAt(text, p) == 0) bad("no operator follows the field name.");
        return {*col, text.substr(p)};
    }
    size_t firstOp = std::string_view::npos;
    for (size_t p = 1; p < text.size(); ++p) {
        if (operatorAt(text, p) == 0) continue;
        if (firstOp == std::string_view::npos) firstOp = p;
        if (const std::optional<size_t> col = findColumn(columns, trimBlanks(text.substr(0, p))))
            return {*col, text.substr(p)};
    }
    if (firstOp == std::string_view::npos) bad("it has no operator.");
    noField(trimBlanks(text.substr(0, firstOp)));
}

// The fields of one snapshot row, as the engine's condition reads them.
class SnapshotRow : public jet::sql::RowCells {
public:
    SnapshotRow(const RowStore& rows, size_t row) : m_rows(rows), m_row(row) {}
    jet::Value cell(size_t column) const override {
        const DataType type = m_rows.column(column).type;
        if (type == DataType::VarWChar || type == DataType::LongVarWChar) {
            const auto text = m_rows.bytesOrNull(m_row, column);
            return text ? jet::Value(std::string(*text)) : jet::Value();
        }
        if (m_rows.isNull(m_row, column)) return {};
        return EngineValue::toEngine(m_rows.value(m_row, column));
    }
    bool textView(size_t column, std::string_view& out) const override {
        const DataType type = m_rows.column(column).type;
        if (type != DataType::VarWChar && type != DataType::LongVarWChar) return false;
        const auto text = m_rows.bytesOrNull(m_row, column);
        if (!text) return false;
        out = *text;
        return true;
    }

private:
    const RowStore& m_rows;
    size_t m_row;
};

jet::TableDef tableOf(const std::vector<ColumnInfo>& columns) {
    jet::TableDef table;
    table.name = "Recordset";
    for (const ColumnInfo& info : columns) {
        jet::ColumnDef c;
        c.name = info.name;
        c.type = EngineValue::shape(info).type;
        table.columns.push_back(std::move(c));
    }
    return table;
}

jet::sql::Condition condition(std::string_view text, const RowStore& rows) {
    const std::vector<ColumnInfo>& columns = rows.columns();
    text = trimBlanks(text);
    if (text.empty()) bad("it is empty.");
    const Split split = splitField(text, columns);
    const size_t opLen = operatorAt(split.rest, 0);
    const std::string_view literal = trimBlanks(split.rest.substr(opLen));
    if (literal.empty()) bad("no value follows the operator.");
    const std::string& field = columns[split.column].name;
    // The field as the engine names it; the rest is the engine's to read.
    const std::string where = "[" + field + "] " + std::string(split.rest);
    try {
        return jet::sql::Condition(where, tableOf(columns),
                                   rows.general97() ? jet::Format::Jet3 : jet::Format::Jet4);
    } catch (const jet::Error& e) {
        // The field is known by now, so a name the engine does not know stands where a value
        // should (Qty = abc): like a value of the wrong kind, it does not suit the field.
        if (e.code() == jet::hr::kTypeMismatch || e.code() == jet::hr::kNotFound)
            throw ProviderError(hr::kTypeMismatch, "The value " + std::string(literal) +
                                                       " does not suit the type of field \"" +
                                                       field + "\".");
        bad(e.what());
    }
}

}  // namespace

FindCriterion::FindCriterion(std::string_view text, const RowStore& rows)
    : m_condition(condition(text, rows)) {}

bool FindCriterion::matches(const RowStore& rows, size_t row) const {
    return engineCall([&] { return m_condition.matches(SnapshotRow(rows, row)); });
}

}  // namespace tessor::provider
