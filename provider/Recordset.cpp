#include "provider/Recordset.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

#include "provider/CommandText.h"
#include "provider/Connection.h"
#include "provider/EngineSession.h"
#include "provider/EngineValue.h"
#include "provider/FindCriterion.h"
#include "provider/ProviderError.h"
#include "provider/TableLoader.h"
#include "provider/ValueText.h"

#include "jet/Text.h"

namespace tessor::provider {

namespace {

const std::vector<ColumnInfo> kNoColumns;

[[noreturn]] void noCurrentRecord() {
    throw ProviderError(hr::kNoCurrentRecord,
                        "Either BOF or EOF is True, or the current record has been deleted.");
}

// A random (version 4) GUID in the file's byte order, for a new record's ReplicationID field:
// made here rather than by the database so that the snapshot knows it without reading back.
Guid randomGuid() {
    static std::mt19937_64 gen{std::random_device{}()};
    Guid g;
    for (size_t i = 0; i < 16; i += 8) {
        const uint64_t r = gen();
        for (size_t k = 0; k < 8; ++k)
            g.bytes[i + k] = static_cast<uint8_t>(r >> (8 * k));
    }
    g.bytes[7] = static_cast<uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version, group 3 is LE
    g.bytes[8] = static_cast<uint8_t>((g.bytes[8] & 0x3F) | 0x80);  // variant
    return g;
}

// The sort keys of one text column, all rows in one buffer: row r's key is
// bytes[offsets[r] .. offsets[r + 1]).
struct TextSortKeys {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> offsets;
    std::vector<bool> nulls;

