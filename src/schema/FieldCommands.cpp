#include "schema/FieldCommands.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressDialog>

#include "grid/RecordsetView.h"
#include "lang/LangText.h"
#include "provider/Connection.h"
#include "provider/Constants.h"
#include "provider/Field.h"
#include "provider/Fields.h"
#include "provider/Recordset.h"
#include "db/ProviderText.h"
#include "res/ResourceIds.h"
#include "schema/FieldEditDlg.h"
#include "schema/SchemaSql.h"
#include "schema/SetPasswordDlg.h"

namespace ado = tessor::provider::ado;
using tessor::provider::Connection;
using tessor::provider::Recordset;

namespace schema {

namespace {

// Tables from this many records up show a progress dialog while their design changes.
constexpr long kProgressRows = 5000;

void ShowText(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, QStringLiteral("Tessor"), text);
}

QString ViewText(const char* key) {
    CLangText lang;
    lang.SetIniFile(CLangText::DefaultIniPath());
    lang.SetSection(QStringLiteral("Recordset View"));
    return lang.GetText(QString::fromLatin1(key));
}

QString Text(const tessor::provider::Field& f) {
    return QString::fromStdString(f.text());
}

// Calls `row` for every row of a schema rowset until it returns false.
template <typename Fn>
void WalkSchema(Connection& connection, int schema, Fn row) {
    std::shared_ptr<Recordset> rs = connection.openSchema(schema);
    while (!rs->isEOF()) {
        if (!row(rs->fields())) break;
        rs->moveNext();
    }
    rs->close();
}

// The name of the grid column last picked; empty when none is.
QString PickedColumn(CRecordsetView* view) {
    const short col = view->GetSelCol();
    if (col < 0 || col >= view->GetGrid().GetColumns().GetCount()) return QString();
    return view->GetGrid().GetColumns().GetItem(col).GetCaption();
}

long RowCount(CRecordsetView* view) {
    const auto rs = view->GetRecordset();
    return rs && rs->isOpen() ? rs->recordCount() : 0;
}

// After the columns changed: the recordset reads the table again (or the view reopens it) and
// the frame hands it on to the preview.
void RefreshColumns(CRecordsetView* view) {
    const auto rs = view->GetRecordset();
    try {
        if (rs && (rs->state() & ado::kStateOpen)) {
            rs->requery(-1);
            view->GetGrid().Refresh();
        } else {
            view->OpenRecordset(view->GetPath(), view->GetTable(), view->GetPassword());
        }
    } catch (const std::exception& e) {
        ShowText(view, db::ProviderText(e));
    }
    view->NotifyRecordsetReplaced();
}

}  // namespace

QString PrimaryKeyColumn(Connection& connection, const QString& table) {
    QString key;
    WalkSchema(connection, ado::kSchemaConstraintColumnUsage, [&](auto& f) {
        if (Text(f.item("TABLE_NAME")) == table && Text(f.item("CONSTRAINT_NAME")) == "PrimaryKey") {
            key = Text(f.item("COLUMN_NAME"));
            return false;
        }
        return true;
    });
    return key;
}

QStringList IndexColumns(Connection& connection, const QString& table) {
    QStringList columns;
    WalkSchema(connection, ado::kSchemaIndexes, [&](auto& f) {
        if (Text(f.item("TABLE_NAME")) == table) columns << Text(f.item("COLUMN_NAME"));
        return true;
    });
    return columns;
}

QStringList RelationshipColumns(Connection& connection, const QString& table) {
    QStringList columns;
    WalkSchema(connection, ado::kSchemaForeignKeys, [&](auto& f) {
        if (Text(f.item("PK_TABLE_NAME")) == table) columns << Text(f.item("PK_COLUMN_NAME"));
        if (Text(f.item("FK_TABLE_NAME")) == table) columns << Text(f.item("FK_COLUMN_NAME"));
        return true;
    });
    return columns;
}

