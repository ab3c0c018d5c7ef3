#include "provider/DataType.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/ValueText.h"

#include "grid/RecordsetModel.h"

#include <algorithm>

using tessor::provider::Bytes;
using tessor::provider::DataType;
using tessor::provider::ProviderError;
using tessor::provider::ValueText;
using tessor::provider::Variant;
using tessor::provider::VariantType;

namespace grid {

namespace {

// Row-header marks: the current record, the current record with unsaved edits, the new line.
const QString kCurrentMark = QStringLiteral("\u25B6");
const QString kEditingMark = QStringLiteral("\u270E");
const QString kNewLineMark = QStringLiteral("*");

bool isNumeric(DataType type) {
    switch (type) {
        case DataType::SmallInt:
        case DataType::Integer:
        case DataType::Single:
        case DataType::Double:
        case DataType::Currency:
        case DataType::UnsignedTinyInt:
        case DataType::Numeric:
            return true;
        default:
            return false;
    }
}

// One line of at most kMaxShownChars: a cell is one line high, and laying out a long memo or a
// picture's hex text for every painted cell would make scrolling crawl.
QString shortened(QString text) {
    qsizetype lineEnd = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n')) {
            lineEnd = i;
            break;
        }
    }
    bool cut = false;
    if (lineEnd >= 0) {
        text.truncate(lineEnd);
        cut = true;
    }
    if (text.size() > RecordsetModel::kMaxShownChars) {
        text.truncate(RecordsetModel::kMaxShownChars);
        cut = true;
    }
    if (cut) text += QChar(0x2026);
    return text;
}

}  // namespace

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setRecordset(RecordsetPtr recordset) {
    m_recordset = std::move(recordset);
    reload();
}

void RecordsetModel::reload() {
    beginResetModel();
    m_pendingNew = false;
    m_editRow = -1;
    m_edits.clear();
    m_count = isOpen() ? m_recordset->recordCount() : 0;
    m_columns = isOpen() ? static_cast<int>(m_recordset->columns().size()) : 0;
    if (m_currentRow >= rowCount()) m_currentRow = -1;
    endResetModel();
}

bool RecordsetModel::isOpen() const {
    return m_recordset && m_recordset->isOpen();
}

void RecordsetModel::setAllowAddNew(bool allow) {
    if (allow == m_allowAddNew) return;
    // Only the last line comes or goes; a pending record stays until it is saved or dropped.
    const int line = recordRows();
    if (m_columns > 0) {
        if (allow)
            beginInsertRows(QModelIndex(), line, line);
        else
            beginRemoveRows(QModelIndex(), line, line);
    }
    m_allowAddNew = allow;
    if (m_columns > 0) {
        if (allow)
            endInsertRows();
        else
            endRemoveRows();
    }
}

void RecordsetModel::setAllowUpdate(bool allow) {
    m_allowUpdate = allow;
}

long RecordsetModel::recordCount() const {
    return m_count;
}

int RecordsetModel::recordRows() const {
    return static_cast<int>(m_count) + (m_pendingNew ? 1 : 0);
}

