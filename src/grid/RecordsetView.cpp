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
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QResizeEvent>

#include <new>

#include "grid/RecordsetModel.h"
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
    connect(&m_grid, &CDataGrid::RowColChange, this, &CRecordsetView::OnRowColChange);
    connect(&m_grid, &CDataGrid::HeadClick, this, &CRecordsetView::OnHeadClick);
    connect(&m_grid, &CDataGrid::AfterDelete, this, &CRecordsetView::OnAfterDelete);
    connect(&m_grid, &CDataGrid::AfterColUpdate, this, &CRecordsetView::OnAfterColUpdate);
}

CRecordsetView::~CRecordsetView() {
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
    try {
        m_pRecordset->setCursorLocation(ado::kUseClient);
        m_pRecordset->open(CommandText(table).toStdString(), m_pConnection, ado::kOpenStatic,
                           ado::kLockPessimistic, ado::kCmdText);
    } catch (const std::exception& e) {
        ShowProviderError(e);
        return false;
    }
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

QString CRecordsetView::ProviderText(const std::exception& e) {
    // The provider's own words, untranslated.
    if (auto* pe = dynamic_cast<const ProviderError*>(&e))
        return QString::fromStdString(pe->description());
    return QString::fromUtf8(e.what());
}

void CRecordsetView::ShowProviderError(const std::exception& e) {
    ShowMessage(ProviderText(e));
}
