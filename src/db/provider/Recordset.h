#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/provider/Constants.h"
#include "db/provider/Fields.h"
#include "db/provider/RowStore.h"
#include "db/provider/SortText.h"
#include "db/provider/TableSnapshot.h"

namespace tessor::provider {

class Connection;
struct EngineSession;

// A client-side static recordset: a snapshot of a whole table (or of a schema rowset) held in
// memory, walked by a current position, reordered by a sort text without copying rows, searched
// by Find. Positions are 0-based in the current order; bookmarks are the 1-based positions.
// Random access by position is O(1).
// Held as std::shared_ptr (the record view and the preview pane share one). Not thread-safe.
class Recordset {
public:
    static std::shared_ptr<Recordset> create();
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Only the client-side cursor exists; the value is kept and reported back.
    void setCursorLocation(int location);
    int cursorLocation() const { return m_cursorLocation; }

    // source: "Select * From <table>" (the name bare, or in [brackets] or `backquotes` when it
    // holds blanks) with options kCmdText or kCmdUnspecified; the bare table name with
    // kCmdTable or kCmdTableDirect. The cursor is always static; the lock type is kept for the
    // write operations. The recordset opens at its first record.
    void open(std::string_view source, const std::shared_ptr<Connection>& activeConnection,
              int cursorType = ado::kOpenStatic, int lockType = ado::kLockPessimistic,
              long options = ado::kCmdText);
    // Opens over rows already built in memory (schema rowsets use this; so do tests). The rows
    // have no place in a file, so Requery keeps them.
    void openSnapshot(std::unique_ptr<RowStore> rows);
    // Nothing happens when it is already closed.
    void close();
    int state() const { return m_open ? ado::kStateOpen : ado::kStateClosed; }
    bool isOpen() const { return m_open; }

    bool isBOF() const;
    bool isEOF() const;
    long recordCount() const;

    // MoveNext at EOF and MovePrevious at BOF are errors (no current record); MoveFirst and
    // MoveLast on an empty recordset leave it at BOF and EOF.
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    // Moves n records from start (kBookmarkCurrent, kBookmarkFirst, kBookmarkLast). Past the
    // last record the recordset is at EOF, before the first at BOF.
    void move(long n, int start = ado::kBookmarkCurrent);

    // 0-based position of the current record; -1 at BOF, recordCount() at EOF.
    long position() const { return m_pos; }
    // 1-based position of the current record in the current order.
    long bookmark() const;
    void setBookmark(long bookmark);

    // "Name ASC, [Other] DESC". Empty text removes the sort. Text sorts without regard to case,
    // accented letters beside their plain ones;
    // ties keep the table's order; nulls come first ascending and last descending; yes comes
    // before no ascending. Afterwards the first record is current. A bad text changes nothing.
    void setSort(std::string_view sort);
    const std::string& sort() const { return m_sortText; }

    // Searches from the current record (or from the record with bookmark start), skipping
    // `skip` records first, forward (1) or backward (-1). The match becomes current; without one
    // the recordset is at EOF (forward) or BOF (backward). A bad criterion changes nothing.
    void find(std::string_view criterion, long skip = 0, int direction = ado::kSearchForward,
              std::optional<long> start = std::nullopt);

    // Reads the rows again (a table from its file, with the columns it has now); the sort text
    // stays and is applied again; the first record becomes current.
    void requery(long options = -1);

    Fields& fields() { return m_fields; }
    const Fields& fields() const { return m_fields; }

    // Direct access for views over the whole recordset: the value at a 0-based position in the
    // current order, without moving. ProviderError when position or column is out of range.
    Variant valueAt(long position, size_t column) const;
    // The same by the value-as-text rule.
    std::string textAt(long position, size_t column) const;
    // The columns; empty while closed.
    const std::vector<ColumnInfo>& columns() const;
    // Memory the snapshot occupies (rows, order and row places), by capacity.
    size_t memoryBytes() const;
    // What the snapshot's values amount to (see RowStore::dataBytes).
    size_t dataBytes() const;

    // The row of the store at the current record; ProviderError at BOF or EOF.
    size_t currentRow() const;
    const RowStore* rows() const { return m_snapshot.rows.get(); }

private:
    void requireOpen() const;
    void adopt(TableSnapshot snapshot);
    void applySort(const std::vector<SortText::Key>& keys);
    long count() const {
        return m_snapshot.rows ? static_cast<long>(m_snapshot.rows->rowCount()) : 0;
    }
    // The store's row at a position of the current order.
    size_t rowAt(long position) const {
        return m_order.empty() ? static_cast<size_t>(position)
                               : m_order[static_cast<size_t>(position)];
    }

    Fields m_fields;
    bool m_open = false;
    int m_cursorLocation = ado::kUseServer;
    int m_lockType = ado::kLockPessimistic;
    TableSnapshot m_snapshot;
    std::vector<uint32_t> m_order;  // position -> row of the store; empty while unsorted
    long m_pos = -1;
    std::string m_sortText;
    std::vector<SortText::Key> m_sortKeys;
    // Where the rows came from, for Requery and later for writing: the session shared with the
    // connection and the table's name. Empty for rowsets made in memory.
    std::shared_ptr<EngineSession> m_session;
    std::string m_table;
};

}  // namespace tessor::provider
