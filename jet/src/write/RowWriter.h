#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DatabaseImpl.h"
#include "write/JournalStore.h"
#include "write/PageSet.h"

namespace jet {

// Row changes on an open Jet 4 database. Each call is one all-or-nothing change: values are
// checked and every page prepared in memory first (a refused value changes nothing), then the
// pages reach the file under the journal (see Journal.h). After a failure while writing, the
// writer refuses further changes until the database is opened again.
class RowWriter {
public:
    // journal may be null (an in-memory image opened without one): every change is refused.
    RowWriter(Database::Impl& db, std::shared_ptr<JournalStore> journal)
        : m_db(db), m_journal(std::move(journal)) {}

    RowId insert(std::string_view table, const std::vector<Value>& values);
    void update(std::string_view table, RowId row, const std::vector<Value>& values);
    void remove(std::string_view table, RowId row);

private:
    struct Located {
        uint32_t page = 0, slot = 0;          // the row's own slot (its RowId)
        uint32_t dataPage = 0, dataSlot = 0;  // where its bytes live (differs when moved)
        bool moved = false;
        std::vector<uint8_t> bytes;
    };

    const TableDef& writableTable(std::string_view table);
    Located locate(PageSet& pages, const TableDef& def, RowId row);
    template <typename Body>
    void change(Body&& body);

    Database::Impl& m_db;
    std::shared_ptr<JournalStore> m_journal;
    std::string m_failure;  // set after a failed write
};

}  // namespace jet
