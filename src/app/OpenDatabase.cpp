// Opening a database file: an operation of the application object. The dialogs it runs are in
// db/.

#include "provider/Connection.h"
#include "provider/ConnectionString.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"

#include <QMdiSubWindow>
#include <QMessageBox>

#include <memory>

#include "app/MainApp.h"
#include "app/MainFrame.h"
#include "app/TableWindow.h"
#include "db/DbPasswordDlg.h"
#include "db/FileAccess.h"
#include "db/ProviderText.h"
#include "db/SelectTableDlg.h"

using tessor::provider::Connection;
using tessor::provider::ConnectionString;
using tessor::provider::ProviderError;
using tessor::provider::Recordset;
namespace ado = tessor::provider::ado;
namespace hr = tessor::provider::hr;

namespace {

void showMessage(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, QStringLiteral("Tessor"), text);
}

}  // namespace

void CMainApp::OpenDatabase(const QString& path) {
    QWidget* owner = m_pMainFrame;

    if (!db::TestExclusive(path)) {
        showMessage(owner, m_lang.GetText(QStringLiteral("The database file already been used")));
        return;
    }

    std::shared_ptr<Connection> connection;
    try {
        connection = Connection::create();
    } catch (const std::exception&) {
    }
    if (!connection) {
        showMessage(owner, m_lang.GetText(QStringLiteral("Can't create intance of Connection")));
        return;
    }

    const std::string file = path.toStdString();
    QString password;
    try {
        connection->open(ConnectionString::format(file, nullptr, true), {}, {}, 0);
    } catch (const ProviderError& refused) {
        if (refused.code() != hr::kAuthFailed) {
            db::ReleaseConnection(connection);
            showMessage(owner, m_lang.GetText(QStringLiteral("Can't open database file")));
            return;
        }
        CDbPasswordDlg prompt(IniPath(), owner);
        if (prompt.exec() != QDialog::Accepted) {
            db::ReleaseConnection(connection);
            showMessage(owner, QString::fromStdString(refused.description()));
            return;
        }
        // One try only: a wrong password ends the open with the provider's own words.
        password = prompt.m_strPassword;
        const std::string secret = password.toStdString();
        try {
            connection->open(ConnectionString::format(file, &secret, true), {}, {}, 0);
        } catch (const std::exception& e) {
            db::ReleaseConnection(connection);
            showMessage(owner, db::ProviderText(e));
            return;
        }
    } catch (const std::exception&) {
        db::ReleaseConnection(connection);
        showMessage(owner, m_lang.GetText(QStringLiteral("Can't open database file")));
        return;
    }

    // The table list; a rowset that cannot be read ends the open with the provider's words.
    QString table;
    int count = 0;
    std::shared_ptr<Recordset> tables;
    try {
        tables = connection->openSchema(ado::kSchemaTables);
        while (!tables->isEOF()) {
            if (tables->fields().item("TABLE_TYPE").text() == "TABLE") {
                table = QString::fromStdString(tables->fields().item("TABLE_NAME").text());
                ++count;
            }
            tables->moveNext();
        }
    } catch (const std::exception& e) {
        db::ReleaseConnection(connection);
        showMessage(owner, db::ProviderText(e));
        return;
    }

    if (count == 0) {
        db::ReleaseConnection(connection);
        showMessage(owner,
                    m_lang.GetText(QStringLiteral("Can't edit database file with empty field")));
        return;
    }
    if (count > 1) {
        CSelectTableDlg chooser(IniPath(), owner);
        chooser.m_pTables = tables;
        const int answer = chooser.exec();
        if (!chooser.ErrorText().isEmpty()) {
            db::ReleaseConnection(connection);
            showMessage(owner, chooser.ErrorText());
            return;
        }
        if (answer != QDialog::Accepted) {
            db::ReleaseConnection(connection);
            return;
        }
        table = chooser.m_strTable;
    }
    tables.reset();
    db::ReleaseConnection(connection);

    if (!m_pMainFrame) return;
    m_pMainFrame->ShowRecordToolbar();
    QWidget* window = m_createChild ? m_createChild(m_pMainFrame) : nullptr;
    auto* tableWindow = dynamic_cast<app::TableWindow*>(window);
    if (!tableWindow) {
        delete window;
        // Nothing was opened, so the bar goes back to what it was.
        m_pMainFrame->RestoreStartToolbar();
        return;
    }
    m_pMainFrame->AddChildFrame(window, m_hMDIMenu)->show();
    tableWindow->OpenTable(path, table, password);
}