    // <0, 0, >0 as row a's key sorts before, with or after row b's.
    int compare(size_t a, size_t b) const {
        const size_t na = offsets[a + 1] - offsets[a];
        const size_t nb = offsets[b + 1] - offsets[b];
        if (const size_t n = std::min(na, nb); n > 0) {
            const int c = std::memcmp(bytes.data() + offsets[a], bytes.data() + offsets[b], n);
            if (c != 0) return c < 0 ? -1 : 1;
        }
        return na < nb ? -1 : na > nb ? 1 : 0;
    }
};

jet::RowId rowIdOf(uint32_t packed) {
    return jet::RowId{packed >> 8, static_cast<uint8_t>(packed & 0xFF)};
}

}  // namespace

std::shared_ptr<Recordset> Recordset::create() {
    return std::make_shared<Recordset>();
}

Recordset::Recordset() : m_fields(*this) {}
Recordset::~Recordset() = default;

void Recordset::setCursorLocation(int location) {
    if (location != ado::kUseClient && location != ado::kUseServer)
        throw ProviderError(hr::kInvalidArgument, "The cursor location is not valid.");
    if (m_open)
        throw ProviderError(hr::kObjectOpen,
                            "The cursor location cannot change while the recordset is open.");
    m_cursorLocation = location;
}

void Recordset::requireOpen() const {
    if (!m_open)
        throw ProviderError(hr::kObjectClosed,
                            "Operation is not allowed when the recordset is closed.");
}

void Recordset::open(std::string_view source, const std::shared_ptr<Connection>& connection,
                     int cursorType, int lockType, long options) {
    if (m_open)
        throw ProviderError(hr::kObjectOpen,
                            "Operation is not allowed when the recordset is open.");
    if (!connection || !connection->isOpen())
        throw ProviderError(hr::kConnectionInvalid,
                            "The connection cannot be used to perform this operation. It is "
                            "either closed or invalid in this context.");
    std::string table;
    if (options == ado::kCmdTable || options == ado::kCmdTableDirect) {
        // A bare table name; brackets around it are allowed as in a command.
        std::string_view name = source;
        if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        table = std::string(name);
    } else if (options == ado::kCmdText || options == ado::kCmdUnspecified)
        table = CommandText::tableOfSelectAll(source);
    else
        throw ProviderError(hr::kInvalidArgument, "The command options are not valid.");
    std::shared_ptr<EngineSession> session = connection->session();
    TableSnapshot snap = TableLoader::load(*session->db, table, m_loadProgress);
    m_session = std::move(session);
    m_table = std::move(table);
    m_lockType = lockType;
    adopt(std::move(snap));
}

void Recordset::openSnapshot(std::unique_ptr<RowStore> rows) {
    if (m_open)
        throw ProviderError(hr::kObjectOpen,
                            "Operation is not allowed when the recordset is open.");
    if (!rows) throw ProviderError(hr::kInvalidArgument, "No rows were given.");
    m_session.reset();
    m_table.clear();
    TableSnapshot snap;
    snap.rows = std::move(rows);
    adopt(std::move(snap));
}

void Recordset::adopt(TableSnapshot snapshot) {
    if (snapshot.rows->rowCount() > UINT32_MAX - 1)
        throw ProviderError(hr::kFail, "The table has too many rows to show.");
    // A sort that no longer fits the columns (a field was dropped) is removed.
    std::vector<SortText::Key> keys;
    try {
        keys = SortText::parse(m_sortText, snapshot.rows->columns());
    } catch (const ProviderError&) {
        m_sortText.clear();
    }
    m_snapshot = std::move(snapshot);
    m_open = true;
    applySort(keys);
}

void Recordset::close() {
    if (!m_open) return;
    dropEdit();
    m_open = false;
    m_snapshot = TableSnapshot{};
    m_order.clear();
    m_order.shrink_to_fit();
    m_pos = -1;
    m_sortText.clear();
    m_sortKeys.clear();
    m_session.reset();
    m_table.clear();
}

bool Recordset::isBOF() const {
    requireOpen();
    if (m_editMode == ado::kEditAdd) return false;
    return m_pos < 0 || count() == 0;
}

bool Recordset::isEOF() const {
    requireOpen();
    if (m_editMode == ado::kEditAdd) return false;
    return m_pos >= count() || count() == 0;
}

long Recordset::recordCount() const {
    requireOpen();
    return count();
}

void Recordset::moveFirst() {
    requireOpen();
    leaveCurrent();
    m_pos = count() == 0 ? -1 : 0;
}

void Recordset::moveLast() {
    requireOpen();
    leaveCurrent();
    m_pos = count() == 0 ? -1 : count() - 1;
}

void Recordset::moveNext() {
    requireOpen();
    if (m_currentDeleted) {
        // The following record already sits at the deleted one's position.
        leaveCurrent();
        return;
    }
    if (isEOF()) noCurrentRecord();
    leaveCurrent();
    ++m_pos;
}

void Recordset::movePrevious() {
    requireOpen();
    if (m_currentDeleted) {
        leaveCurrent();
        --m_pos;
        return;
    }
    if (isBOF()) noCurrentRecord();
    leaveCurrent();
    --m_pos;
}

void Recordset::move(long n, int start) {
    requireOpen();
    if (start != ado::kBookmarkCurrent && start != ado::kBookmarkFirst &&
        start != ado::kBookmarkLast)
        throw ProviderError(hr::kInvalidArgument, "The start of the move is not valid.");
    const bool fromDeleted = m_currentDeleted;
    leaveCurrent();
    long base = start == ado::kBookmarkFirst  ? 0
                : start == ado::kBookmarkLast ? count() - 1
                                              : m_pos;
    // Counted from a deleted record, forward moves start at the one before its place.
    if (start == ado::kBookmarkCurrent && fromDeleted && n > 0) --base;
    // Saturate rather than overflow for absurd distances.
    const long long target = static_cast<long long>(base) + n;
    if (target < 0)
        m_pos = -1;
    else if (target >= count())
        m_pos = count();
    else
        m_pos = static_cast<long>(target);
}

size_t Recordset::currentRow() const {
    requireOpen();
    if (m_editMode == ado::kEditAdd || m_currentDeleted) noCurrentRecord();
    if (m_pos < 0 || m_pos >= count()) noCurrentRecord();
    return rowAt(m_pos);
}

long Recordset::bookmark() const {
    currentRow();
    return m_pos + 1;
}

void Recordset::setBookmark(long bookmark) {
    requireOpen();
    if (bookmark < 1 || bookmark > count())
        throw ProviderError(hr::kInvalidArgument,
                            "The bookmark " + std::to_string(bookmark) + " is not valid.");
    leaveCurrent();
    m_pos = bookmark - 1;
}

void Recordset::applySort(const std::vector<SortText::Key>& keys) {
    const RowStore& rows = *m_snapshot.rows;
    // Unsorted, the position is the row itself and no permutation is kept.
    m_order.clear();
    m_order.shrink_to_fit();
    if (!keys.empty()) {
        m_order.resize(rows.rowCount());
        std::iota(m_order.begin(), m_order.end(), 0u);
        // Text sorts in the database's order by its index keys, made once per row rather than
        // per comparison; equal keys keep the table's order, as in an index and in ORDER BY.
        const jet::Collation collation =
            rows.general97() ? jet::Collation::general97() : jet::Collation();
        std::vector<std::optional<TextSortKeys>> textKeys(keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            const size_t col = keys[i].column;
            const DataType type = rows.column(col).type;
            if (type != DataType::VarWChar && type != DataType::LongVarWChar) continue;
            TextSortKeys built;
            built.offsets.reserve(rows.rowCount() + 1);
            built.offsets.push_back(0);
            built.nulls.resize(rows.rowCount());
            for (size_t r = 0; r < rows.rowCount(); ++r) {
                if (const auto text = rows.bytesOrNull(r, col))
                    collation.appendKey(*text, built.bytes);
                else
                    built.nulls[r] = true;
                built.offsets.push_back(static_cast<uint32_t>(built.bytes.size()));
            }
            textKeys[i] = std::move(built);
        }
        auto compareBy = [&](size_t i, uint32_t a, uint32_t b) {
            const size_t col = keys[i].column;
            if (!textKeys[i]) return rows.compare(a, b, col);
            const bool na = textKeys[i]->nulls[a], nb = textKeys[i]->nulls[b];
            if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
            return textKeys[i]->compare(a, b);
        };
        std::stable_sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
            for (size_t i = 0; i < keys.size(); ++i) {
                const int c = compareBy(i, a, b);
                if (c != 0) return keys[i].descending ? c > 0 : c < 0;
            }
            return false;
        });
    }
    m_sortKeys = keys;
    m_pos = count() == 0 ? -1 : 0;
    m_currentDeleted = false;
}

