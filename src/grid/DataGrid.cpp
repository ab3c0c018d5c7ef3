#include "provider/Constants.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"

#include "grid/DataGrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>

#include <algorithm>
#include <vector>

#include "grid/CellEditDelegate.h"
#include "grid/RecordsetModel.h"
#include "res/Events.h"
#include "res/ResourceIds.h"

using tessor::provider::ProviderError;
namespace ado = tessor::provider::ado;

QString CDataGrid::CColumn::GetCaption() const {
    return m_grid->model()->headerData(m_index, Qt::Horizontal).toString();
}

short CDataGrid::CColumns::GetCount() const {
    return static_cast<short>(m_grid->model()->columnCount());
}

QVariant CDataGrid::CSelBookmarks::GetItem(long index) const {
    if (index < 0 || index >= m_rows.size()) return QVariant();
    return QVariant::fromValue<long>(m_rows[index] + 1);
}

CDataGrid::CDataGrid(QWidget* parent)
    : QTableView(parent), m_model(new grid::RecordsetModel(this)) {
    setProperty("controlId", res::IDC_DATAGRID);
    setModel(m_model);
    setItemDelegate(new grid::CellEditDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    // Whole rows and columns per scroll step, as Scroll() counts them.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    // Rows all have one height, so the header never measures 100k rows.
    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    rows->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("MM")));
    rows->setDefaultAlignment(Qt::AlignCenter);
    QHeaderView* cols = horizontalHeader();
    cols->setHighlightSections(true);

    // A header press picks a column or rows without the view moving the current cell to the
    // top of the column, as it would by itself: the current record must stay where it is.
    disconnect(cols, SIGNAL(sectionPressed(int)), this, SLOT(selectColumn(int)));
    disconnect(cols, SIGNAL(sectionEntered(int)), this, SLOT(_q_selectColumn(int)));
    disconnect(rows, SIGNAL(sectionPressed(int)), this, SLOT(selectRow(int)));
    disconnect(rows, SIGNAL(sectionEntered(int)), this, SLOT(_q_selectRow(int)));
    connect(cols, &QHeaderView::sectionPressed, this, &CDataGrid::OnColumnHeaderPressed);
    connect(cols, &QHeaderView::sectionClicked, this,
            [this](int col) { emit HeadClick(static_cast<short>(col)); });
    connect(rows, &QHeaderView::sectionPressed, this, &CDataGrid::OnRowHeaderPressed);
    connect(rows, &QHeaderView::sectionEntered, this, &CDataGrid::OnRowHeaderEntered);

    cols->viewport()->installEventFilter(this);
    rows->viewport()->installEventFilter(this);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CDataGrid::OnCurrentChanged);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CDataGrid::OnSelectionChanged);
}

CDataGrid::~CDataGrid() = default;

void CDataGrid::SetDataSource(RecordsetPtr recordset) {
    if (m_editor) closeEditor(m_editor, QAbstractItemDelegate::RevertModelCache);
    m_pick = Pick::Cell;
    m_pickedRows.clear();
    m_rowAnchor = -1;
    m_model->setRecordset(std::move(recordset));
}

const CDataGrid::RecordsetPtr& CDataGrid::GetDataSource() const {
    return m_model->recordset();
}