int RecordsetModel::newRecordLine() const {
    // A table without columns has nothing to type into.
    return m_allowAddNew && m_columns > 0 ? recordRows() : -1;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return recordRows() + (newRecordLine() >= 0 ? 1 : 0);
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QString RecordsetModel::recordText(int row, int column) const {
    if (row == m_editRow) {
        auto it = m_edits.constFind(column);
        if (it != m_edits.constEnd()) return *it;
    }
    if (row >= m_count || !isOpen()) return QString();
    try {
        return QString::fromStdString(m_recordset->textAt(row, static_cast<size_t>(column)));
    } catch (const ProviderError&) {
        // The recordset shrank without a reload; the next reload sets the rows right.
        return QString();
    }
}

QString RecordsetModel::shownText(int row, int column) const {
    if (row == m_editRow && m_edits.contains(column)) return shortened(m_edits.value(column));
    if (row >= m_count || !isOpen()) return QString();
    try {
        const Variant v = m_recordset->valueAt(row, static_cast<size_t>(column));
        if (v.type() == VariantType::Bytes) {
            // Only what fits in a cell is turned into hex.
            const Bytes& b = v.toBytes();
            const size_t shown = std::min<size_t>(b.size(), kMaxShownChars / 2);
            QString hex = QString::fromStdString(
                ValueText::formatBytes(Bytes(b.begin(), b.begin() + static_cast<long>(shown))));
            if (shown < b.size()) hex += QChar(0x2026);
            return hex;
        }
        return shortened(QString::fromStdString(ValueText::toText(v)));
    } catch (const ProviderError&) {
        return QString();
    }
}

void RecordsetModel::valuesChanged() {
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= m_columns)
        return QVariant();
    switch (role) {
        case Qt::DisplayRole:
            return shownText(index.row(), index.column());
        case Qt::EditRole:
            return recordText(index.row(), index.column());
        case Qt::ToolTipRole: {
            // The whole of a value the cell had to cut.
            const QString shown = shownText(index.row(), index.column());
            if (!shown.endsWith(QChar(0x2026))) return QVariant();
            return recordText(index.row(), index.column()).left(4096);
        }
        case Qt::TextAlignmentRole:
            if (isOpen() && isNumeric(m_recordset->columns()[index.column()].type))
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return QVariant();
    }
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int row = index.row();
    const QString text = value.toString();
    // Edits of another row that were neither written nor dropped go now: one record at a time.
    if (m_editRow >= 0 && m_editRow != row) {
        if (row == newRecordLine() && m_pendingNew) return false;
        discardEdits();
    }
    if (row == newRecordLine()) {
        if (text.isEmpty()) return false;  // nothing typed: the line stays empty
        const int line = row + 1;
        beginInsertRows(QModelIndex(), line, line);
        m_pendingNew = true;
        endInsertRows();
    } else if (text == recordText(row, index.column())) {
        return false;
    }
    m_editRow = row;
    m_edits.insert(index.column(), text);
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    headerRowChanged(row);
    return true;
}

void RecordsetModel::clearEdits() {
    const int row = m_editRow;
    m_edits.clear();
    m_editRow = -1;
    headerRowChanged(row);
}

void RecordsetModel::editsSaved() {
    const int row = m_editRow;
    if (row < 0) return;
    m_edits.clear();
    m_editRow = -1;
    if (m_pendingNew && row == pendingNewRow()) {
        // The rows stay as they are: the pending record's row now shows the stored one.
        m_pendingNew = false;
        const long count = isOpen() ? m_recordset->recordCount() : 0;
        if (count != m_count + 1) {
            // The recordset changed in some other way as well: read it all again.
            reload();
            return;
        }
        m_count = count;
    }
    if (m_columns > 0) emit dataChanged(index(row, 0), index(row, m_columns - 1));
    headerRowChanged(row);
}

void RecordsetModel::discardEdits() {
    const int row = m_editRow;
    if (row < 0) return;
    m_edits.clear();
    m_editRow = -1;
    if (m_pendingNew && row == pendingNewRow()) {
        // The record goes and the new-record line takes its place.
        beginRemoveRows(QModelIndex(), row + 1, row + 1);
        m_pendingNew = false;
        endRemoveRows();
        emit dataChanged(index(row, 0), index(row, std::max(0, m_columns - 1)));
    } else if (m_columns > 0) {
        emit dataChanged(index(row, 0), index(row, m_columns - 1));
    }
    headerRowChanged(row);
}

void RecordsetModel::setCurrentRow(int row) {
    if (row == m_currentRow) return;
    const int before = m_currentRow;
    m_currentRow = row;
    headerRowChanged(before);
    headerRowChanged(row);
}

void RecordsetModel::headerRowChanged(int row) {
    if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        if (!isOpen() || section < 0 || section >= m_columns) return QVariant();
        return QString::fromStdString(m_recordset->columns()[section].name);
    }
    if (section == m_currentRow) return section == m_editRow ? kEditingMark : kCurrentMark;
    if (section == newRecordLine()) return kNewLineMark;
    return QString();
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_allowUpdate && isOpen()) f |= Qt::ItemIsEditable;
    return f;
}

}  // namespace grid