void Recordset::setSort(std::string_view sort) {
    requireOpen();
    std::vector<SortText::Key> keys = SortText::parse(sort, m_snapshot.rows->columns());
    leaveCurrent();
    m_sortText = std::string(sort);
    applySort(keys);
}

void Recordset::find(std::string_view criterion, long skip, int direction,
                     std::optional<long> start) {
    requireOpen();
    if (skip < 0)
        throw ProviderError(hr::kInvalidArgument, "The number of records to skip is negative.");
    if (direction != ado::kSearchForward && direction != ado::kSearchBackward)
        throw ProviderError(hr::kInvalidArgument, "The search direction is not valid.");
    const FindCriterion crit(criterion, *m_snapshot.rows);
    if (start && (*start < 1 || *start > count()))
        throw ProviderError(hr::kInvalidArgument,
                            "The bookmark " + std::to_string(*start) + " is not valid.");
    // A deleted current record lies between its neighbours: the record after it is the first
    // one forward, the record before it the first one backward.
    const bool fromDeleted = m_currentDeleted;
    leaveCurrent();
    long from = m_pos;
    if (start)
        from = *start - 1;
    else if (fromDeleted && (direction == ado::kSearchForward) == (skip > 0))
        --from;
    const RowStore& rows = *m_snapshot.rows;
    const long long first = static_cast<long long>(from) + static_cast<long long>(skip) * direction;
    if (direction == ado::kSearchForward) {
        for (long long i = std::max<long long>(first, 0); i < count(); ++i) {
            if (crit.matches(rows, rowAt(static_cast<long>(i)))) {
                m_pos = static_cast<long>(i);
                return;
            }
        }
        m_pos = count();
    } else {
        for (long long i = std::min<long long>(first, count() - 1); i >= 0; --i) {
            if (crit.matches(rows, rowAt(static_cast<long>(i)))) {
                m_pos = static_cast<long>(i);
                return;
            }
        }
        m_pos = -1;
    }
}

