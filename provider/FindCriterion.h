#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "provider/ColumnInfo.h"

namespace jet {
class LikePattern;
}

namespace tessor::provider {

class RowStore;

// One condition of a recordset's Find: a field, an operator (= <> < > <= >= LIKE) and a literal:
//   Name = 'Ann'   Name like '*ann*'   Qty = 5   [Order Date] >= #2020/01/31#
// Text literals are in single quotes ('' inside stands for one quote). Text compares without
// regard to case; a null field matches nothing. A literal of the wrong kind for the field
// (Qty = 'abc') is an error, as it is for the database.
class FindCriterion {
public:
    // Throws ProviderError for malformed text, an unknown field or an unsuitable literal.
    FindCriterion(std::string_view text, const std::vector<ColumnInfo>& columns);
    ~FindCriterion();
    FindCriterion(FindCriterion&&) noexcept;

    size_t column() const { return m_column; }
    bool matches(const RowStore& store, size_t row) const;

private:
    enum class Op { Eq, Ne, Lt, Gt, Le, Ge, Like };
    enum class Kind { Text, Number, Date, Other };

    bool holds(int cmp) const;

    size_t m_column = 0;
    Op m_op = Op::Eq;
    Kind m_kind = Kind::Text;
    std::string m_text;   // the literal for text and other fields
    double m_number = 0;  // the literal for numbers and dates (dates in calendar order)
    std::unique_ptr<jet::LikePattern> m_pattern;
};

}  // namespace tessor::provider
