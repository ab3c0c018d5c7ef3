#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "index/IndexEntry.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexPageSink.h"
#include "jet/Database.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {

// A row change refused because it breaks an index (DB_E_INTEGRITYVIOLATION).
inline constexpr uint32_t kIntegrityViolation = 0x80040E2F;

// What one row change does to one index, worked out before any page changes.
struct IndexRowChange {
    std::optional<IndexEntry> remove;  // the old row's entry, when the index lists it
    std::optional<IndexEntry> insert;  // the new row's entry, when the index should list it
    int uniqueDelta = 0;               // change of the distinct-key count (uniqueCount)
    bool empty() const { return !remove && !insert; }
};

// Keeps one real index of a table in step with its rows, in two phases so that
// a refused change leaves nothing behind: prepare() for every index of the
// table first (it only reads pages), then apply() for every index. Between the
// two, nothing else may change the index. Jet 4 only.
//
// The table definition must outlive the writer. Not thread-safe.
class IndexWriter {
public:
    // `realIndex` is the position in table.realIndexes; `databaseSortOrder` is
    // Database::sortOrder().
    IndexWriter(const StoredTableDef& table, size_t realIndex, Format format,
                uint32_t databaseSortOrder);

    // The index's logical names ("PrimaryKey", or "A/B" when shared).
    const std::string& name() const { return m_name; }
    // The root page, after any root split made by apply().
    uint32_t rootPage() const { return m_root; }
    // For a writer made from a definition read before an earlier root move of
    // the same change (PageSetIndexSink::storedRoot()).
    void setRootPage(uint32_t page) { m_root = page; }
    bool isPrimaryKey() const { return m_primary; }

    // Phase 1. `oldRow` is null for an insert, `newRow` null for a delete; rows
    // hold one value per table column (StoredTableDef::columns order) and the ids
    // are where the rows live (a moved row keeps its first slot). Throws
    // kIntegrityViolation for a duplicate in a unique index or a null in a
    // primary key or required index, hr::kNotSupported when the index's keys
    // cannot be built (with the encoder's reason), hr::kInvalidArg for a value
    // that does not fit its column or a key too long for a page, hr::kCorrupt
    // for damaged index pages.
    IndexRowChange prepare(IndexPageSink& sink, const std::vector<Value>* oldRow, RowId oldId,
                           const std::vector<Value>* newRow, RowId newId) const;

    // The pieces of prepare() for work that keeps new entries aside (IndexBatch):
    // the entry a new row gets (nullopt when the index leaves the row out), with
    // the same refusals for nulls, key length and keys that cannot be built;
    // then the refusal for a key already taken in a unique index (keyTaken) or a
    // row the index lists already (rowListed).
    std::optional<IndexEntry> entryFor(const std::vector<Value>& row, RowId id) const;
    void checkNewEntry(const std::vector<Value>& row, RowId id, bool keyTaken,
                       bool rowListed) const;
    const StoredRealIndex& definition() const { return m_index; }

    // Phase 2: changes the pages. A throw here leaves the change half made; the
    // caller then discards all pages of the change.
    void apply(IndexPageSink& sink, const IndexRowChange& change);

private:
    struct KeyColumn {
        size_t position = 0;
        const StoredColumn* column = nullptr;
    };

    void checkEncodable() const;
    std::string describe(const std::vector<Value>& row) const;
    std::string where() const;

    const StoredTableDef& m_table;
    StoredRealIndex m_index;
    Format m_format;
    IndexKeyEncoder m_encoder;
    std::vector<KeyColumn> m_columns;
    std::string m_name;
    bool m_primary = false;
    uint32_t m_root = 0;
};

}  // namespace jet::index