void Recordset::requery(long) {
    requireOpen();
    dropEdit();
    if (!m_session) {
        applySort(m_sortKeys);
        return;
    }
    if (!m_session->db)
        throw ProviderError(hr::kConnectionInvalid,
                            "The recordset's connection is closed; it cannot be read again.");
    adopt(TableLoader::load(*m_session->db, m_table, m_loadProgress));
}

const std::vector<ColumnInfo>& Recordset::columns() const {
    return m_open ? m_snapshot.rows->columns() : kNoColumns;
}

Variant Recordset::valueAt(long position, size_t column) const {
    requireOpen();
    if (position < 0 || position >= count() || column >= m_snapshot.rows->columnCount())
        throw ProviderError(hr::kInvalidArgument, "No such record or field.");
    return m_snapshot.rows->value(rowAt(position), column);
}

std::string Recordset::textAt(long position, size_t column) const {
    return ValueText::toText(valueAt(position, column));
}

size_t Recordset::memoryBytes() const {
    if (!m_open) return 0;
    return m_snapshot.rows->memoryBytes() + m_order.capacity() * sizeof(uint32_t) +
           m_snapshot.rowIds.memoryBytes();
}

size_t Recordset::dataBytes() const {
    return m_open ? m_snapshot.rows->dataBytes() : 0;
}

void Recordset::requireWritable() const {
    requireOpen();
    if (!m_session)
        throw ProviderError(hr::kNotSupported,
                            "The records of this recordset cannot be changed: they were not read "
                            "from a table.");
    m_session->reopenAfterFailedWrite();
    if (!m_session->db)
        throw ProviderError(hr::kConnectionInvalid,
                            "The recordset's connection is closed; its records cannot be changed.");
    if (m_lockType == ado::kLockReadOnly)
        throw ProviderError(hr::kNotSupported,
                            "The recordset was opened read-only; its records cannot be changed.");
    if (m_session->db->isReadOnly())
        throw ProviderError(hr::kReadOnly, "The database \"" +
                                               m_session->db->path().filename().string() +
                                               "\" is open read-only; the records of table \"" +
                                               m_table + "\" cannot be changed.");
}

Variant Recordset::fieldValue(size_t column) const {
    requireOpen();
    if (m_editMode != ado::kEditNone && column < m_pending.size() && m_pending[column])
        return *m_pending[column];
    if (m_editMode == ado::kEditAdd) return Variant::null();
    return m_snapshot.rows->value(currentRow(), column);
}

void Recordset::setFieldValue(size_t column, const Variant& value) {
    requireWritable();
    if (m_editMode != ado::kEditAdd) currentRow();  // there must be a record to write to
    const ColumnInfo& info = m_snapshot.rows->column(column);
    if (info.autoIncrement)
        throw ProviderError(
            hr::kInvalidArgument,
            "Field \"" + info.name + "\" is an AutoNumber; the database assigns its value.");
    Variant stored;
    if (value.isMissing())
        stored = Variant::null();
    else
        stored = ValueText::fromValue(value, info);
    if (m_editMode == ado::kEditNone) {
        m_pending.assign(m_snapshot.rows->columnCount(), std::nullopt);
        m_editMode = ado::kEditInProgress;
    }
    m_pending[column] = std::move(stored);
}

