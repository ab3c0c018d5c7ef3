#include "provider/CommandText.h"
#include "provider/Connection.h"
#include "provider/ConnectionString.h"
#include "provider/Constants.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/Variant.h"

#include "grid/RecordsetView.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

#include "db/ProviderText.h"
#include "grid/ClipboardText.h"
#include "grid/RecordsetModel.h"
#include "grid/SearchDlg.h"
#include "res/ResourceIds.h"

using tessor::provider::Connection;
using tessor::provider::ProviderError;
using tessor::provider::Recordset;
using tessor::provider::Variant;
namespace ado = tessor::provider::ado;

namespace {

const QString kSection = QStringLiteral("Recordset View");

}  // namespace

CRecordsetView::CRecordsetView(QWidget* parent) : QWidget(parent), m_grid(this) {
    setProperty("controlId", res::IDD_RECORDSET_VIEW);
    m_grid.SetAllowUpdate(true);
    m_grid.SetAllowAddNew(true);
    m_grid.SetAllowDelete(true);
    connect(&m_grid, &CDataGrid::RowColChange, this, &CRecordsetView::OnRowColChange);
    connect(&m_grid, &CDataGrid::HeadClick, this, &CRecordsetView::OnHeadClick);
    connect(&m_grid, &CDataGrid::AfterDelete, this, &CRecordsetView::OnAfterDelete);
    connect(&m_grid, &CDataGrid::AfterColUpdate, this, &CRecordsetView::OnAfterColUpdate);
    connect(&m_grid, &CDataGrid::AfterColEdit, this, &CRecordsetView::OnAfterColEdit);
    connect(&m_grid, &CDataGrid::KeyPress, this, &CRecordsetView::OnKeyPress);
    connect(&m_grid, &CDataGrid::BeforeDelete, this, &CRecordsetView::OnBeforeDelete);
    connect(&m_grid, &CDataGrid::Error, this, &CRecordsetView::OnError);
    // The wheel turns the grid one row per notch, whatever the platform's setting.
    m_grid.viewport()->installEventFilter(this);

    SetCommandHandler(res::ID_RECORD_ADD, [this] { OnRecordAdd(); });
    SetCommandHandler(res::ID_RECORD_DELETE, [this] { OnRecordDelete(); });
    SetCommandHandler(res::ID_FIELD_ASCEND, [this] { OnFieldAscend(); });
    SetCommandHandler(res::ID_FIELD_DESCEND, [this] { OnFieldDescend(); });
    SetCommandHandler(res::ID_EDIT_COPY, [this] { OnEditCopy(); });
    SetCommandHandler(res::ID_EDIT_CUT, [this] { OnEditCut(); });
    SetCommandHandler(res::ID_EDIT_PASTE, [this] { OnEditPaste(); });
    SetCommandHandler(res::ID_EDIT_FIND, [this] { OnEditFind(); });
}

CRecordsetView::~CRecordsetView() {
    m_grid.viewport()->removeEventFilter(this);
    m_grid.SetDataSource(nullptr);
    if (m_pRecordset) {
        try {
            if (m_pRecordset->state() & ado::kStateOpen) m_pRecordset->close();
        } catch (const std::exception& e) {
            ShowProviderError(e);
        }
        m_pRecordset.reset();
    }
    if (m_pConnection) {
        try {
            if (m_pConnection->state() & ado::kStateOpen) m_pConnection->close();
        } catch (const std::exception&) {
            // The file is released with the object in any case.
        }
        m_pConnection.reset();
    }
    delete m_contextMenu.data();
    // Its destructor writes the find options.
    if (m_searchDlg) delete m_searchDlg.data();
}

void CRecordsetView::OnInitialUpdate() {
    m_grid.setGeometry(0, 0, width(), height());
    m_lang.SetIniFile(CLangText::DefaultIniPath());
    m_lang.SetSection(kSection);

    m_pConnection.reset();
    try {
        m_pConnection = Connection::create();
    } catch (const std::bad_alloc&) {
        ShowMessage(m_lang.GetText(QStringLiteral("Can't create intance of Connection")));
    }
    m_pRecordset.reset();
    try {
        m_pRecordset = Recordset::create();
    } catch (const std::bad_alloc&) {
        m_pConnection.reset();
        ShowMessage(m_lang.GetText(QStringLiteral("Can't create an instance of Recordset")));
    }
}

