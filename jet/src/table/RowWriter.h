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
#include "page/PageSet.h"
#include "table/AutoNumbers.h"
#include "table/ColumnRules.h"
#include "table/ReferentialIntegrity.h"
#include "tdef/StoredTableDef.h"
#include "tx/ChangeRunner.h"

namespace jet {

// Row changes on an open Jet 4 database, with the rules a row is held to. Each call is one
// all-or-nothing change run by the database's ChangeRunner: values are checked and every page
// prepared in memory first (a refused value changes nothing), then the pages reach the file
// under the journal.
class RowWriter : private ChangeRunner::Observer {
public:
    RowWriter(Database::Impl& db, ChangeRunner& changes);
    ~RowWriter() override;

    // keepAutoNumbers: AutoNumber fields given a value keep it; the counter moves past it.
    RowId insert(std::string_view table, const std::vector<Value>& values,
                 bool keepAutoNumbers = false);
    // Runs body as one change: the row changes and page changes made inside it reach the file
    // together, under one journal, or not at all. Inside, reads (rows, long values, table
    // definitions) see the change so far. When anything inside throws, the whole change is
    // dropped and the exception passes on, even if body caught it. Nested calls join the
    // outer change.
    void transact(const std::function<void()>& body);
    // One change to pages (for schema changes and other engine-internal work): body prepares
    // the pages; they are written when it returns, or, inside transact, with the whole change.
    // Checks that the database may be changed at all (open for writing, Jet 4, not failed).
    void changePages(const std::function<void(PageSet&)>& body);

    void update(std::string_view table, RowId row, const std::vector<Value>& values);
    void remove(std::string_view table, RowId row);
    // The same, allowed on system tables too: for schema changes, which add and remove the
    // catalog rows (MSysObjects, MSysACEs) of the objects they make and drop.
    RowId insertSystemRow(std::string_view table, const std::vector<Value>& values);
    void removeSystemRow(std::string_view table, RowId row);
    // A catalog row rewritten (a table's DateUpdate and property blob); the field rules read
    // from the blobs are read again.
    void updateSystemRow(std::string_view table, RowId row, const std::vector<Value>& values);

private:
    struct Located {
        uint32_t page = 0, slot = 0;          // the row's own slot (its RowId)
        uint32_t dataPage = 0, dataSlot = 0;  // where its bytes live (differs when moved)
        bool moved = false;
        std::vector<uint8_t> bytes;
    };

    const StoredTableDef& writableTable(std::string_view table);
    Located locate(PageSet& pages, const StoredTableDef& def, RowId row);
    // The row's values within the change being prepared; nullopt when it no longer exists.
    std::optional<std::vector<Value>> readRow(const StoredTableDef& def, RowId row);
    // Carries a primary row's deletion or key change to the related tables' rows.
    void cascade(const std::vector<ReferentialIntegrity::Dependents>& dependents);
    void checkWritable();
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
    std::map<uint32_t, ColumnRules> m_rules;  // by TDEF page
    AutoNumbers m_autoNumbers;
    bool m_systemRows = false;  // insertSystemRow/removeSystemRow running
};

}  // namespace jet