void Recordset::dropEdit() {
    m_pending.clear();
    m_editMode = ado::kEditNone;
}

void Recordset::leaveCurrent() {
    if (m_editMode == ado::kEditAdd &&
        std::none_of(m_pending.begin(), m_pending.end(), [](const auto& v) { return v; }))
        dropEdit();  // nothing was typed: no empty record is made
    else if (m_editMode != ado::kEditNone)
        update();
    m_currentDeleted = false;
}

void Recordset::addNew() {
    requireWritable();
    leaveCurrent();
    m_pending.assign(m_snapshot.rows->columnCount(), std::nullopt);
    m_editMode = ado::kEditAdd;
}

void Recordset::cancelUpdate() {
    requireOpen();
    dropEdit();
}

void Recordset::update() {
    requireOpen();
    if (m_editMode == ado::kEditNone) return;
    requireWritable();
    RowStore& rows = *m_snapshot.rows;
    const size_t n = rows.columnCount();
    const bool adding = m_editMode == ado::kEditAdd;
    const size_t row = adding ? 0 : currentRow();
    std::vector<Variant> values(n);
    for (size_t i = 0; i < n; ++i) {
        if (m_pending[i])
            values[i] = *m_pending[i];
        else if (adding)
            values[i] = rows.column(i).autoIncrement && rows.column(i).type == DataType::Guid
                            ? Variant(randomGuid())
                            : Variant::null();
        else
            values[i] = rows.value(row, i);
    }
    std::vector<jet::Value> engineValues;
    engineValues.reserve(n);
    for (const Variant& v : values)
        engineValues.push_back(EngineValue::toEngine(v));

    jet::Database& db = *m_session->db;
    if (!adding) {
        engineCall([&] { db.updateRow(m_table, rowIdOf(m_snapshot.rowIds[row]), engineValues); });
        for (size_t i = 0; i < n; ++i)
            if (m_pending[i]) rows.setValue(row, i, values[i]);
        dropEdit();
        return;
    }
    if (rows.rowCount() >= UINT32_MAX - 1)
        throw ProviderError(hr::kFail, "The table has too many rows to show.");
    const jet::RowId id = engineCall([&] { return db.insertRow(m_table, engineValues); });
    // The database numbered the record: the counter it keeps is the number it gave.
    const int32_t assigned =
        engineCall([&] { return static_cast<int32_t>(db.tableDef(m_table).autoNumber); });
    for (size_t i = 0; i < n; ++i)
        if (rows.column(i).autoIncrement && rows.column(i).type == DataType::Integer)
            values[i] = Variant(assigned);
    rows.appendRow(values);
    m_snapshot.rowIds.pushBack(id.page << 8 | id.row);
    if (!m_order.empty() || !m_sortKeys.empty())
        m_order.push_back(static_cast<uint32_t>(rows.rowCount() - 1));
    dropEdit();
    m_pos = count() - 1;
    m_currentDeleted = false;
}

void Recordset::deleteRecord(int affect) {
    requireOpen();
    if (affect != ado::kAffectCurrent)
        throw ProviderError(hr::kNotSupported, "Only the current record can be deleted.");
    requireWritable();
    if (m_editMode == ado::kEditAdd) {
        dropEdit();
        return;
    }
    const size_t row = currentRow();
    jet::Database& db = *m_session->db;
    engineCall([&] { db.deleteRow(m_table, rowIdOf(m_snapshot.rowIds[row])); });
    dropEdit();
    m_snapshot.rows->eraseRow(row);
    m_snapshot.rowIds.erase(row);
    if (!m_order.empty()) {
        m_order.erase(m_order.begin() + m_pos);
        for (uint32_t& r : m_order)
            if (r > row) --r;
    }
    m_currentDeleted = true;
}

