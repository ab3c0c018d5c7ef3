#include "db/provider/Recordset.h"

#include <algorithm>
#include <numeric>

#include "db/provider/CommandText.h"
#include "db/provider/Connection.h"
#include "db/provider/EngineSession.h"
#include "db/provider/FindCriterion.h"
#include "db/provider/ProviderError.h"
#include "db/provider/TableLoader.h"
#include "db/provider/ValueText.h"

namespace tessor::provider {

namespace {

const std::vector<ColumnInfo> kNoColumns;

[[noreturn]] void noCurrentRecord() {
    throw ProviderError(hr::kNoCurrentRecord,
                        "Either BOF or EOF is True, or the current record has been deleted.");
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
    TableSnapshot snap = TableLoader::load(*session->db, table);
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
    return m_pos < 0 || count() == 0;
}

bool Recordset::isEOF() const {
    requireOpen();
    return m_pos >= count() || count() == 0;
}

long Recordset::recordCount() const {
    requireOpen();
    return count();
}

void Recordset::moveFirst() {
    requireOpen();
    m_pos = count() == 0 ? -1 : 0;
}

void Recordset::moveLast() {
    requireOpen();
    m_pos = count() == 0 ? -1 : count() - 1;
}

void Recordset::moveNext() {
    requireOpen();
    if (isEOF()) noCurrentRecord();
    ++m_pos;
}

void Recordset::movePrevious() {
    requireOpen();
    if (isBOF()) noCurrentRecord();
    --m_pos;
}

void Recordset::move(long n, int start) {
    requireOpen();
    long base;
    switch (start) {
        case ado::kBookmarkCurrent:
            base = m_pos;
            break;
        case ado::kBookmarkFirst:
            base = 0;
            break;
        case ado::kBookmarkLast:
            base = count() - 1;
            break;
        default:
            throw ProviderError(hr::kInvalidArgument, "The start of the move is not valid.");
    }
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
        std::stable_sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
            for (const SortText::Key& k : keys) {
                const int c = rows.compare(a, b, k.column);
                if (c != 0) return k.descending ? c > 0 : c < 0;
            }
            return false;
        });
    }
    m_sortKeys = keys;
    m_pos = count() == 0 ? -1 : 0;
}

void Recordset::setSort(std::string_view sort) {
    requireOpen();
    std::vector<SortText::Key> keys = SortText::parse(sort, m_snapshot.rows->columns());
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
    const FindCriterion crit(criterion, m_snapshot.rows->columns());
    long from = m_pos;
    if (start) {
        if (*start < 1 || *start > count())
            throw ProviderError(hr::kInvalidArgument,
                                "The bookmark " + std::to_string(*start) + " is not valid.");
        from = *start - 1;
    }
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
    if (!m_session) {
        applySort(m_sortKeys);
        return;
    }
    if (!m_session->db)
        throw ProviderError(hr::kConnectionInvalid,
                            "The recordset's connection is closed; it cannot be read again.");
    adopt(TableLoader::load(*m_session->db, m_table));
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
           m_snapshot.rowIds.capacity() * sizeof(uint32_t);
}

size_t Recordset::dataBytes() const {
    return m_open ? m_snapshot.rows->dataBytes() : 0;
}

}  // namespace tessor::provider
