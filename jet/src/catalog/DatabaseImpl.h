#pragma once

#include <cstdint>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "base/TextCodec.h"
#include "jet/Database.h"
#include "page/DatabaseHeader.h"
#include "page/Pager.h"
#include "tdef/StoredTableDef.h"
#include "tx/ChangeRunner.h"

namespace jet {

class RowWriter;

// The engine's view of an open database. Internal code (the writer, schema changes, the checker)
// and the engine's tests reach the pager and the decoded definitions through implOf().
class Database::Impl : private ChangeRunner::Observer {
public:
    Impl(std::filesystem::path path, const OpenOptions& options, DatabaseHeader header,
         std::unique_ptr<Pager> pager);

    const std::filesystem::path& path() const { return m_path; }
    const OpenOptions& options() const { return m_options; }
    const DatabaseHeader& header() const { return m_header; }
    Pager& pager() { return *m_pager; }
    const TextCodec& text() const { return m_text; }
    Format format() const { return m_pager->format(); }

    const std::vector<CatalogEntry>& catalog() const { return m_catalog; }
    const CatalogEntry* findTable(std::string_view name) const;
    // Parsed on first use and kept.
    const StoredTableDef& tableDefAtPage(uint32_t page, std::string_view name = {});
    const StoredTableDef& tableDef(std::string_view name);
    // The public description of the same definitions (Database::tableDef): kept beside the
    // stored one and refreshed with it, so references handed out see every change.
    const TableDef& describedAtPage(uint32_t page);
    const TableDef& described(std::string_view name);

    void loadCatalog();
    // Reads every cached definition again (after a change to the file); references handed out
    // stay valid and see the new content. Page 0 is read again too (a password change).
    // With `touched`, only what lies on those pages is read again (page 0's header, the
    // definitions with a page among them): the pages a step of a change handed out for writing.
    void reloadTableDefs(const std::set<uint32_t>* touched = nullptr);
    // Forgets the definition cached for a table being dropped (its pages are freed, so it can no
    // longer be read again); references handed out stay valid and keep the last content.
    void retireTableDef(uint32_t page);
    // Makes the database take changes (an open for writing); the definitions and the catalog
    // follow every change from then on.
    void startChanges(std::shared_ptr<JournalStore> journal);
    // What runs the changes; null when the database was opened read-only.
    ChangeRunner* changes() { return m_changes.get(); }
    // Writes a table's row count and next AutoNumber on its definition page. Inside a batch,
    // when the definition was read whole from that one page, the definition held here is
    // brought up to date at once and the page is not read again after the step (every insert
    // and delete writes the counters); otherwise the page is read again as for any change.
    void writeCounters(PageSet& pages, uint32_t defPage, uint32_t rowCount, uint32_t autoNumber);
    // Row changes (table/RowWriter.h); null when the database was opened read-only.
    std::shared_ptr<RowWriter>& writer() { return m_writer; }

private:
    std::filesystem::path m_path;
    OpenOptions m_options;
    DatabaseHeader m_header;
    std::unique_ptr<Pager> m_pager;
    TextCodec m_text;
    std::vector<CatalogEntry> m_catalog;
    mutable size_t m_lastFound = SIZE_MAX;  // where findTable last found a table
    std::map<uint32_t, std::unique_ptr<StoredTableDef>> m_defs;
    std::vector<std::unique_ptr<StoredTableDef>> m_retired;
    std::map<uint32_t, std::unique_ptr<TableDef>> m_described;  // by page, as in m_defs
    std::vector<std::unique_ptr<TableDef>> m_describedRetired;
    void retire(uint32_t page);
    void refreshDescription(uint32_t page, const StoredTableDef& def);
    // The page of a one-page Jet 4 definition as last read in full: when a change alters no
    // more than its row and AutoNumber counters (every insert does), only those are read again.
    std::map<uint32_t, std::vector<uint8_t>> m_defPageAsRead;
    bool countersOnlyChanged(StoredTableDef& def, uint32_t page);
    void stepDone(const std::set<uint32_t>& touched) override { reloadTableDefs(&touched); }
    void written(bool) override { reloadTableDefs(); }
    void dropped() override;
    std::unique_ptr<ChangeRunner> m_changes;
    std::shared_ptr<RowWriter> m_writer;
};

// The one friend of the public Database: hands its Impl to code that includes this header.
class DatabaseInternals {
public:
    static Database::Impl& of(Database& db) { return *db.m_impl; }
};

inline Database::Impl& implOf(Database& db) {
    return DatabaseInternals::of(db);
}

}  // namespace jet