void CDataGrid::Refresh() {
    const int col = std::max(0, currentIndex().column());
    if (m_editor) closeEditor(m_editor, QAbstractItemDelegate::RevertModelCache);
    m_pick = Pick::Cell;
    m_pickedRows.clear();
    m_rowAnchor = -1;
    m_model->reload();
    const auto& rs = m_model->recordset();
    if (m_model->columnCount() == 0 || !rs || !rs->isOpen()) return;
    int row = 0;
    if (!rs->isBOF() && !rs->isEOF())
        row = static_cast<int>(rs->position());
    else if (rs->isEOF() && m_model->newRecordLine() >= 0)
        row = m_model->newRecordLine();
    if (row >= m_model->rowCount()) return;
    MoveTo(row, std::min(col, m_model->columnCount() - 1));
    // Columns fit their header and the rows in view, never the whole table: measuring the text
    // of a thousand rows a column made opening a long table slow. A grid not laid out yet has
    // a tiny viewport, so some rows are measured all the same; the count is bounded either way.
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    const int top = std::max(0, rowAt(0));
    const int sample = std::min(m_model->rowCount() - top,
                                std::clamp(viewport()->height() / rowHeight + 1, 32, 256));
    const int gridLine = showGrid() ? 1 : 0;
    // A long memo or a wide picture value must not make one column fill the screen.
    const int widest = std::max(80, viewport()->width() / 2);
    for (int c = 0; c < m_model->columnCount(); ++c) {
        int width = horizontalHeader()->sectionSizeHint(c);
        for (int r = top; r < top + sample; ++r)
            width = std::max(width, sizeHintForIndex(m_model->index(r, c)).width() + gridLine);
        setColumnWidth(c, std::min(width, widest));
    }
}

short CDataGrid::GetCol() const {
    if (m_pick != Pick::Cell) return -1;
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? static_cast<short>(cur.column()) : -1;
}

void CDataGrid::SetCol(short col) {
    if (col < 0 || col >= m_model->columnCount()) return;
    const QModelIndex cur = currentIndex();
    MoveTo(cur.isValid() ? cur.row() : 0, col);
}

long CDataGrid::GetRow() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

void CDataGrid::SetRow(long row) {
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0) return;
    const QModelIndex cur = currentIndex();
    MoveTo(static_cast<int>(row), cur.isValid() ? cur.column() : 0);
}

void CDataGrid::MoveTo(int row, int col) {
    const QModelIndex target = m_model->index(row, col);
    if (!target.isValid()) return;
    m_pick = Pick::Cell;
    m_pickedRows.clear();
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
}

short CDataGrid::GetLeftCol() const {
    const int col = columnAt(isRightToLeft() ? viewport()->width() - 1 : 0);
    return static_cast<short>(col);
}

short CDataGrid::GetVisibleCols() const {
    const int left = GetLeftCol();
    if (left < 0) return 0;
    const QHeaderView* header = horizontalHeader();
    short count = 0;
    for (int visual = header->visualIndex(left); visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (header->isSectionHidden(logical)) continue;
        if (columnViewportPosition(logical) >= viewport()->width()) break;
        ++count;
    }
    return count;
}

long CDataGrid::GetApproxCount() const {
    return m_model->recordRows();
}

long CDataGrid::GetAddNewMode() const {
    const int row = currentIndex().isValid() ? currentIndex().row() : -1;
    if (row < 0) return dbgNoAddNew;
    if (row == m_model->newRecordLine()) return dbgAddNewCurrent;
    if (row == m_model->pendingNewRow()) return dbgAddNewPending;
    return dbgNoAddNew;
}

bool CDataGrid::GetDataChanged() const {
    const int row = currentIndex().row();
    if (m_editor && m_editor->isModified()) return true;
    return m_model->isDirty() && m_model->editRow() == row;
}

bool CDataGrid::GetEditActive() const {
    return m_editor != nullptr;
}