int RunStatements(QWidget* parent, Connection& connection, const QStringList& statements,
                  long rows, bool allOrNothing) {
    if (statements.isEmpty()) return 0;
    std::unique_ptr<QProgressDialog> progress;
    if (rows >= kProgressRows) {
        CLangText lang;
        lang.SetIniFile(CLangText::DefaultIniPath());
        lang.SetSection(QStringLiteral("Recordset View"));
        progress = std::make_unique<QProgressDialog>(
            lang.GetText(QStringLiteral("Changing the table design...")), QString(), 0,
            static_cast<int>(statements.size()), parent);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
        progress->setValue(0);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    std::vector<std::string> list;
    list.reserve(static_cast<size_t>(statements.size()));
    for (const QString& s : statements)
        list.push_back(s.toStdString());
    // One change for all of them: a failure to write it (a full disk), or a stop of the
    // program, leaves the design as it was, never half changed.
    std::vector<Connection::Refusal> refusals;
    try {
        refusals = connection.executeTogether(
            list, allOrNothing ? Connection::OnRefusal::DropAll : Connection::OnRefusal::Skip);
    } catch (const std::exception& e) {
        progress.reset();
        ShowText(parent, db::ProviderText(e));
        return 0;
    }
    progress.reset();
    for (const Connection::Refusal& r : refusals)
        ShowText(parent, db::ProviderText(r.error));
    return static_cast<int>(statements.size() - static_cast<qsizetype>(refusals.size()));
}

void InstallCommands(CRecordsetView* view) {
    view->SetCommandHandler(res::ID_FIELD_MODIFY, [view] { OnModifyField(view); });
    view->SetCommandHandler(res::ID_FIELD_DELETE, [view] { OnDeleteField(view); });
    view->SetCommandHandler(res::ID_FIELD_PRIMARY_KEY, [view] { OnPrimaryKey(view); });
    view->SetCommandHandler(res::ID_FIELD_ADD_PRINT_INFO, [view] { OnAddPrintInfo(view); });
    view->SetCommandHandler(res::ID_FILE_SET_PASSWORD, [view] { OnSetPassword(view); });
}

void OnSetPassword(CRecordsetView* view) {
    const auto connection = view->GetConnection();
    if (!connection || !connection->isOpen()) return;
    CSetPasswordDlg dlg(view);
    if (dlg.exec() != QDialog::Accepted) return;
    try {
        connection->execute(SetPassword(dlg.m_strNew, dlg.m_strOld).toStdString());
    } catch (const std::exception& e) {
        ShowText(view, db::ProviderText(e));
        return;
    }
    // Later reopens of the file (after a design change, Save As) need the new password.
    view->SetPassword(dlg.m_strNew);
}

void OnDeleteField(CRecordsetView* view) {
    if (view->GetSelCol() == -1) return;
    const auto connection = view->GetConnection();
    const auto rs = view->GetRecordset();
    if (!connection || !connection->isOpen() || !rs) return;
    if (QMessageBox::question(view, QStringLiteral("Tessor"), ViewText("Delete Field?"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString column = PickedColumn(view);
    if (column.isEmpty()) return;
    try {
        // Dropping it would leave the relationship naming a column that is gone.
        if (RelationshipColumns(*connection, view->GetTable()).contains(column)) {
            ShowText(view, ViewText("Can't delete the field that a relationship uses"));
            return;
        }
    } catch (const std::exception& e) {
        ShowText(view, db::ProviderText(e));
        return;
    }
    // No sort may refer to the column any more (a sort written by the sort commands starts with
    // the column's name, in brackets).
    const QString sort = QString::fromStdString(rs->sort());
    if (!sort.isEmpty() &&
        (sort.startsWith(column) || sort.startsWith(Bracketed(column)))) {
        try {
            rs->setSort("");
        } catch (const std::exception& e) {
            ShowText(view, db::ProviderText(e));
        }
    }
    if (RunStatements(view, *connection, {DropColumn(view->GetTable(), column)},
                      RowCount(view)) == 0)
        return;
    try {
        rs->requery(-1);
    } catch (const std::exception& e) {
        ShowText(view, db::ProviderText(e));
    }
    view->GetGrid().Refresh();
    view->NotifyRecordsetReplaced();
}

void OnPrimaryKey(CRecordsetView* view) {
    const auto connection = view->GetConnection();
    if (!connection || !connection->isOpen()) return;
    // Without a picked column there is nothing to make the key.
    const QString column = PickedColumn(view);
    if (column.isEmpty()) return;
    QString key;
    try {
        key = PrimaryKeyColumn(*connection, view->GetTable());
    } catch (const std::exception& e) {
        ShowText(view, db::ProviderText(e));
        return;
    }
    if (!key.isEmpty() && key == column) {
        ShowText(view, ViewText("This field already set as primary key"));
        return;
    }
    // The old key goes and the new one comes in one change: when either is refused, or the
    // change cannot be written, the old key stays.
    QStringList statements;
    if (!key.isEmpty()) statements << DropPrimaryKey(view->GetTable());
    statements << AddPrimaryKey(view->GetTable(), column);
    RunStatements(view, *connection, statements, RowCount(view), true);
}

void OnAddPrintInfo(CRecordsetView* view) {
    const auto connection = view->GetConnection();
    const auto rs = view->GetRecordset();
    if (!connection || !connection->isOpen() || !rs) return;
    QStringList have;
    const size_t count = rs->fields().count();
    for (size_t i = 0; i < count; ++i)
        have << QString::fromStdString(rs->fields().item(i).name());
    QStringList statements;
    for (const PrintInfoColumn& c : kPrintInfoColumns) {
        const QString name = QString::fromLatin1(c.name);
        if (!have.contains(name))
            statements << AddNullableColumn(view->GetTable(), name, QString::fromLatin1(c.type));
    }
    if (statements.isEmpty()) return;
    if (RunStatements(view, *connection, statements, RowCount(view)) == 0) return;
    RefreshColumns(view);
}

void OnModifyField(CRecordsetView* view) {
    CFieldEditDlg dlg(view);
    dlg.m_pConnection = view->GetConnection();
    dlg.m_pRecordset = view->GetRecordset();
    dlg.m_strTable = view->GetTable();
    if (dlg.exec() != QDialog::Accepted || !dlg.m_bModified) return;
    RefreshColumns(view);
}

}  // namespace schema
