#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "tdef/StoredTableDef.h"

namespace jet {

class TextCodec;

// What a table's property blob (its catalog row's LvProp) says a field's values must be:
// "Required" refuses nulls, "AllowZeroLength" set to No refuses empty text. These live in the
// blob, not in the column descriptors, so a field without an index is held to them only here.
// A property the blob does not hold leaves the field unconstrained; a damaged blob constrains
// nothing rather than refusing every change.
class ColumnRules {
public:
    ColumnRules() = default;
    // Reads the table's blob from MSysObjects (through the pager, so a change being prepared
    // is seen).
    static ColumnRules load(Database::Impl& db, const StoredTableDef& table);
    // codePage decodes the names of an Access 97 blob (Latin-1 without it).
    static ColumnRules parse(const std::vector<uint8_t>& blob, const StoredTableDef& table,
                             const TextCodec* codePage = nullptr);

    // Throws index::kIntegrityViolation naming the table and field for the first value the
    // rules refuse. `row` holds one value per column, in StoredTableDef::columns order.
    void check(const StoredTableDef& table, const std::vector<Value>& row) const;

    bool required(size_t column) const { return column < m_required.size() && m_required[column]; }
    bool refusesEmptyText(size_t column) const {
        return column < m_noEmptyText.size() && m_noEmptyText[column];
    }

private:
    std::vector<bool> m_required;
    std::vector<bool> m_noEmptyText;
};

}  // namespace jet