void CDataGrid::SetEditActive(bool active) {
    if (!active) {
        if (m_editor) {
            QWidget* editor = m_editor;
            commitData(editor);
            if (m_editor == editor) closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
        return;
    }
    if (m_editor || !currentIndex().isValid()) return;
    m_pick = Pick::Cell;
    m_pickedRows.clear();
    edit(currentIndex(), QAbstractItemView::EditKeyPressed, nullptr);
}

QString CDataGrid::GetSelText() const {
    if (m_editor) return m_editor->selectedText();
    if (m_pick != Pick::Cell || !currentIndex().isValid()) return QString();
    return m_model->data(currentIndex(), Qt::EditRole).toString();
}

void CDataGrid::SetSelText(const QString& text) {
    if (!m_editor) {
        SetEditActive(true);
        if (!m_editor) return;
        m_editor->selectAll();
    }
    m_editor->insert(text);
}

void CDataGrid::SetSelStart(long start) {
    if (!m_editor) SetEditActive(true);
    if (!m_editor) return;
    if (start < 0) {
        // No place in the text: nothing is selected, and a following length changes nothing.
        m_selStart = -1;
        m_editor->deselect();
        return;
    }
    m_selStart = std::min<long>(start, m_editor->text().size());
    m_editor->setCursorPosition(static_cast<int>(m_selStart));
}

void CDataGrid::SetSelLength(long length) {
    if (!m_editor) SetEditActive(true);
    if (!m_editor || m_selStart < 0) return;
    const long room = m_editor->text().size() - m_selStart;
    m_editor->setSelection(static_cast<int>(m_selStart),
                           static_cast<int>(std::clamp<long>(length, 0, std::max(0L, room))));
}

void CDataGrid::Scroll(long cols, long rows) {
    // Both bars step by whole items, so their values count columns and rows.
    auto step = [](QScrollBar* bar, long by) {
        const long to = std::clamp<long>(bar->value() + by, bar->minimum(), bar->maximum());
        bar->setValue(static_cast<int>(to));
    };
    if (cols != 0) step(horizontalScrollBar(), cols);
    if (rows != 0) step(verticalScrollBar(), rows);
}

CDataGrid::CSelBookmarks CDataGrid::GetSelBookmarks() const {
    return CSelBookmarks(m_pick == Pick::Rows ? m_pickedRows : QList<int>());
}

void CDataGrid::SetAllowUpdate(bool allow) {
    m_model->setAllowUpdate(allow);
}

bool CDataGrid::GetAllowUpdate() const {
    return m_model->allowUpdate();
}

void CDataGrid::SetAllowAddNew(bool allow) {
    m_model->setAllowAddNew(allow);
}

bool CDataGrid::GetAllowAddNew() const {
    return m_model->allowAddNew();
}

void CDataGrid::SyncRecordset(int row) {
    const auto& rs = m_model->recordset();
    if (!rs || !rs->isOpen()) return;
    try {
        if (row >= 0 && row < m_model->recordCount()) {
            if (rs->position() != row) rs->move(row, ado::kBookmarkFirst);
        } else if (!rs->isEOF()) {
            // The new-record line and a record being typed in have no place in the recordset.
            rs->move(rs->recordCount(), ado::kBookmarkFirst);
        }
    } catch (const ProviderError&) {
        // A recordset that changed behind the grid's back; Refresh() sets it right.
    }
}

void CDataGrid::OnCurrentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (!m_headerMove && m_pick != Pick::Cell) {
        m_pick = Pick::Cell;
        m_pickedRows.clear();
    }
    const int row = current.isValid() ? current.row() : -1;
    const int lastRow = previous.isValid() ? previous.row() : -1;
    if (row != lastRow && m_model->editRow() >= 0 && m_model->editRow() != row) {
        // Typed values that nobody wrote do not follow the cursor to another record.
        m_model->discardEdits();
    }
    m_model->setCurrentRow(row);
    if (row != lastRow) SyncRecordset(row);
    QVariant last = previous.isValid() ? QVariant::fromValue<long>(lastRow) : QVariant();
    emit RowColChange(&last, static_cast<short>(previous.isValid() ? previous.column() : -1));
}

void CDataGrid::OnSelectionChanged() {
    if (m_headerMove || m_pick == Pick::Cell) return;
    if (m_pick == Pick::Rows) {
        // The view changed the selection by itself (a click on a cell, a key): rows that are
        // no longer whole leave the pick; when none is left, a cell is current again.
        QList<int> kept;
        for (int r : m_pickedRows)
            if (selectionModel()->isRowSelected(r, QModelIndex())) kept.append(r);
        m_pickedRows = kept;
        if (m_pickedRows.isEmpty()) m_pick = Pick::Cell;
        return;
    }
    const QModelIndexList cols = selectionModel()->selectedColumns();
    if (cols.isEmpty()) m_pick = Pick::Cell;
}

