#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "index/HeldIndexEntries.h"
#include "index/ParsedIndexPages.h"
#include "page/PageSet.h"
#include "table/AutoNumbers.h"
#include "table/ColumnRules.h"
#include "table/ReferentialIntegrity.h"
#include "tdef/StoredTableDef.h"
#include "tx/ChangeRunner.h"

namespace jet {

struct EncodedRow;

// Row changes on an open database (either format), with the rules a row is held to. Each call is
// one all-or-nothing change run by the database's ChangeRunner: values are checked and every page
// prepared in memory first (a refused value changes nothing), then the pages reach the file
// under the journal. Any table may be written here, the catalog's system tables too (the
// schema changes add and remove their rows); what users may write, and what a change to a
// primary row does to its related rows, is UserRows' (table/UserRows.h).
class RowWriter : private ChangeRunner::Observer {
public:
    RowWriter(Database::Impl& db, ChangeRunner& changes);
    ~RowWriter() override;

    // keepAutoNumbers: AutoNumber fields given a value keep it; the counter moves past it.
    // holdIndexEntries: inside transact(), the row's index entries may be held aside and
    // written together with the others (users' rows); without it they are written with the row
    // (the catalog's rows, which a schema change adds).
    RowId insert(std::string_view table, const std::vector<Value>& values,
                 bool keepAutoNumbers = false, bool holdIndexEntries = false);
    // Runs body as one change: the row changes and page changes made inside it reach the file
    // together, under one journal, or not at all. Inside, reads (rows, long values, table
    // definitions) see the change so far. When anything inside throws, the whole change is
    // dropped and the exception passes on, even if body caught it. Nested calls join the
    // outer change.
    void transact(const std::function<void()>& body);
    // One change to pages (for schema changes and other engine-internal work): body prepares
    // the pages; they are written when it returns, or, inside transact, with the whole change.
    // Checks that the database may be changed at all (open for writing, not failed).
    void changePages(const std::function<void(PageSet&)>& body);

    // Both give back the related tables' rows that the change to a primary row reaches
    // (ReferentialIntegrity::dependents), for the caller to carry the change to.
    std::vector<ReferentialIntegrity::Dependents> update(std::string_view table, RowId row,
                                                         const std::vector<Value>& values);
    std::vector<ReferentialIntegrity::Dependents> remove(std::string_view table, RowId row);

    // The row's values within the change being prepared; nullopt when it no longer exists.
    // Only inside a change.
    std::optional<std::vector<Value>> readRow(const StoredTableDef& def, RowId row);
    bool inChange() const { return m_changes.currentBatch() != nullptr; }
    // Open for writing and not failed; jet::Error otherwise.
    void checkWritable();
    // A table of the database's own (MSys...): by its flags or by its catalog entry.
    bool isSystemTable(const StoredTableDef& def) const;
    // The field rules are read again from the property blobs (a catalog row that holds one is
    // being rewritten).
    void forgetRules() { m_rules.clear(); }

private:
    struct Located {
        uint32_t page = 0, slot = 0;          // the row's own slot (its RowId)
        uint32_t dataPage = 0, dataSlot = 0;  // where its bytes live (differs when moved)
        bool moved = false;
        std::vector<uint8_t> bytes;
    };

    const StoredTableDef& writableTable(std::string_view table);
    Located locate(PageSet& pages, const StoredTableDef& def, RowId row);
    void stepDone(const std::set<uint32_t>&) override {}
    // A failed write or a dropped batch leaves the caches below describing pages that differ.
    void written(bool failed) override;
    void dropped() override;
    // The table's field rules, read once from its property blob and kept until a change to
    // the schema.
    const ColumnRules& rulesFor(const StoredTableDef& def);
    void forgetCaches();

    Database::Impl& m_db;
    ChangeRunner& m_changes;
    // Within transact(), index entries of inserted rows are held aside and written together.
    index::HeldIndexEntries m_heldEntries;
    // Index pages parsed by earlier changes, for single-row changes to walk again.
    index::ParsedIndexPages m_parsedIndexPages;
    std::map<uint32_t, ColumnRules> m_rules;  // by TDEF page
    AutoNumbers m_autoNumbers;
    // The field buffers of the last row inserted, kept for the next one.
    std::unique_ptr<EncodedRow> m_spare;
    std::vector<Value> m_spareValues;  // the values of the last row inserted
};

}  // namespace jet