void CRecordsetView::SetPassword(const QString& password) {
    m_szPassword = password;
    emit PasswordChanged(password);
}

QString CRecordsetView::ConnectionText(const QString& path, const QString& password) {
    const std::string secret = password.toStdString();
    return QString::fromStdString(tessor::provider::ConnectionString::format(
        path.toStdString(), password.isEmpty() ? nullptr : &secret));
}

QString CRecordsetView::CommandText(const QString& table) {
    return QString::fromStdString(tessor::provider::CommandText::selectAll(table.toStdString()));
}

bool CRecordsetView::OpenRecordset(const QString& path, const QString& table,
                                   const QString& password) {
    if (!m_pConnection || !m_pRecordset) {
        OnInitialUpdate();
        if (!m_pConnection || !m_pRecordset) return false;
    }
    try {
        if (m_pRecordset->state() & ado::kStateOpen) {
            // The grid lets go first: it must never read a closed recordset.
            m_grid.SetDataSource(nullptr);
            m_pRecordset->close();
        }
        if (m_pConnection->state() & ado::kStateOpen) m_pConnection->close();
    } catch (const std::exception& e) {
        ShowProviderError(e);
        return false;
    }

    m_strPath = path;
    m_strTable = table;
    m_szPassword = password;
    try {
        m_pConnection->setMode(ado::kModeShareExclusive);
        m_pConnection->open(ConnectionText(path, password).toStdString(), {}, {}, -1);
    } catch (const std::exception& e) {
        ShowProviderError(e);
        return false;
    }
    m_openCanceled = false;
    // A large table shows how far its reading is, and can be stopped: nothing is written.
    std::unique_ptr<QProgressDialog> progress;
    m_pRecordset->setLoadProgress([this, &progress](size_t done, size_t total) {
        if (total < kOpenProgressRows) return true;
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(
                m_lang.GetText(QStringLiteral("Opening table...")),
                m_lang.GetText(QStringLiteral("Cancel")), 0, 1000, this);
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(500);
            progress->setAutoReset(false);
        }
        progress->setValue(static_cast<int>(std::min<size_t>(done, total) * 1000 / total));
        return !progress->wasCanceled();
    });
    try {
        m_pRecordset->setCursorLocation(ado::kUseClient);
        m_pRecordset->open(CommandText(table).toStdString(), m_pConnection, ado::kOpenStatic,
                           ado::kLockPessimistic, ado::kCmdText);
    } catch (const tessor::provider::ProviderError& e) {
        m_pRecordset->setLoadProgress({});
        progress.reset();
        if (e.code() == tessor::provider::hr::kCanceled) {
            m_openCanceled = true;
            try {
                m_pConnection->close();
            } catch (const std::exception&) {
            }
            return false;
        }
        ShowProviderError(e);
        return false;
    } catch (const std::exception& e) {
        m_pRecordset->setLoadProgress({});
        progress.reset();
        ShowProviderError(e);
        return false;
    }
    m_pRecordset->setLoadProgress({});
    progress.reset();
    m_grid.SetDataSource(nullptr);
    m_grid.SetDataSource(m_pRecordset);
    // Putting the grid on the first record is no pick of a column by the user: sorting stays
    // off until a header click or a move of the cell. Columns may differ after a reopen.
    m_selCol = -1;
    m_binding = true;
    m_grid.Refresh();
    m_binding = false;
    return true;
}

bool CRecordsetView::CanDoCommand(int nWhich) {
    const bool open = m_pRecordset && m_pRecordset->isOpen();
    const long count = open ? m_pRecordset->recordCount() : 0;
    const bool notAtEnd = open && !m_pRecordset->isBOF() && !m_pRecordset->isEOF();
    const bool noNewRow = m_grid.GetAddNewMode() == CDataGrid::dbgNoAddNew;
    switch (nWhich) {
        case 0:
            return m_selCol != -1 && count > 0;
        case 1:
            return true;
        case 2:
            return notAtEnd && noNewRow;
        case 3:
            return count >= 1 && noNewRow;
        case 4:
        case 5:
            if (!notAtEnd) return false;
            return m_grid.GetCol() == -1 ? noNewRow : !m_grid.GetSelText().isEmpty();
        case 6: {
            if (!notAtEnd) return false;
            if (m_grid.GetCol() == -1) return noNewRow;
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            return data && data->hasText();
        }
        default:
            return false;
    }
}

