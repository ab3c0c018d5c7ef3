#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/Constants.h"
#include "provider/Fields.h"
#include "provider/RowStore.h"
#include "provider/SortText.h"
#include "provider/TableSnapshot.h"

namespace tessor::provider {

class Connection;
struct EngineSession;

// A client-side static recordset: a snapshot of a whole table (or of a schema rowset) held in
// memory, walked by a current position, reordered by a sort text without copying rows, searched
// by Find. Positions are 0-based in the current order; bookmarks are the 1-based positions.
// Random access by position is O(1).
//
// Records of a table are changed through the recordset: a field write starts editing the
// current record, addNew starts a new one, and update writes the edit through the engine
// (one atomic change of the file) before the snapshot takes it. Like a client-side cursor of
// old, a changed record keeps its place in the current order and a new one is placed at the
// end until the next requery or sort. Moving to another record saves a pending edit first; if
// that save is refused, the move does not happen.
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
    // Called while open and requery read the table, for a progress display that may stop them
    // (hr::kCanceled; the recordset stays as it was). Empty: none.
    void setLoadProgress(LoadProgress progress) { m_loadProgress = std::move(progress); }
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
    // MoveLast on an empty recordset leave it at BOF and EOF. After deleteRecord, MoveNext goes
    // to the record that followed the deleted one and MovePrevious to the one before it.
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

    // "Name ASC, [Other] DESC". Empty text removes the sort. Text sorts in the database's order,
    // as its indexes and ORDER BY do (case does not count, accented letters sit beside their
    // plain ones); ties keep the table's order; nulls come first ascending and last descending; yes comes
    // before no ascending. Afterwards the first record is current. A bad text changes nothing.
    void setSort(std::string_view sort);
    const std::string& sort() const { return m_sortText; }

    // Searches from the current record (or from the record with bookmark start), skipping
    // `skip` records first, forward (1) or backward (-1). The match becomes current; without one
    // the recordset is at EOF (forward) or BOF (backward). A bad criterion changes nothing.
    void find(std::string_view criterion, long skip = 0, int direction = ado::kSearchForward,
              std::optional<long> start = std::nullopt);

    // Reads the rows again (a table from its file, with the columns it has now); the sort text
    // stays and is applied again; the first record becomes current. A pending edit is dropped.
    void requery(long options = -1);

    // Starts a new record: no record is current until update saves it (or cancelUpdate drops
    // it), and its fields read as null until written. A pending edit of the current record is
    // saved first.
    void addNew();
    // Writes the pending edit through to the file: a new record is inserted (the values the
    // database assigns, such as AutoNumbers, show in the snapshot afterwards) and becomes the
    // current record, at the end of the current order; a changed record is rewritten in place.
    // Nothing happens without a pending edit. A refusal (ProviderError with the database's
    // description) leaves the file, the snapshot and the pending edit as they were.
    void update();
    // Drops the pending edit; after addNew, the record that was current before is again.
    void cancelUpdate();
    // Removes the current record from the file and the snapshot (affect: only kAffectCurrent).
    // The records after it move up one position; the deleted record stays current, without
    // values, until the next move. During addNew it drops the new record instead.
    void deleteRecord(int affect = ado::kAffectCurrent);
    // Removes the records at `positions` (0-based in the current order, all taken before any
    // record goes; a repeated one counts once) from the file and the snapshot, in the order
    // given, as one change of the file. When the database refuses one, the records before it in
    // the list are removed (again as one change, so that a crash leaves either none or all of
    // them gone), it and the ones after it stay, and the refusal is thrown. Returns how many
    // records went. A pending edit is saved first, as on a move. Afterwards the record that
    // took the place of the lowest removed position is current (EOF when none did).
    long deleteRecords(const std::vector<long>& positions);
    // What writeTexts did.
    struct TextWrite {
        struct Refusal {
            long line;                // 0-based line of the text
            std::string description;  // the database's words
        };
        long records = 0;  // records the text reached (written or left as they were)
        std::vector<Refusal> refusals;
        bool stopped = false;  // the progress callback asked to stop
    };
    // Writes lines of text into the records from position `first` on (0-based in the current
    // order), line i into record first + i, piece k of a line into field firstField + k, each
    // piece read by the value-as-text rule as the field stores it. Pieces beyond the last field
    // are ignored, fields beyond the last piece keep their values, and lines beyond the last
    // record are dropped: no record is added. A piece that reads back as the field's value
    // already changes nothing (so an AutoNumber that keeps its value is no refusal).
    // A piece the field refuses leaves that field as it was and is reported, and the record's
    // other fields are still written; a record the database refuses is reported and left as it
    // was. With stopAtRefusal the first refusal of either kind ends the write instead, the
    // records before it kept. Records are written many at a time, each batch as one change of
    // the file in line order, so a crash leaves the first so many lines written. progress is
    // called before each batch with the number of lines done; false stops the write there.
    // Afterwards the last record the text reached is current. A pending edit is saved first.
    TextWrite writeTexts(long first, size_t firstField,
                         const std::vector<std::vector<std::string>>& lines, bool stopAtRefusal,
                         const std::function<bool(long)>& progress = {});
    // kEditNone, kEditInProgress (fields of the current record written) or kEditAdd.
    int editMode() const { return m_editMode; }

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
    friend class Field;
    Variant fieldValue(size_t column) const;
    void setFieldValue(size_t column, const Variant& value);
    void requireOpen() const;
    void requireWritable() const;
    // What every move does first: a pending edit is saved, a new record with nothing written
    // is dropped, and a deleted current record is left behind.
    void leaveCurrent();
    void dropEdit();
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
    LoadProgress m_loadProgress;
    std::vector<uint32_t> m_order;  // position -> row of the store; empty while unsorted
    long m_pos = -1;
    std::string m_sortText;
    std::vector<SortText::Key> m_sortKeys;
    int m_editMode = ado::kEditNone;
    std::vector<std::optional<Variant>> m_pending;  // by column, while editing
    bool m_currentDeleted = false;  // the record at m_pos took the deleted one's place
    // Where the rows came from, for Requery and for writing: the session shared with the
    // connection and the table's name. Empty for rowsets made in memory.
    std::shared_ptr<EngineSession> m_session;
    std::string m_table;
};

}  // namespace tessor::provider
