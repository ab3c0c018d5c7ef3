// SELECT: rows picked by WHERE, optionally put into groups (GROUP BY, or one group for a query
// that only totals), filtered by HAVING, made distinct, sorted and cut by TOP.
//
// Result types of the totals follow Jet:
//  - Count is a Long.
//  - Sum and Avg of a Currency field are Currency (here summed exactly in scaled integers; Jet
//    keeps its running total as a floating-point number, so beyond about 14 significant
//    digits it may round where this does not). Avg rounds half to even at four places.
//  - Sum and Avg of every other number (Byte, Integer, Long, Single, Double, Decimal, Yes/No,
//    and dates, by their stored days) are Double: Jet totals in floating point, and a Double
//    result cannot overflow where a Long total of Long values could.
//  - Min and Max keep the type of the field they are taken over.
//  - Null values are left out of every total; Sum, Avg, Min and Max of no values are Null,
//    Count of none is 0.
// An output column without AS is named after its field, or Expr1000, Expr1001, ... by its
// place in the list when it is worked out.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "index/IndexKeyEncoder.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/ValueText.h"
#include "sql/Evaluator.h"
#include "sql/Select.h"

namespace jet::sql {

namespace {

using Key = std::vector<uint8_t>;

std::string textOf(std::string_view statement, const Expr& e) {
    if (e.end <= e.pos || e.end > statement.size()) return e.name;
    return std::string(statement.substr(e.pos, e.end - e.pos));
}

const Expr* findAggregate(const Expr& e) {
    if (e.kind == Expr::Kind::Aggregate) return &e;
    for (const auto& a : e.args)
        if (const Expr* f = findAggregate(*a)) return f;
    return nullptr;
}

void collectAggregates(Expr& e, std::vector<Expr*>& out) {
    if (e.kind == Expr::Kind::Aggregate) {
        out.push_back(&e);
        return;
    }
    for (auto& a : e.args)
        collectAggregates(*a, out);
}

// The same expression, once bound: "A MOD 3" in the select list and in GROUP BY.
bool sameExpr(const Expr& a, const Expr& b) {
    if (a.kind != b.kind || a.op != b.op || a.negated != b.negated ||
        a.args.size() != b.args.size())
        return false;
    if (a.kind == Expr::Kind::Column) return a.column == b.column;
    if (a.kind == Expr::Kind::Literal &&
        (a.value.kind != b.value.kind || a.value.number != b.value.number ||
         a.value.text != b.value.text || a.value.flag != b.value.flag ||
         a.value.bytes != b.value.bytes || a.value.guid.bytes != b.value.guid.bytes))
        return false;
    for (size_t i = 0; i < a.args.size(); ++i)
        if (!sameExpr(*a.args[i], *b.args[i])) return false;
    return true;
}

// Refuses a field outside every aggregate that is neither grouped on nor inside an expression
// grouped on.
void checkGrouped(const Expr& e, const std::vector<const Expr*>& grouped,
                  std::string_view statement) {
    if (e.kind == Expr::Kind::Aggregate) return;
    for (const Expr* g : grouped)
        if (sameExpr(e, *g)) return;
    if (e.kind == Expr::Kind::Column && e.column >= 0)
        throw Error(hr::kInvalidArg,
                    "You tried to execute a query that does not include the specified "
                    "expression '" +
                        textOf(statement, e) + "' as part of an aggregate function.");
    for (const auto& a : e.args)
        checkGrouped(*a, grouped, statement);
}

ColumnDef typedColumn(std::string name, ColumnType type) {
    ColumnDef c;
    c.name = std::move(name);
    c.type = type;
    if (type == ColumnType::Text) c.length = 510;
    return c;
}

// A worked-out value as an output cell: numbers as Double.
Value toValue(const Datum& d) {
    switch (d.kind) {
        case Datum::Kind::Null:
            return {};
        case Datum::Kind::Bool:
            return Value(d.flag);
        case Datum::Kind::Number:
            return Value(d.number);
        case Datum::Kind::Text:
            return Value(d.text);
        case Datum::Kind::Date:
            return Value(DateTime{d.number});
        case Datum::Kind::Bytes:
            return Value(d.bytes);
        case Datum::Kind::Guid:
            return Value(d.guid);
    }
    return {};
}

ColumnType typeOfValue(const Value& v) {
    switch (v.type()) {
        case ValueType::Bool:
            return ColumnType::Bool;
        case ValueType::Byte:
            return ColumnType::Byte;
        case ValueType::Int16:
            return ColumnType::Int;
        case ValueType::Int32:
            return ColumnType::Long;
        case ValueType::Currency:
            return ColumnType::Money;
        case ValueType::Float:
            return ColumnType::Float;
        case ValueType::DateTime:
            return ColumnType::DateTime;
        case ValueType::Text:
            return ColumnType::Text;
        case ValueType::Bytes:
            return ColumnType::Binary;
        case ValueType::Guid:
            return ColumnType::Guid;
        case ValueType::Decimal:
            return ColumnType::Numeric;
        default:
            return ColumnType::Double;
    }
}

// One output column, shown or (for an ORDER BY term not in the list) only sorted on.
struct Output {
    ColumnDef def;
    Expr* expr = nullptr;
    bool typeKnown = false;  // false: taken from the first value worked out
    index::TextSortOrder textOrder = index::TextSortOrder::GeneralLegacy;
};

// The running total of one aggregate in one group.
struct Total {
    int64_t count = 0;  // values seen (rows, for COUNT(*))
    double sum = 0;
    int64_t scaled = 0;  // Currency sums
    bool overflow = false;
    Value best;  // MIN/MAX
    Datum bestDatum;
};

struct Group {
    std::vector<Value> first;  // the group's first row: its grouped fields' values
    std::vector<Total> totals;
};

class SelectRun {
public:
    SelectRun(Database& db, const TableDef& def, SelectStatement& s, std::string_view statement,
              index::TextSortOrder textOrder)
        : m_db(db), m_def(def), m_s(s), m_text(statement), m_textOrder(textOrder),
          m_ev(&def, textOrder) {}