int CRecordsetView::CommandGroup(int id) {
    switch (id) {
        case res::ID_FIELD_ASCEND:
        case res::ID_FIELD_DESCEND:
            return 0;
        case res::ID_RECORD_ADD:
            return 1;
        case res::ID_RECORD_DELETE:
            return 2;
        case res::ID_EDIT_FIND:
            return 3;
        case res::ID_EDIT_COPY:
            return 4;
        case res::ID_EDIT_CUT:
            return 5;
        case res::ID_EDIT_PASTE:
            return 6;
        default:
            return -1;
    }
}

void CRecordsetView::SetCommandHandler(int id, std::function<void()> handler) {
    if (handler)
        m_commands.insert(id, std::move(handler));
    else
        m_commands.remove(id);
}

bool CRecordsetView::HandlesCommand(int id) const {
    if (!m_commands.contains(id)) return false;
    // Cutting a column ends in Delete Field; without it there is no cut.
    if (id == res::ID_EDIT_CUT && !m_commands.contains(res::ID_FIELD_DELETE) &&
        const_cast<CRecordsetView*>(this)->ClipboardTarget() == ClipTarget::Column)
        return false;
    const int group = CommandGroup(id);
    // Asking changes nothing; CanDoCommand is not const only because the grid's getters
    // are not.
    return group < 0 || const_cast<CRecordsetView*>(this)->CanDoCommand(group);
}

bool CRecordsetView::OnCommand(int id) {
    if (!HandlesCommand(id)) return false;
    // A copy: the handler may replace itself.
    const std::function<void()> handler = m_commands.value(id);
    handler();
    return true;
}

void CRecordsetView::OnAfterColUpdate(short) {
    if (m_grid.GetDataChanged()) SaveCurrentRecord();
}

bool CRecordsetView::SaveCurrentRecord() {
    grid::RecordsetModel* model = m_grid.RecordModel();
    const int row = model->editRow();
    if (row < 0 || !m_pRecordset || !m_pRecordset->isOpen()) return false;
    const bool adding = row == model->pendingNewRow();
    try {
        if (adding) {
            m_pRecordset->addNew();
        } else if (m_pRecordset->isBOF() || m_pRecordset->isEOF() ||
                   m_pRecordset->position() != row) {
            m_pRecordset->move(row, ado::kBookmarkFirst);
        }
        const QMap<int, QString>& edits = model->edits();
        for (auto it = edits.constBegin(); it != edits.constEnd(); ++it)
            m_pRecordset->fields()
                .item(static_cast<size_t>(it.key()))
                .setValue(Variant(it.value().toStdString()));
        m_pRecordset->update();
    } catch (const std::exception& e) {
        // The typed values stay in the grid for the user to mend; the recordset keeps no
        // half-written edit that a later move would try to save again.
        try {
            m_pRecordset->cancelUpdate();
        } catch (const std::exception&) {
            // Closed under us: there is nothing pending then either.
        }
        // The save runs while the cell editor commits; a message box up at that moment takes
        // the focus, which makes the item view close that editor a second time after it is
        // gone. The box waits until the editor has closed.
        const QString text = ProviderText(e);
        QMetaObject::invokeMethod(
            this, [this, text] { ShowMessage(text); }, Qt::QueuedConnection);
        return false;
    }
    model->editsSaved();
    return true;
}

void CRecordsetView::OnRecordAdd() {
    long row = m_grid.GetApproxCount();
    if (row == 0) {
        // An empty table: the new record starts in the recordset, and the first line of the
        // grid is where its values are typed.
        if (!m_pRecordset || !m_pRecordset->isOpen()) return;
        try {
            m_pRecordset->addNew();
        } catch (const std::exception& e) {
            ShowProviderError(e);
            return;
        }
    }
    m_grid.SetRow(row);
    m_grid.SetCol(0);
    m_grid.SetEditActive(true);
}

