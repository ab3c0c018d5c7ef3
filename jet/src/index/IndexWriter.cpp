#include "index/IndexWriter.h"

#include <cstdio>

#include "index/IndexPage.h"
#include "index/IndexTreeEditor.h"
#include "jet/Error.h"
#include "jet/ValueText.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {
namespace {

// How a key value is named in a refusal: as the grid shows it, texts in quotes.
std::string valueText(const Value& v) {
    switch (v.type()) {
        case ValueType::Null:
            return "Null";
        case ValueType::Text:
            return "\"" + v.as<std::string>() + "\"";
        case ValueType::Bytes:
            return "(" + std::to_string(v.as<std::vector<uint8_t>>().size()) + " bytes)";
        default:
            return ValueText::toText(v);
    }
}

}  // namespace

IndexWriter::IndexWriter(const StoredTableDef& table, size_t realIndex, Format format,
                         uint32_t databaseSortOrder)
    : m_table(table),
      m_index(realIndex < table.realIndexes.size() ? table.realIndexes[realIndex]
                                                   : StoredRealIndex{}),
      m_format(format),
      m_encoder(table, m_index, format, databaseSortOrder),
      m_root(m_index.firstPage) {
    if (realIndex >= table.realIndexes.size())
        throw Error(hr::kInvalidArg, "Table \"" + table.name + "\" has no index number " +
                                         std::to_string(realIndex) + ".");
    for (const IndexDef& logical : table.indexes) {
        if (logical.realIndex != realIndex) continue;
        if (!m_name.empty()) m_name += "/";
        m_name += logical.name;
        if (logical.kind == IndexKind::Primary) m_primary = true;
    }
    if (m_name.empty()) m_name = "#" + std::to_string(m_index.number);
    for (const IndexColumn& ic : m_index.columns)
        for (size_t i = 0; i < table.columns.size(); ++i)
            if (table.columns[i].id == ic.columnId) m_columns.push_back({i, &table.columns[i]});
}

std::string IndexWriter::where() const {
    return "index \"" + m_name + "\" of table \"" + m_table.name + "\"";
}

std::string IndexWriter::describe(const std::vector<Value>& row) const {
    std::string s;
    for (const KeyColumn& kc : m_columns) {
        if (!s.empty()) s += ", ";
        s += kc.column->name + " = " +
             (kc.position < row.size() ? valueText(row[kc.position]) : std::string("Null"));
    }
    return s;
}

void IndexWriter::checkEncodable() const {
    if (!m_encoder.canEncode())
        throw Error(hr::kNotSupported, "The table cannot be changed: " + where() +
                                           " cannot be kept up to date, because " +
                                           m_encoder.cannotEncodeReason() + ".");
}

std::optional<IndexEntry> IndexWriter::entryFor(const std::vector<Value>& row, RowId id) const {
    checkEncodable();
    const bool anyNull = m_encoder.anyNull(row);
    if (anyNull && (m_primary || m_index.isRequired())) {
        std::string column;
        for (const KeyColumn& kc : m_columns)
            if (kc.column->type != ColumnType::Bool &&
                (kc.position >= row.size() || row[kc.position].isNull())) {
                column = kc.column->name;
                break;
            }
        throw Error(kIntegrityViolation,
                    m_primary
                        ? "Column \"" + column + "\" is part of the primary key \"" + m_name +
                              "\" of table \"" + m_table.name + "\" and cannot be empty (Null)."
                        : "Column \"" + column + "\" cannot be empty (Null): " + where() +
                              " requires a value.");
    }
    if (m_index.ignoresNulls() && m_encoder.allNull(row)) return std::nullopt;
    IndexEntry e;
    e.key = m_encoder.encode(row);
    e.row = id;
    const uint32_t limit = IndexTreeEditor::maxKeyBytes(m_format);
    if (e.key.size() > limit)
        throw Error(hr::kInvalidArg, "The values of " + where() + " make a key of " +
                                         std::to_string(e.key.size()) + " bytes; at most " +
                                         std::to_string(limit) + " fit on an index page.");
    return e;
}

void IndexWriter::checkNewEntry(const std::vector<Value>& row, RowId id, bool keyTaken,
                                bool rowListed) const {
    if (keyTaken && m_index.isUnique() && !m_encoder.allNull(row))
        throw Error(kIntegrityViolation, "The change would create a duplicate value in " + where() +
                                             ", which allows each value only once: " +
                                             describe(row) + " is already present.");
    if (rowListed)
        throw Error(hr::kInvalidArg, "The row at page " + std::to_string(id.page) + " row " +
                                         std::to_string(id.row) + " is already listed in " +
                                         where() + ".");
}

IndexRowChange IndexWriter::prepare(IndexPageSink& sink, const std::vector<Value>* oldRow,
                                    RowId oldId, const std::vector<Value>* newRow,
                                    RowId newId) const {
    IndexRowChange change;
    if (!oldRow && !newRow) return change;
    checkEncodable();
    if (newRow) change.insert = entryFor(*newRow, newId);
    if (oldRow && !(m_index.ignoresNulls() && m_encoder.allNull(*oldRow))) {
        IndexEntry e;
        e.key = m_encoder.encode(*oldRow);
        e.row = oldId;
        change.remove = std::move(e);
    }
    if (change.remove && change.insert && change.remove->key == change.insert->key &&
        change.remove->row == change.insert->row)
        return {};

    // only reads from here on
    IndexTreeEditor tree(sink, m_format, m_table.tdefPage, m_root);
    const std::optional<RowId> except = oldRow ? std::optional<RowId>(oldId) : std::nullopt;
    if (change.remove) {
        // a row the index does not list has nothing to take out
        if (tree.locate(*change.remove) == IndexTreeEditor::Presence::Absent)
            change.remove.reset();
        else if (!tree.findOtherRowWithKey(change.remove->key, except))
            --change.uniqueDelta;
    }
    if (change.insert) {
        bool listed = false;
        const std::optional<RowId> other =
            tree.findOtherRowWithKey(change.insert->key, except, &change.insert->row, &listed);
        checkNewEntry(*newRow, newId, other.has_value(),
                      listed && !(change.remove && change.remove->row == change.insert->row));
        if (!other) ++change.uniqueDelta;
    }
    return change;
}

void IndexWriter::apply(IndexPageSink& sink, const IndexRowChange& change) {
    if (change.empty()) return;
    IndexTreeEditor tree(sink, m_format, m_table.tdefPage, m_root);
    if (change.remove) tree.remove(*change.remove);
    if (change.insert) tree.insert(*change.insert);
    m_root = tree.root();
}

}  // namespace jet::index
