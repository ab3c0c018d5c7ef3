#include "jet/Database.h"
#include "jet/Sql.h"
#include "sql/Evaluator.h"
#include "sql/Parser.h"

namespace jet::sql {

struct Condition::State {
    State(const TableDef& t, index::TextSortOrder order) : table(t), evaluator(&table, order) {}
    TableDef table;  // a copy: the evaluator keeps pointing at it
    Evaluator evaluator;
    ExprPtr expr;
};

Condition::Condition(std::string_view text, const TableDef& table, Format format)
    : m_state(std::make_unique<State>(table, format == Format::Jet3
                                                 ? index::TextSortOrder::General97
                                                 : index::TextSortOrder::GeneralLegacy)) {
    m_state->expr = Parser::parseExpression(text);
    m_state->evaluator.bind(*m_state->expr);
}

Condition::~Condition() = default;
Condition::Condition(Condition&&) noexcept = default;
Condition& Condition::operator=(Condition&&) noexcept = default;

bool Condition::matches(const std::vector<Value>& row) const {
    return m_state->evaluator.test(*m_state->expr, row);
}

bool Condition::matches(const RowCells& row) const {
    return m_state->evaluator.test(*m_state->expr, row);
}

}  // namespace jet::sql