long Recordset::deleteRecords(const std::vector<long>& positions) {
    requireOpen();
    requireWritable();
    for (long p : positions)
        if (p < 0 || p >= count())
            throw ProviderError(
                hr::kInvalidArgument,
                "The record at position " + std::to_string(p + 1) + " does not exist.");
    leaveCurrent();
    // The store's rows to remove, in the order given, each once.
    std::vector<bool> gone(static_cast<size_t>(count()), false);
    std::vector<size_t> rows;
    rows.reserve(positions.size());
    for (long p : positions) {
        const size_t row = rowAt(p);
        if (gone[row]) continue;
        gone[row] = true;
        rows.push_back(row);
    }
    if (rows.empty()) return 0;

    jet::Database& db = *m_session->db;
    auto removeFirst = [&](size_t n, size_t* done) {
        db.transact([&] {
            for (; *done < n; ++*done)
                db.deleteRow(m_table, rowIdOf(m_snapshot.rowIds[rows[*done]]));
        });
    };
    size_t removed = 0;
    std::optional<ProviderError> refusal;
    try {
        engineCall([&] { removeFirst(rows.size(), &removed); });
    } catch (const ProviderError& e) {
        // The change was dropped as a whole. A refusal of one record keeps the ones before it:
        // they go again, together. A failure after the last record (writing the change out)
        // belongs to no record, and nothing is removed.
        if (removed == rows.size()) throw;
        refusal = e;
        const size_t keep = removed;
        removed = 0;
        if (keep > 0) engineCall([&] { removeFirst(keep, &removed); });
    }

    // The snapshot follows the file: the rows that went leave the store, its row places and
    // the sort order.
    for (size_t i = removed; i < rows.size(); ++i)
        gone[rows[i]] = false;
    long lowest = count();
    for (long p = 0; p < count(); ++p)
        if (gone[rowAt(p)]) {
            lowest = p;
            break;
        }
    if (removed > 0) {
        // Row r moves up by the number of removed rows before it.
        std::vector<uint32_t> shift(gone.size());
        uint32_t before = 0;
        for (size_t r = 0; r < gone.size(); ++r) {
            shift[r] = before;
            if (gone[r]) ++before;
        }
        if (!m_order.empty()) {
            size_t to = 0;
            for (uint32_t r : m_order)
                if (!gone[r]) m_order[to++] = r - shift[r];
            m_order.resize(to);
        }
        m_snapshot.rowIds.eraseMarked(gone);
        m_snapshot.rows->eraseRows(gone);
    }
    dropEdit();
    m_currentDeleted = false;
    m_pos = count() == 0 ? -1 : std::min(lowest, count());
    if (refusal) throw *refusal;
    return static_cast<long>(removed);
}

}  // namespace tessor::provider