    Result run();

private:
    void bindOutputs();
    void bindOrder();
    Value outputValue(Output& o, const std::vector<Value>& row) const;
    Key outputKey(const Output& o, const Value& v, bool ascending) const;
    void addToTotals(Group& g, const std::vector<Value>& row) const;
    void finishTotals(const Group& g);
    Value totalValue(const Expr& agg, const Total& t) const;
    [[noreturn]] void cannotSort(const Output& o) const;

    Database& m_db;
    const TableDef& m_def;
    SelectStatement& m_s;
    std::string_view m_text;
    index::TextSortOrder m_textOrder;
    Evaluator m_ev;
    std::vector<ExprPtr> m_starItems;  // SELECT *: one field reference per column
    std::vector<Output> m_outputs;     // shown ones first
    size_t m_shown = 0;
    std::vector<std::pair<size_t, bool>> m_order;  // output, ascending
    bool m_totals = false;
    std::vector<const Expr*> m_grouped;  // terms of GROUP BY: fields or expressions
    std::vector<Expr*> m_aggregates;  // every aggregate node, in a fixed order
};

void SelectRun::bindOutputs() {
    std::vector<std::pair<Expr*, std::string>> items;
    if (m_s.allColumns) {
        for (const ColumnDef& c : m_def.columns) {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Column;
            e->name = c.name;
            e->quoted = true;
            items.emplace_back(e.get(), std::string());
            m_starItems.push_back(std::move(e));
        }
    } else {
        for (SelectItem& item : m_s.items)
            items.emplace_back(item.expr.get(), item.alias);
    }
    for (size_t i = 0; i < items.size(); ++i) {
        Expr& e = *items[i].first;
        m_ev.bind(e, true);
        Output o;
        o.expr = &e;
        if (e.kind == Expr::Kind::Column) {
            o.def = m_def.columns[size_t(e.column)];
            o.typeKnown = true;
        } else {
            o.def.name = "Expr" + std::to_string(1000 + i);
        }
        if (!items[i].second.empty()) o.def.name = items[i].second;
        m_outputs.push_back(std::move(o));
    }
    m_shown = m_outputs.size();
}

void SelectRun::bindOrder() {
    for (OrderKey& k : m_s.orderBy) {
        Expr& e = *k.expr;
        size_t at = m_outputs.size();
        // An output's alias names it, unless the table has a field of that name.
        if (e.kind == Expr::Kind::Column && e.qualifier.empty() && !m_def.findColumn(e.name))
            for (size_t i = 0; i < m_shown; ++i)
                if (namesEqual(m_outputs[i].def.name, e.name) &&
                    m_outputs[i].expr->kind != Expr::Kind::Column)
                    at = i;
        if (at == m_outputs.size()) {
            m_ev.bind(e, true);
            for (size_t i = 0; i < m_shown; ++i)
                if (e.kind == Expr::Kind::Column && m_outputs[i].expr->kind == Expr::Kind::Column &&
                    m_outputs[i].expr->column == e.column)
                    at = i;
        }
        if (at == m_outputs.size()) {
            if (m_s.distinct)
                throw Error(hr::kInvalidArg,
                            "ORDER BY clause (" + textOf(m_text, e) + ") conflicts with DISTINCT.");
            Output o;
            o.expr = &e;
            if (e.kind == Expr::Kind::Column) {
                o.def = m_def.columns[size_t(e.column)];
                o.typeKnown = true;
            } else {
                o.def.name = textOf(m_text, e);
            }
            m_outputs.push_back(std::move(o));
        }
        m_order.emplace_back(at, k.ascending);
    }
    for (Output& o : m_outputs) {
        if (o.typeKnown)
            o.textOrder = index::IndexKeyEncoder::textSortOrder(o.def, m_db.format(),
                                                                m_db.sortOrder())
                              .value_or(m_textOrder);
        else
            o.textOrder = m_textOrder;
    }
    for (const auto& [at, asc] : m_order) {
        (void)asc;
        if (m_outputs[at].typeKnown && m_outputs[at].def.type == ColumnType::Ole)
            cannotSort(m_outputs[at]);
    }
}

void SelectRun::cannotSort(const Output& o) const {
    throw Error(hr::kInvalidArg, "The ORDER BY clause cannot sort on field '" + o.def.name +
                                     "' (" + columnTypeName(o.def.type) + ").");
}

Value SelectRun::outputValue(Output& o, const std::vector<Value>& row) const {
    if (o.expr->kind == Expr::Kind::Column) return row[size_t(o.expr->column)];
    return toValue(m_ev.evaluate(*o.expr, row));
}

Key SelectRun::outputKey(const Output& o, const Value& v, bool ascending) const {
    Key k;
    ColumnDef def = o.def;
    if (!v.isNull() && def.type != ColumnType::Bool) def.type = typeOfValue(v);
    try {
        index::IndexKeyEncoder::appendValue(k, def, v, ascending, o.textOrder);
    } catch (const Error&) {
        cannotSort(o);
    }
    return k;
}

void SelectRun::addToTotals(Group& g, const std::vector<Value>& row) const {
    for (size_t i = 0; i < m_aggregates.size(); ++i) {
        const Expr& agg = *m_aggregates[i];
        Total& t = g.totals[i];
        if (agg.args.empty()) {  // COUNT(*)
            ++t.count;
            continue;
        }
        const Expr& arg = *agg.args[0];
        const Datum d = m_ev.evaluate(arg, row);
        if (d.isNull()) continue;
        ++t.count;
        if (agg.op == "SUM" || agg.op == "AVG") {
            const double x = d.kind == Datum::Kind::Bool ? (d.flag ? -1.0 : 0.0) : d.number;
            t.sum += x;
            if (arg.kind == Expr::Kind::Column) {
                const Value& v = row[size_t(arg.column)];
                if (const Currency* c = v.getIf<Currency>())
                    t.overflow |= __builtin_add_overflow(t.scaled, c->scaled, &t.scaled);
            }
        } else if (agg.op == "MIN" || agg.op == "MAX") {
            bool better = t.count == 1;
            if (!better) {
                const int c = m_ev.compare(d, t.bestDatum);
                better = agg.op == "MIN" ? c < 0 : c > 0;
            }
            if (better) {
                t.best = arg.kind == Expr::Kind::Column ? row[size_t(arg.column)] : toValue(d);
                t.bestDatum = d;
            }
        }
    }
}

bool isCurrencyArg(const Expr& agg, const TableDef& def) {
    return !agg.args.empty() && agg.args[0]->kind == Expr::Kind::Column &&
           def.columns[size_t(agg.args[0]->column)].type == ColumnType::Money;
}

Value SelectRun::totalValue(const Expr& agg, const Total& t) const {
    if (agg.op == "COUNT") {
        if (t.count > INT32_MAX) throw Error(hr::kInvalidArg, "Overflow.");
        return Value(int32_t(t.count));
    }
    if (t.count == 0) return {};
    if (agg.op == "MIN" || agg.op == "MAX") return t.best;
    const bool money = isCurrencyArg(agg, m_def);
    if (money && t.overflow) throw Error(hr::kInvalidArg, "Overflow.");
    if (agg.op == "SUM") return money ? Value(Currency{t.scaled}) : Value(t.sum);
    if (money) {
        const long double avg = (long double)t.scaled / (long double)t.count;
        return Value(Currency{int64_t(std::nearbyint(avg))});
    }
    return Value(t.sum / double(t.count));
}

void SelectRun::finishTotals(const Group& g) {
    for (size_t i = 0; i < m_aggregates.size(); ++i) {
        const Value v = totalValue(*m_aggregates[i], g.totals[i]);
        Datum d = Evaluator::fromValue(v);
        m_aggregates[i]->value = std::move(d);
    }
}

Result SelectRun::run() {
    if (m_s.where) {
        if (findAggregate(*m_s.where))
            throw Error(hr::kInvalidArg, "Cannot have aggregate function in WHERE clause (" +
                                             textOf(m_text, *m_s.where) + ").");
        m_ev.bind(*m_s.where);
    }
    bindOutputs();
    for (ExprPtr& g : m_s.groupBy) {
        if (findAggregate(*g))
            throw Error(hr::kInvalidArg, "Cannot have aggregate function in GROUP BY clause (" +
                                             textOf(m_text, *g) + ").");
        m_ev.bind(*g);
        if (g->kind == Expr::Kind::Column) {
            const ColumnDef& c = m_def.columns[size_t(g->column)];
            if (c.type == ColumnType::Ole)
                throw Error(hr::kInvalidArg, "The GROUP BY clause cannot group on field '" +
                                                 c.name + "' (" + columnTypeName(c.type) + ").");
        }
        m_grouped.push_back(g.get());
    }
    if (m_s.having) m_ev.bind(*m_s.having, true);
    bindOrder();

    for (Output& o : m_outputs)
        collectAggregates(*o.expr, m_aggregates);
    if (m_s.having) collectAggregates(*m_s.having, m_aggregates);
    m_totals = !m_aggregates.empty() || !m_s.groupBy.empty() || m_s.having;
    if (m_totals) {
        if (m_s.allColumns)
            throw Error(hr::kInvalidArg, "Cannot group on fields selected with '*'.");
        for (const Output& o : m_outputs)
            checkGrouped(*o.expr, m_grouped, m_text);
        if (m_s.having) checkGrouped(*m_s.having, m_grouped, m_text);
        // Totals of a field keep its type; totals of Currency stay Currency.
        for (Output& o : m_outputs) {
            if (o.expr->kind != Expr::Kind::Aggregate) continue;
            const Expr& agg = *o.expr;
            if (agg.op == "COUNT") {
                o.def = typedColumn(o.def.name, ColumnType::Long);
                o.typeKnown = true;
            } else if (agg.op == "SUM" || agg.op == "AVG") {
                o.def = typedColumn(o.def.name, isCurrencyArg(agg, m_def) ? ColumnType::Money
                                                                          : ColumnType::Double);
                o.typeKnown = true;
            } else if (agg.args[0]->kind == Expr::Kind::Column) {
                const std::string name = o.def.name;
                o.def = m_def.columns[size_t(agg.args[0]->column)];
                o.def.name = name;
                o.typeKnown = true;
            }
        }
    }

    // Each result row: its shown values, then the hidden sort values.
    std::vector<std::vector<Value>> rows;
    auto emit = [&](const std::vector<Value>& row) {
        std::vector<Value> out;
        out.reserve(m_outputs.size());
        for (Output& o : m_outputs)
            out.push_back(outputValue(o, row));
        rows.push_back(std::move(out));
    };

    if (!m_totals) {
        m_db.forEachRow(m_def.name, [&](RowId, const std::vector<Value>& row) {
            if (!m_s.where || m_ev.test(*m_s.where, row)) emit(row);
            return true;
        });
    } else {
        std::vector<Group> groups;
        std::unordered_map<std::string, size_t> byKey;
        std::vector<std::string> keys;
        Key key;
        m_db.forEachRow(m_def.name, [&](RowId, const std::vector<Value>& row) {
            if (m_s.where && !m_ev.test(*m_s.where, row)) return true;
            key.clear();
            for (const Expr* g : m_grouped) {
                if (g->kind == Expr::Kind::Column) {
                    const ColumnDef& c = m_def.columns[size_t(g->column)];
                    index::IndexKeyEncoder::appendValue(
                        key, c, row[size_t(g->column)], true,
                        index::IndexKeyEncoder::textSortOrder(c, m_db.format(), m_db.sortOrder())
                            .value_or(m_textOrder));
                    continue;
                }
                // A worked-out term groups by its value, keyed by the value's own type.
                const Value v = toValue(m_ev.evaluate(*g, row));
                ColumnDef def = typedColumn(std::string(), v.isNull() ? ColumnType::Long
                                                                      : typeOfValue(v));
                try {
                    index::IndexKeyEncoder::appendValue(key, def, v, true, m_textOrder);
                } catch (const Error&) {
                    throw Error(hr::kInvalidArg, "The GROUP BY clause cannot group on (" +
                                                     textOf(m_text, *g) + ").");
                }
            }
            std::string k(key.begin(), key.end());
            auto found = byKey.find(k);
            size_t at;
            if (found == byKey.end()) {
                at = groups.size();
                byKey.emplace(k, at);
                keys.push_back(std::move(k));
                groups.push_back({row, std::vector<Total>(m_aggregates.size())});
            } else {
                at = found->second;
            }
            addToTotals(groups[at], row);
            return true;
        });
        // A query that only totals gives one row, even over no rows.
        if (m_grouped.empty() && groups.empty()) {
            groups.push_back({std::vector<Value>(m_def.columns.size()),
                              std::vector<Total>(m_aggregates.size())});
            keys.emplace_back();
        }
        // Groups come out in the order of their grouped fields, as Jet sorts to group.
        std::vector<size_t> order(groups.size());
        std::iota(order.begin(), order.end(), size_t(0));
        std::sort(order.begin(), order.end(),
                  [&](size_t a, size_t b) { return keys[a] < keys[b]; });
        for (size_t gi : order) {
            const Group& g = groups[gi];
            finishTotals(g);
            if (m_s.having && !m_ev.test(*m_s.having, g.first)) continue;
            std::vector<Value> out;
            out.reserve(m_outputs.size());
            for (Output& o : m_outputs) {
                if (o.expr->kind == Expr::Kind::Aggregate && o.typeKnown) {
                    const size_t i = size_t(
                        std::find(m_aggregates.begin(), m_aggregates.end(), o.expr) -
                        m_aggregates.begin());
                    out.push_back(totalValue(*o.expr, g.totals[i]));
                } else {
                    out.push_back(outputValue(o, g.first));
                }
            }
            rows.push_back(std::move(out));
        }
    }

    // Types of worked-out columns come from their first value.
    for (size_t c = 0; c < m_outputs.size(); ++c) {
        Output& o = m_outputs[c];
        if (o.typeKnown) continue;
        ColumnType type = ColumnType::Text;
        for (const auto& row : rows)
            if (!row[c].isNull()) {
                type = typeOfValue(row[c]);
                break;
            }
        o.def = typedColumn(o.def.name, type);
        o.typeKnown = true;
    }

    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t(0));
    if (m_s.distinct) {
        // Jet sorts to find the duplicates, so distinct rows come out in order.
        std::vector<Key> keys(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            for (size_t c = 0; c < m_shown; ++c) {
                const Key k = outputKey(m_outputs[c], rows[i][c], true);
                keys[i].insert(keys[i].end(), k.begin(), k.end());
            }
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return keys[a] < keys[b]; });
        order.erase(std::unique(order.begin(), order.end(),
                                [&](size_t a, size_t b) { return keys[a] == keys[b]; }),
                    order.end());
    }
    std::vector<Key> sortKeys;
    if (!m_order.empty()) {
        sortKeys.resize(rows.size());
        for (size_t i : order)
            for (const auto& [at, ascending] : m_order) {
                const Key k = outputKey(m_outputs[at], rows[i][at], ascending);
                sortKeys[i].insert(sortKeys[i].end(), k.begin(), k.end());
            }
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return sortKeys[a] < sortKeys[b]; });
    }
    if (m_s.top > 0) {
        size_t n = size_t(m_s.top);
        if (m_s.topPercent)
            n = size_t(std::ceil(double(order.size()) * double(m_s.top) / 100.0));
        // With ORDER BY, rows tied with the last one kept are kept too, as in Jet.
        if (n > 0 && n < order.size() && !m_order.empty())
            while (n < order.size() && sortKeys[order[n]] == sortKeys[order[n - 1]])
                ++n;
        if (n < order.size()) order.resize(n);
    }

    Result r;
    for (size_t c = 0; c < m_shown; ++c) {
        r.columns.push_back(m_outputs[c].def.name);
        r.columnTypes.push_back(m_outputs[c].def.type);
    }
    r.rows.reserve(order.size());
    for (size_t i : order) {
        rows[i].resize(m_shown);
        r.rows.push_back(std::move(rows[i]));
    }
    return r;
}

}  // namespace

Result runSelect(Database& db, const TableDef& def, SelectStatement& s,
                 std::string_view statement, index::TextSortOrder textOrder) {
    SelectRun run(db, def, s, statement, textOrder);
    return run.run();
}

}  // namespace jet::sql
