#pragma once

#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>
#include <QVariant>

#include <memory>

class QLineEdit;

// Only declared here, so that this header stays light.
namespace tessor::provider {
class Recordset;
}  // namespace tessor::provider

namespace grid {
class RecordsetModel;
}

// The record grid (control 1034 of the record view's form): shows a recordset through
// grid::RecordsetModel and offers the members and events the record view and its commands
// rely on. Rows and columns count from 0; -1 means none. Rows are model rows in the
// recordset's current order; the row after the last record is the empty new-record line.
//
// The grid keeps the recordset's current record on its current row (EOF on the new-record
// line). Whoever reorders or re-reads the recordset behind the grid's back calls Refresh().
//
// Two rules of its own: a right button press anywhere in the grid first sends the event of
// res::WM_GRID_RBUTTONDOWN to the parent widget and waits for it, then the grid handles the
// press (which keeps picked rows or a picked column picked); a close request is ignored.
//
// The delete key on picked rows raises BeforeDelete; cancelled, the grid raises Error with
// kErrDeleteCancelled and deletes nothing, otherwise it deletes the rows through the recordset
// and raises AfterDelete.
class CDataGrid : public QTableView {
    Q_OBJECT

public:
    using RecordsetPtr = std::shared_ptr<tessor::provider::Recordset>;

    // One column of the grid, a light handle valid while the grid's columns stay the same.
    class CColumn {
    public:
        // The field name shown in the column header.
        QString GetCaption() const;
        short GetColIndex() const { return m_index; }

    private:
        friend class CDataGrid;
        CColumn(const CDataGrid* grid, short index) : m_grid(grid), m_index(index) {}
        const CDataGrid* m_grid;
        short m_index;
    };

    // The grid's columns.
    class CColumns {
    public:
        short GetCount() const;
        // Index out of range gives a column whose caption is empty.
        CColumn GetItem(short index) const { return CColumn(m_grid, index); }

    private:
        friend class CDataGrid;
        explicit CColumns(const CDataGrid* grid) : m_grid(grid) {}
        const CDataGrid* m_grid;
    };

    // The whole rows selected through the row headers, in the order they were selected. Each
    // item is the row's bookmark: its 1-based position in the displayed order. A copy: it does
    // not follow later selection changes.
    class CSelBookmarks {
    public:
        long GetCount() const { return static_cast<long>(m_rows.size()); }
        // The bookmark at `index` (0-based); an empty variant out of range.
        QVariant GetItem(long index) const;

    private:
        friend class CDataGrid;
        explicit CSelBookmarks(QList<int> rows) : m_rows(std::move(rows)) {}
        QList<int> m_rows;  // 0-based rows
    };

    // AddNewMode values.
    static constexpr long dbgNoAddNew = 0;
    static constexpr long dbgAddNewCurrent = 1;  // the current cell is on the new-record line
    static constexpr long dbgAddNewPending = 2;  // the current row is a new record being typed

    // Error code raised after a deletion that BeforeDelete cancelled.
    static constexpr short kErrDeleteCancelled = 7011;
    // Error code of a delete request the grid leaves to its owner; this grid does not raise it.
    static constexpr short kErrDeleteRequest = 6159;

    explicit CDataGrid(QWidget* parent = nullptr);
    ~CDataGrid() override;

    // DataSource: the recordset to show, or none. Shows it after Refresh().
    void SetDataSource(RecordsetPtr recordset);
    const RecordsetPtr& GetDataSource() const;
    // Re-reads the recordset (count, columns, order) and puts the current cell on its current
    // record, keeping the current column where it can.
    void Refresh();

    // Current column; -1 when no single cell is current (a column or whole rows are picked).
    short GetCol() const;
    void SetCol(short col);
    // Current row; -1 when none. Setting it to GetApproxCount() reaches the new-record line.
    // 32-bit: a table may hold more rows than a 16-bit index reaches.
    long GetRow() const;
    void SetRow(long row);
    // First visible column and the number of columns shown at least in part.
    short GetLeftCol() const;
    short GetVisibleCols() const;
    // Rows that are records, without the new-record line.
    long GetApproxCount() const;
    long GetAddNewMode() const;
    // The current row holds edits not yet written (in the cell editor or the row's buffer).
    bool GetDataChanged() const;
    // Opens (true) or closes, committing, the editor of the current cell.
    void SetEditActive(bool active);
    bool GetEditActive() const;
    // The editor's selected text; without an editor, the current cell's whole text. Setting
    // replaces the editor's selection, opening the editor first when needed.
    QString GetSelText() const;
    void SetSelText(const QString& text);
    // The editor's selection, start first, opening the editor when needed. A negative start
    // selects nothing, and so does the length that follows it.
    void SetSelStart(long start);
    void SetSelLength(long length);
    // Scrolls by whole columns and rows; negative goes left or up.
    void Scroll(long cols, long rows);
    CSelBookmarks GetSelBookmarks() const;
    CColumns GetColumns() const { return CColumns(this); }

    // Whether cells take typing, the new-record line is offered, and the delete key deletes.
    void SetAllowUpdate(bool allow);
    bool GetAllowUpdate() const;
    void SetAllowAddNew(bool allow);
    bool GetAllowAddNew() const;
    void SetAllowDelete(bool allow) { m_allowDelete = allow; }
    bool GetAllowDelete() const { return m_allowDelete; }

    // Where the pointer was at the last right press (global coordinates).
    QPoint GetRButtonPos() const { return m_rbuttonPos; }

    // The model, for the owner's saving of typed values.
    grid::RecordsetModel* RecordModel() const { return m_model; }

signals:
    // The editor of `colIndex` closed.
    void AfterColEdit(short colIndex);
    // A typed value of `colIndex` went into the row's buffer.
    void AfterColUpdate(short colIndex);
    void AfterDelete();
    // The delete key was pressed on picked rows; set *cancel to keep them.
    void BeforeDelete(short* cancel);
    // *response 0 keeps the grid from telling the user.
    void Error(short dataError, short* response);
    void HeadClick(short colIndex);
    // The current cell moved; *lastRow is the previous row (null when there was none).
    void RowColChange(QVariant* lastRow, short lastCol);
    // A character key; set *keyAscii to 0 to swallow it or to another code to replace it.
    void KeyPress(short* keyAscii);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* e) override;

protected slots:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    enum class Pick { Cell, Rows, Column };

    void OnCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void OnSelectionChanged();
    void OnColumnHeaderPressed(int col);
    void OnRowHeaderPressed(int row);
    void OnRowHeaderEntered(int row);
    void SelectPickedRows();
    void SyncRecordset(int row);
    void MoveTo(int row, int col);
    void DeletePickedRows();
    bool SendRButtonNotice();
    // Lets the KeyPress handlers see a key; false when they swallowed it. A replaced key is
    // written back into *code.
    bool FilterKey(const QKeyEvent* e, short* code);

    grid::RecordsetModel* m_model;
    Pick m_pick = Pick::Cell;
    QList<int> m_pickedRows;    // rows picked through the row headers, in picking order
    int m_rowAnchor = -1;       // where a shift-extended row pick starts
    bool m_headerMove = false;  // the current cell is being moved by a header pick
    bool m_allowDelete = false;
    QPointer<QLineEdit> m_editor;  // the open cell editor
    QPersistentModelIndex m_editIndex;
    long m_selStart = 0;
    QPoint m_rbuttonPos;
};