namespace tessor::provider {

Recordset::TextWrite Recordset::writeTexts(long first, size_t firstField,
                                           const std::vector<std::vector<std::string>>& lines,
                                           bool stopAtRefusal,
                                           const std::function<bool(long)>& progress) {
    requireOpen();
    requireWritable();
    if (first < 0 || first >= count())
        throw ProviderError(hr::kInvalidArgument, "The record at position " +
                                                      std::to_string(first + 1) +
                                                      " does not exist.");
    const size_t fieldCount = m_snapshot.rows->columnCount();
    if (firstField >= fieldCount)
        throw ProviderError(hr::kInvalidArgument, "The field does not exist.");
    leaveCurrent();

    TextWrite result;
    RowStore& rows = *m_snapshot.rows;
    jet::Database& db = *m_session->db;
    const long total = std::min<long>(static_cast<long>(lines.size()), count() - first);
    // Enough records per change that the file's syncs do not dominate, few enough that the
    // progress moves and a stop comes soon.
    constexpr long kBatch = 500;

    struct Record {
        long line;
        size_t row;
        std::vector<Variant> values;
        std::vector<jet::Value> engine;
    };
    long line = 0;
    bool ended = false;
    while (line < total && !ended) {
        if (progress && !progress(line)) {
            result.stopped = true;
            break;
        }
        // The batch's records with their new values; records whose text changes nothing
        // are left out.
        std::vector<Record> batch;
        const long end = std::min(total, line + kBatch);
        for (; line < end && !ended; ++line) {
            const size_t row = rowAt(first + line);
            const std::vector<std::string>& pieces = lines[static_cast<size_t>(line)];
            Record rec{line, row, {}, {}};
            bool changed = false;
            for (size_t k = 0; k < pieces.size() && firstField + k < fieldCount; ++k) {
                const size_t col = firstField + k;
                const Variant old = rows.value(row, col);
                if (ValueText::toText(old) == pieces[k]) continue;
                const ColumnInfo& info = rows.column(col);
                try {
                    if (info.autoIncrement)
                        throw ProviderError(hr::kInvalidArgument,
                                            "Field \"" + info.name +
                                                "\" is an AutoNumber; the database assigns its "
                                                "value.");
                    Variant value = ValueText::fromText(pieces[k], info);
                    if (rec.values.empty())
                        for (size_t c = 0; c < fieldCount; ++c)
                            rec.values.push_back(rows.value(row, c));
                    rec.values[col] = std::move(value);
                    changed = true;
                } catch (const ProviderError& e) {
                    result.refusals.push_back({line, e.description()});
                    if (stopAtRefusal) {
                        ended = true;
                        break;
                    }
                }
            }
            if (ended) break;
            if (!changed) continue;
            rec.engine.reserve(fieldCount);
            for (const Variant& v : rec.values)
                rec.engine.push_back(EngineValue::toEngine(v));
            batch.push_back(std::move(rec));
        }
        // The records of the batch go as one change. When the database refuses one, the change
        // is dropped as a whole: the ones before it go again, together, and the rest follow in
        // a change of their own.
        size_t from = 0;
        while (from < batch.size()) {
            size_t done = from;
            try {
                engineCall([&] {
                    db.transact([&] {
                        for (done = from; done < batch.size(); ++done)
                            db.updateRow(m_table, rowIdOf(m_snapshot.rowIds[batch[done].row]),
                                         batch[done].engine);
                    });
                });
            } catch (const ProviderError& e) {
                // A failure past the last record belongs to no record: writing the change out
                // failed, and nothing of this batch was written.
                if (done == batch.size()) throw;
                if (done > from) {
                    size_t again = from;
                    engineCall([&] {
                        db.transact([&] {
                            for (again = from; again < done; ++again)
                                db.updateRow(m_table,
                                             rowIdOf(m_snapshot.rowIds[batch[again].row]),
                                             batch[again].engine);
                        });
                    });
                }
                for (size_t i = from; i < done; ++i)
                    for (size_t c = 0; c < fieldCount; ++c)
                        rows.setValue(batch[i].row, c, batch[i].values[c]);
                result.refusals.push_back({batch[done].line, e.description()});
                if (stopAtRefusal) {
                    line = batch[done].line;
                    ended = true;
                    batch.resize(done);
                    break;
                }
                from = done + 1;
                continue;
            }
            for (size_t i = from; i < batch.size(); ++i)
                for (size_t c = 0; c < fieldCount; ++c)
                    rows.setValue(batch[i].row, c, batch[i].values[c]);
            from = batch.size();
        }
    }
    // Refused pieces are found before their batch is written, refused records while it is.
    std::stable_sort(result.refusals.begin(), result.refusals.end(),
                     [](const auto& a, const auto& b) { return a.line < b.line; });
    result.records = line;
    m_pos = first + std::max<long>(line - 1, 0);
    m_currentDeleted = false;
    return result;
}

}  // namespace tessor::provider