bool CRecordsetView::AskYesNo(const QString& key) {
    return QMessageBox::question(this, QStringLiteral("Tessor"), m_lang.GetText(key),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void CRecordsetView::OnRecordDelete() {
    if (m_askDelete == 1 && !AskYesNo(QStringLiteral("Delete Record?"))) return;
    m_askDelete = 0;
    if (!m_pRecordset || !m_pRecordset->isOpen()) {
        m_askDelete = 1;
        return;
    }
    const CDataGrid::CSelBookmarks picked = m_grid.GetSelBookmarks();
    const long c = picked.GetCount();
    if (c == 0) {
        try {
            m_pRecordset->deleteRecord();
            // The record that took the deleted one's place is current, or the new last one.
            const long pos = m_pRecordset->position();
            if (pos < m_pRecordset->recordCount())
                m_pRecordset->move(pos, ado::kBookmarkFirst);
            else
                m_pRecordset->moveLast();
        } catch (const std::exception& e) {
            ShowProviderError(e);
        }
        m_grid.Refresh();
        PostNotice(res::WM_RECORD_CHANGED);
        m_askDelete = 1;
        return;
    }

    // Positions as the grid counts them, taken before anything goes. Deleting from the highest
    // down, whatever order the rows were picked in: a deletion moves every later record up,
    // so a lower position deleted first would make the higher ones name other records. A row
    // that is no record of the recordset yet (a new one still being typed) is left out.
    std::vector<long> positions;
    positions.reserve(static_cast<size_t>(c));
    const long records = m_pRecordset->recordCount();
    for (long i = 0; i < c; ++i) {
        const long pos = picked.GetItem(i).toLongLong() - 1;
        if (pos >= 0 && pos < records) positions.push_back(pos);
    }
    std::sort(positions.begin(), positions.end(), std::greater<long>());
    std::optional<QString> refusal;
    try {
        // One change of the file for all of them; on a refusal the ones before it stay deleted.
        m_pRecordset->deleteRecords(positions);
    } catch (const std::exception& e) {
        refusal = ProviderText(e);
    }
    m_askDelete = 1;
    std::optional<QString> requeryError;
    try {
        m_pRecordset->requery(-1);
        const long before = positions.empty() ? -1 : positions.back() - 1;
        if (before >= 0) m_pRecordset->move(before, ado::kBookmarkFirst);
    } catch (const std::exception& e) {
        requeryError = ProviderText(e);
    }
    m_grid.Refresh();
    PostNotice(res::WM_RECORD_CHANGED);
    if (refusal) ShowMessage(*refusal);
    if (requeryError) ShowMessage(*requeryError);
    m_askDelete = 1;
}

void CRecordsetView::SortBySelCol(bool descending) {
    if (m_selCol == -1 || !m_pRecordset || !m_pRecordset->isOpen()) return;
    const short picked = m_selCol;
    // In brackets, so that a name with blanks or brackets is one name to the sort.
    QString caption = m_grid.GetColumns().GetItem(picked).GetCaption();
    caption.replace(QLatin1Char(']'), QStringLiteral("]]"));
    const QString text = QLatin1Char('[') + caption + QLatin1Char(']') +
                         (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    try {
        m_pRecordset->setSort(text.toStdString());
    } catch (const std::exception& e) {
        ShowProviderError(e);
        return;
    }
    // The grid shows the new order from the first record on, in the sorted column; the moves
    // this makes are no pick of the user's.
    m_grid.Refresh();
    m_grid.SetCol(picked);
    m_selCol = picked;
}

void CRecordsetView::OnAfterColEdit(short) {
    if (!m_enterPressed) return;
    const short left = m_grid.GetLeftCol();
    short col = static_cast<short>(m_grid.GetCol() + 1);
    if (col == m_grid.GetColumns().GetCount()) {
        m_grid.SetRow(m_grid.GetRow() + 1);
        if (left > 0) m_grid.Scroll(-left, 0);
        col = 0;
    } else if (col > left + m_grid.GetVisibleCols() - 1) {
        m_grid.Scroll(1, 0);
    }
    m_grid.SetCol(col);
    m_enterPressed = 0;
}

void CRecordsetView::OnKeyPress(short* keyAscii) {
    if (*keyAscii != 13) return;
    m_enterPressed = 1;
    // On a cell without an open editor no edit will end to carry the move out: it happens now,
    // rather than at some later edit of another cell.
    if (!m_grid.GetEditActive() && m_grid.GetCol() != -1) {
        OnAfterColEdit(m_grid.GetCol());
        *keyAscii = 0;
    }
}

void CRecordsetView::OnBeforeDelete(short* cancel) {
    // The grid never deletes by itself: a confirmed deletion runs Delete Record once the grid
    // reports the cancel.
    if (m_askDelete != 1) return;
    if (AskYesNo(QStringLiteral("Delete Record?"))) m_deleteConfirmed = 1;
    *cancel = 1;
}

void CRecordsetView::OnError(short dataError, short* response) {
    if (dataError == CDataGrid::kErrDeleteCancelled) {
        *response = 0;
        if (!m_deleteConfirmed) return;
        m_askDelete = 0;
        OnRecordDelete();
        m_askDelete = 1;
        m_deleteConfirmed = 0;
    } else if (dataError == CDataGrid::kErrDeleteRequest) {
        *response = 0;
        OnRecordDelete();
    }
}

void CRecordsetView::OnGridRButtonDown() {
    const long rows = m_grid.GetSelBookmarks().GetCount();
    const short col = m_grid.GetCol();
    delete m_contextMenu.data();
    if (col != -1) return;

    struct Item {
        const char* text;  // null: separator
        int id;
    };
    const Item sep{nullptr, 0};
    const Item add{"Add Record", res::ID_RECORD_ADD};
    const Item del{"Delete Record", res::ID_RECORD_DELETE};
    const Item descend{"Descent Sort", res::ID_FIELD_DESCEND};
    const Item ascend{"Ascent Sort", res::ID_FIELD_ASCEND};
    const Item delField{"Delete Field", res::ID_FIELD_DELETE};
    const Item key{"Primary Key", res::ID_FIELD_PRIMARY_KEY};
    const Item cut{"Cut", res::ID_EDIT_CUT};
    const Item copy{"Copy", res::ID_EDIT_COPY};
    const Item paste{"Paste", res::ID_EDIT_PASTE};

    std::vector<Item> items;
    if (rows > 0) {
        items = {add, del, sep, cut, copy, paste};
    } else {
        const bool open = m_pRecordset && m_pRecordset->isOpen();
        const long records = open ? m_pRecordset->recordCount() : 0;
        const size_t fields = open ? m_pRecordset->columns().size() : 0;
        if (fields == 0) return;  // no column to pick
        if (records == 0) {
            if (fields == 1) return;
            items = {delField, sep, key};
        } else if (records == 1 && m_grid.GetAddNewMode() != CDataGrid::dbgNoAddNew) {
            return;
        } else {
            items = {descend, ascend};
            if (fields > 1) items.insert(items.end(), {sep, delField});
            items.insert(items.end(), {sep, cut, copy, paste, sep, key});
        }
    }

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("gridContextMenu"));
    for (const Item& item : items) {
        if (!item.text) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setData(item.id);
        // A command not built yet stays greyed rather than doing nothing.
        action->setEnabled(HasCommandHandler(item.id) &&
                           (item.id != res::ID_EDIT_CUT || rows > 0 ||
                            HasCommandHandler(res::ID_FIELD_DELETE)));
    }
    m_lang.TranslateMenu(menu, nullptr);
    m_contextMenu = menu;
    QPointer<CRecordsetView> self(this);
    QAction* chosen = menu->exec(m_grid.GetRButtonPos());
    if (!self || !chosen) return;
    const int id = chosen->data().toInt();
    if (!HasCommandHandler(id)) return;
    const std::function<void()> handler = m_commands.value(id);
    handler();
}

bool CRecordsetView::event(QEvent* e) {
    switch (res::windowMessage(e->type())) {
        case res::WM_GRID_RBUTTONDOWN:
            OnGridRButtonDown();
            break;
        case res::WM_FIND_SELECT: {
            const auto* select = static_cast<FindSelectEvent*>(e);
            OnFindSelect(select->Field(), select->Text());
            return true;
        }
        case res::WM_FIND_CLOSED:
            OnFindClosed();
            return true;
        default:
            break;
    }
    return QWidget::event(e);
}

CSearchDlg* CRecordsetView::GetSearchDlg() const {
    return m_searchDlg.data();
}

void CRecordsetView::OnEditFind() {
    if (m_searchDlg) return;
    const int field = m_selCol != -1 ? m_selCol : 0;
    auto* dlg = new CSearchDlg(this, m_pRecordset, field, m_grid.GetSelText(), this);
    // A window of its own beside the main window, not a part of the view.
    dlg->setWindowFlag(Qt::Dialog);
    m_searchDlg = dlg;
    dlg->OnInitDialog();
    dlg->adjustSize();
    const QRect main = window()->frameGeometry();
    dlg->move(main.center() - dlg->rect().center());
    dlg->show();
}

void CRecordsetView::OnFindClosed() {
    CSearchDlg* dlg = m_searchDlg.data();
    m_searchDlg.clear();
    if (!dlg) return;
    dlg->OnDestroy();
    // The dialog is still inside its own close when it tells the view; it goes once that is
    // over.
    dlg->deleteLater();
}

void CRecordsetView::FollowRecordset() {
    if (!m_pRecordset || !m_pRecordset->isOpen() || m_pRecordset->isBOF() ||
        m_pRecordset->isEOF())
        return;
    m_grid.SetRow(m_pRecordset->position());
}

void CRecordsetView::OnFindSelect(int field, const QString& text) {
    m_grid.SetEditActive(true);
    QString value;
    try {
        value = QString::fromStdString(
            m_pRecordset->fields().item(static_cast<size_t>(field)).text());
    } catch (const std::exception&) {
        // No value to look into: nothing gets selected.
    }
    // Positions count in the cell editor's own units, so the search runs on QString.
    m_grid.SetSelStart(value.toLower().indexOf(text.toLower()));
    m_grid.SetSelLength(text.size());
}

bool CRecordsetView::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_grid.viewport() && e->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(e)->angleDelta().y();
        // A sideways turn has no vertical part; the grid scrolls its columns for it.
        if (delta != 0) {
            m_grid.Scroll(0, delta > 0 ? -1 : 1);
            e->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void CRecordsetView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_grid.setGeometry(0, 0, e->size().width(), e->size().height());
}

void CRecordsetView::OnRowColChange(QVariant*, short) {
    if (!m_binding) m_selCol = m_grid.GetCol();
    PostNotice(res::WM_RECORD_CHANGED);
}

void CRecordsetView::OnHeadClick(short colIndex) {
    m_selCol = colIndex;
}

void CRecordsetView::OnAfterDelete() {
    PostNotice(res::WM_RECORD_CHANGED);
}

void CRecordsetView::PostNotice(int message) {
    if (!m_pFrame) return;
    QCoreApplication::postEvent(m_pFrame, new QEvent(res::eventType(message)));
}

void CRecordsetView::ShowMessage(const QString& text) {
    QMessageBox::warning(this, QStringLiteral("Tessor"), text);
}

QString CRecordsetView::ProviderText(const std::exception& e) { return db::ProviderText(e); }

void CRecordsetView::ShowProviderError(const std::exception& e) {
    ShowMessage(ProviderText(e));
}

CRecordsetView::ClipTarget CRecordsetView::ClipboardTarget() {
    if (m_grid.GetSelBookmarks().GetCount() > 0) return ClipTarget::Records;
    if (m_grid.GetCol() == -1 || m_grid.GetRow() == -1) return ClipTarget::Column;
    return ClipTarget::Cell;
}

std::optional<std::string> CRecordsetView::CopyRecordsText() {
    const CDataGrid::CSelBookmarks picked = m_grid.GetSelBookmarks();
    std::vector<grid::ClipboardText::Line> lines;
    try {
        const size_t fields = m_pRecordset->columns().size();
        // In the order the rows were picked; a row that is no record yet (the new-record line)
        // has nothing to copy.
        for (long i = 0; i < picked.GetCount(); ++i) {
            const long pos = picked.GetItem(i).toLongLong() - 1;
            if (pos < 0 || pos >= m_pRecordset->recordCount()) continue;
            grid::ClipboardText::Line line;
            line.reserve(fields);
            for (size_t f = 0; f < fields; ++f)
                line.push_back(m_pRecordset->textAt(pos, f));
            lines.push_back(std::move(line));
        }
    } catch (const std::exception& e) {
        ShowProviderError(e);
        return std::nullopt;
    }
    if (lines.empty()) return std::nullopt;
    return grid::ClipboardText::join(lines);
}

std::optional<std::string> CRecordsetView::CopyColumnText() {
    if (m_selCol < 0) return std::nullopt;
    std::vector<grid::ClipboardText::Line> lines;
    try {
        const long records = m_pRecordset->recordCount();
        lines.reserve(static_cast<size_t>(records));
        for (long pos = 0; pos < records; ++pos)
            lines.push_back({m_pRecordset->textAt(pos, static_cast<size_t>(m_selCol))});
    } catch (const std::exception& e) {
        ShowProviderError(e);
        return std::nullopt;
    }
    return grid::ClipboardText::join(lines);
}

bool CRecordsetView::CopyToClipboard(ClipTarget target) {
    if (!m_pRecordset || !m_pRecordset->isOpen()) return false;
    QString text;
    if (target == ClipTarget::Cell) {
        text = m_grid.GetSelText();
        if (text.isEmpty()) return false;
    } else {
        const std::optional<std::string> made =
            target == ClipTarget::Records ? CopyRecordsText() : CopyColumnText();
        // A failure on the way leaves the clipboard as it was.
        if (!made) return false;
        text = QString::fromStdString(*made);
    }
    QGuiApplication::clipboard()->setText(text);
    return true;
}

void CRecordsetView::OnEditCopy() {
    CopyToClipboard(ClipboardTarget());
}

void CRecordsetView::OnEditCut() {
    const ClipTarget target = ClipboardTarget();
    if (!CopyToClipboard(target)) return;
    switch (target) {
        case ClipTarget::Records:
            OnRecordDelete();
            break;
        case ClipTarget::Column:
            OnCommand(res::ID_FIELD_DELETE);
            break;
        case ClipTarget::Cell:
            m_grid.SetSelText(QString());
            break;
    }
}

void CRecordsetView::OnEditPaste() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return;
    const std::string text = data->text().toStdString();
    const ClipTarget target = ClipboardTarget();
    if (target == ClipTarget::Cell) {
        m_grid.SetSelText(QString::fromStdString(std::string(grid::ClipboardText::cellPiece(text))));
        return;
    }
    if (!m_pRecordset || !m_pRecordset->isOpen() || m_pRecordset->recordCount() == 0) return;
    std::vector<grid::ClipboardText::Line> lines = grid::ClipboardText::split(text);
    if (target == ClipTarget::Records) {
        if (m_pRecordset->isBOF() || m_pRecordset->isEOF()) return;
        PasteLines(m_pRecordset->position(), 0, std::move(lines), false);
        return;
    }
    if (m_selCol < 0) return;
    // One value a line: the line up to its first TAB.
    for (grid::ClipboardText::Line& line : lines)
        line.resize(1);
    PasteLines(0, static_cast<size_t>(m_selCol), std::move(lines), true);
}

void CRecordsetView::PasteLines(long first, size_t firstField,
                                std::vector<std::vector<std::string>> lines, bool stopAtRefusal) {
    const short picked = m_selCol;
    const long total = std::min<long>(static_cast<long>(lines.size()),
                                      m_pRecordset->recordCount() - first);
    // Long pastes show how far they are and can be stopped between two changes of the file:
    // what was written by then stays written.
    QProgressDialog progress(m_lang.GetText(QStringLiteral("Pasting records...")),
                             m_lang.GetText(QStringLiteral("Cancel")), 0,
                             static_cast<int>(total), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    tessor::provider::Recordset::TextWrite result;
    std::optional<QString> failure;
    try {
        result = m_pRecordset->writeTexts(first, firstField, lines, stopAtRefusal, [&](long done) {
            progress.setValue(static_cast<int>(done));
            return !progress.wasCanceled();
        });
    } catch (const std::exception& e) {
        failure = ProviderText(e);
    }
    progress.reset();
    if (stopAtRefusal) {
        // A column paste that went through ends on the first record; the column stays picked.
        if (!failure && result.refusals.empty()) {
            try {
                m_pRecordset->moveFirst();
            } catch (const std::exception& e) {
                failure = ProviderText(e);
            }
        }
        m_grid.RecordModel()->valuesChanged();
    } else {
        // A records paste ends on the last record it reached, and the grid goes there.
        m_grid.Refresh();
    }
    if (picked >= 0) m_selCol = picked;
    PostNotice(res::WM_RECORD_CHANGED);
    if (failure) {
        ShowMessage(*failure);
        return;
    }
    if (result.refusals.empty()) return;
    // One message for all refusals: a long paste of unfitting text must not stack up a box per
    // record. The first few are named with their line.
    constexpr size_t kShown = 10;
    QStringList text;
    for (size_t i = 0; i < result.refusals.size() && i < kShown; ++i)
        text << m_lang.GetText(QStringLiteral("Line %1: %2"))
                    .arg(result.refusals[i].line + 1)
                    .arg(QString::fromStdString(result.refusals[i].description));
    if (result.refusals.size() > kShown)
        text << m_lang.GetText(QStringLiteral("... and %1 more."))
                    .arg(result.refusals.size() - kShown);
    ShowMessage(text.join(QLatin1Char('\n')));
}