void CDataGrid::OnColumnHeaderPressed(int col) {
    if (col < 0 || col >= m_model->columnCount()) return;
    if (m_editor) SetEditActive(false);
    m_headerMove = true;
    m_pick = Pick::Column;
    m_pickedRows.clear();
    if (m_model->rowCount() > 0) {
        const QItemSelection column(m_model->index(0, col),
                                    m_model->index(m_model->rowCount() - 1, col));
        selectionModel()->select(column, QItemSelectionModel::ClearAndSelect);
    }
    m_headerMove = false;
}

void CDataGrid::OnRowHeaderPressed(int row) {
    if (row < 0 || row >= m_model->rowCount()) return;
    if (m_editor) SetEditActive(false);
    // The new-record line is no record to pick: pressing its header just goes there.
    if (row >= m_model->recordRows()) {
        MoveTo(row, std::max(0, currentIndex().column()));
        return;
    }
    const Qt::KeyboardModifiers mods = QApplication::keyboardModifiers();
    if (m_pick != Pick::Rows) m_pickedRows.clear();
    if ((mods & Qt::ShiftModifier) && m_rowAnchor >= 0) {
        m_pickedRows.clear();
        const int step = row >= m_rowAnchor ? 1 : -1;
        for (int r = m_rowAnchor;; r += step) {
            m_pickedRows.append(r);
            if (r == row) break;
        }
    } else if (mods & Qt::ControlModifier) {
        if (!m_pickedRows.removeOne(row)) m_pickedRows.append(row);
        m_rowAnchor = row;
    } else {
        m_pickedRows = {row};
        m_rowAnchor = row;
    }
    m_pick = m_pickedRows.isEmpty() ? Pick::Cell : Pick::Rows;
    SelectPickedRows();
}

void CDataGrid::OnRowHeaderEntered(int row) {
    // Dragging over the row headers extends the pick from where it started.
    if (m_pick != Pick::Rows || m_rowAnchor < 0 || row < 0 || row >= m_model->recordRows()) return;
    m_pickedRows.clear();
    const int step = row >= m_rowAnchor ? 1 : -1;
    for (int r = m_rowAnchor;; r += step) {
        m_pickedRows.append(r);
        if (r == row) break;
    }
    SelectPickedRows();
}

void CDataGrid::SelectPickedRows() {
    m_headerMove = true;
    QItemSelection selection;
    const int lastCol = m_model->columnCount() - 1;
    for (int r : m_pickedRows)
        selection.select(m_model->index(r, 0), m_model->index(r, std::max(0, lastCol)));
    if (!m_pickedRows.isEmpty()) {
        // The last picked row becomes the current record, in the current column.
        const int col = std::max(0, currentIndex().column());
        selectionModel()->setCurrentIndex(m_model->index(m_pickedRows.last(), col),
                                          QItemSelectionModel::NoUpdate);
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_headerMove = false;
}

void CDataGrid::DeletePickedRows() {
    short cancel = 0;
    emit BeforeDelete(&cancel);
    if (cancel) {
        short response = 1;
        emit Error(kErrDeleteCancelled, &response);
        return;
    }
    const auto& rs = m_model->recordset();
    if (!rs || !rs->isOpen()) return;
    std::vector<long> positions;
    for (int r : m_pickedRows)
        if (r < m_model->recordCount()) positions.push_back(r);
    // From the highest down: each deletion moves the records after it up.
    std::sort(positions.begin(), positions.end(), std::greater<long>());
    QString refusal;
    try {
        rs->deleteRecords(positions);
    } catch (const ProviderError& e) {
        refusal = QString::fromStdString(e.description());
    }
    Refresh();
    emit AfterDelete();
    if (!refusal.isEmpty()) QMessageBox::warning(this, QStringLiteral("Tessor"), refusal);
}

bool CDataGrid::FilterKey(const QKeyEvent* e, short* code) {
    const QString text = e->text();
    if (text.isEmpty()) return true;
    *code = static_cast<short>(text.at(0).unicode());
    const short before = *code;
    emit KeyPress(code);
    if (*code == 0) return false;
    if (*code == before) *code = 0;
    return true;
}

void CDataGrid::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Delete) && !m_editor && m_pick == Pick::Rows && m_allowDelete &&
        !m_pickedRows.isEmpty()) {
        DeletePickedRows();
        e->accept();
        return;
    }
    short code = 0;
    if (!FilterKey(e, &code)) {
        e->accept();
        return;
    }
    if (code != 0) {
        QKeyEvent replaced(e->type(), 0, e->modifiers(), QString(QChar(code)));
        QTableView::keyPressEvent(&replaced);
        return;
    }
    QTableView::keyPressEvent(e);
}

