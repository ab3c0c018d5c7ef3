#pragma once

#include <QAbstractTableModel>
#include <QMap>
#include <QString>

#include <memory>

// Only declared here, so that this header stays light.
namespace tessor::provider {
class Recordset;
}  // namespace tessor::provider

namespace grid {

// The table model of the record grid: a window onto a recordset's snapshot, read by position in
// the recordset's current order (Recordset::valueAt), so that nothing is built per row and a
// 100k-row table opens as fast as a small one. Below the records it may show an empty new-record
// line; typing into it makes a pending new record, and the line moves down by one.
//
// Edits are held in a buffer for one row at a time (only the changed values, as texts) until
// the owner writes them through the recordset and calls clearEdits(), or throws them away with
// discardEdits(). The model never writes to the recordset itself.
//
// After the recordset's rows or order changed behind the model's back (sort, requery, find
// with a reopen), call reload().
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using RecordsetPtr = std::shared_ptr<tessor::provider::Recordset>;

    explicit RecordsetModel(QObject* parent = nullptr);

    // The recordset to show, or none. Drops pending edits.
    void setRecordset(RecordsetPtr recordset);
    const RecordsetPtr& recordset() const { return m_recordset; }
    // Re-reads count, columns and order; drops pending edits.
    void reload();
    // The records' values changed in the recordset, not their number or order: the cells show
    // them again, and what is picked stays picked.
    void valuesChanged();

    // Whether the empty new-record line is offered below the records.
    void setAllowAddNew(bool allow);
    bool allowAddNew() const { return m_allowAddNew; }
    // Whether cells take edits at all.
    void setAllowUpdate(bool allow);
    bool allowUpdate() const { return m_allowUpdate; }

    // Records of the recordset (0 while none is open or it is closed).
    long recordCount() const;
    // Rows that are records: those of the recordset plus a pending new one.
    int recordRows() const;
    // The row of the empty new-record line; -1 when there is none.
    int newRecordLine() const;
    // The row of the pending new record; -1 when there is none.
    int pendingNewRow() const { return m_pendingNew ? static_cast<int>(recordCount()) : -1; }

    // The row whose edits are buffered; -1 when nothing is.
    int editRow() const { return m_editRow; }
    bool isDirty() const { return m_editRow >= 0 && !m_edits.isEmpty(); }
    // The buffered values of editRow(), by column.
    const QMap<int, QString>& edits() const { return m_edits; }
    // The buffered values are now in the recordset: forget them. A pending new record that was
    // written is part of the recordset now, so the caller reloads after that.
    void clearEdits();
    // Throws the buffered values away; a pending new record disappears again.
    void discardEdits();
    // The buffered values were saved as the recordset's current record: forget them and show
    // the row as stored. A pending new record that was saved becomes the last record, in the
    // same row, with the new-record line still below it.
    void editsSaved();

    // The row marked as current in the row headers; -1 none.
    void setCurrentRow(int row);
    int currentRow() const { return m_currentRow; }

    // Longest text a cell shows; the editor always gets the whole value.
    static constexpr int kMaxShownChars = 512;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool isOpen() const;
    // The whole value of a record's cell as the editor shows it.
    QString recordText(int row, int column) const;
    QString shownText(int row, int column) const;
    void headerRowChanged(int row);

    RecordsetPtr m_recordset;
    bool m_allowAddNew = true;
    bool m_allowUpdate = true;
    bool m_pendingNew = false;   // a new record is being typed in above the new-record line
    int m_editRow = -1;          // row of m_edits
    QMap<int, QString> m_edits;  // column -> typed text
    int m_currentRow = -1;
    // Cached so that a closed recordset does not change the model's shape under the view.
    long m_count = 0;
    int m_columns = 0;
};

}  // namespace grid