void CDataGrid::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        m_rbuttonPos = e->globalPosition().toPoint();
        // Picked rows or a picked column stay picked: the menu was about them, and a command
        // chosen from it (Add Record moves the cursor) is not undone by the press.
        const bool picked = m_pick != Pick::Cell;
        // The context menu has run (and closed) by the time the grid sees the press.
        if (!SendRButtonNotice()) return;
        if (picked) {
            e->accept();
            return;
        }
    }
    QTableView::mousePressEvent(e);
}

bool CDataGrid::SendRButtonNotice() {
    QPointer<CDataGrid> self(this);
    if (QWidget* parent = parentWidget()) {
        QEvent notice(res::eventType(res::WM_GRID_RBUTTONDOWN));
        QCoreApplication::sendEvent(parent, &notice);
    }
    return !self.isNull();
}

void CDataGrid::closeEvent(QCloseEvent* e) {
    // The grid lives and dies with its view, never by a close request of its own.
    e->ignore();
}

bool CDataGrid::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress && watched != m_editor) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton) {
            m_rbuttonPos = me->globalPosition().toPoint();
            if (!SendRButtonNotice()) return true;
        }
    }
    if (watched == m_editor && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        short code = 0;
        if (!FilterKey(ke, &code)) return true;
        if (code != 0) {
            QKeyEvent replaced(ke->type(), 0, ke->modifiers(), QString(QChar(code)));
            QCoreApplication::sendEvent(m_editor, &replaced);
            return true;
        }
    }
    return QTableView::eventFilter(watched, e);
}

bool CDataGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* e) {
    if (!QTableView::edit(index, trigger, e)) return false;
    if (auto* editor = qobject_cast<QLineEdit*>(indexWidget(index))) {
        if (editor != m_editor) {
            m_editor = editor;
            m_editIndex = index;
            m_selStart = 0;
            editor->installEventFilter(this);
        }
    }
    return true;
}

void CDataGrid::commitData(QWidget* editor) {
    const int rowBefore = m_model->editRow();
    const QMap<int, QString> before = m_model->edits();
    const int col = m_editIndex.isValid() ? m_editIndex.column() : currentIndex().column();
    QTableView::commitData(editor);
    if (m_model->editRow() != rowBefore || m_model->edits() != before) {
        if (auto* le = qobject_cast<QLineEdit*>(editor)) le->setModified(false);
        emit AfterColUpdate(static_cast<short>(col));
    }
}

void CDataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    const bool ours = editor == m_editor;
    const int col = m_editIndex.isValid() ? m_editIndex.column() : currentIndex().column();
    if (ours) {
        m_editor = nullptr;
        m_editIndex = QPersistentModelIndex();
    }
    QTableView::closeEditor(editor, hint);
    if (ours) emit AfterColEdit(static_cast<short>(col));
}
