// The making of the new database: a copy of the empty template database, then the table and
// its text columns through the provider.

#include "provider/Connection.h"
#include "provider/ConnectionString.h"
#include "provider/ProviderError.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSaveFile>

#include <memory>

#include "db/FileAccess.h"
#include "schema/SchemaSql.h"
#include "wizard/NewSheet.h"

using tessor::provider::Connection;
using tessor::provider::ConnectionString;
using tessor::provider::ProviderError;

namespace {

constexpr auto kColumnType = "VARCHAR(255)";

// Copies `from` to `to` through a temporary file in the target folder that is renamed over the
// destination only when it is complete, so a failed copy leaves the destination as it was and
// no half file. A destination that a connection holds open is refused: replacing it would cut
// the holder off from its data.
bool copyTemplate(const QString& from, const QString& to) {
    if (QFileInfo::exists(to) && !db::TestExclusive(to)) return false;
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) return false;
    QSaveFile target(to);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) return false;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = source.read(buffer, sizeof buffer);
        if (n < 0) {
            target.cancelWriting();
            return false;
        }
        if (n == 0) break;
        if (target.write(buffer, n) != n) {
            target.cancelWriting();
            return false;
        }
    }
    return target.commit();
}

QString describe(const std::exception& e) {
    if (auto* pe = dynamic_cast<const ProviderError*>(&e))
        return QString::fromStdString(pe->description());
    return QString::fromUtf8(e.what());
}

void release(std::shared_ptr<Connection>& connection) {
    if (!connection) return;
    try {
        connection->close();
    } catch (const std::exception&) {
    }
    connection.reset();
}

}  // namespace

void CNewSheet::CreateDatabase(int mode) {
    const QString path = m_newPage->m_strPath;
    const QString table = m_tablePage->m_strTableName;

    if (!copyTemplate(m_strAppDir + QStringLiteral("/DB/Template.mdb"), path)) {
        ShowMessage(m_lang.GetText(QStringLiteral("Create Database File Failed")));
        m_bCreateFailed = 1;
        return;
    }
    m_strDbPath = path;

    std::shared_ptr<Connection> connection;
    try {
        connection = Connection::create();
    } catch (const std::exception&) {
    }
    if (!connection) {
        m_bCreateFailed = 1;
        ShowMessage(m_lang.GetText(QStringLiteral("Can't create intance of Connection")));
        return;
    }
    try {
        connection->open(ConnectionString::format(path.toStdString()), {}, {}, -1);
    } catch (const std::exception&) {
        m_bCreateFailed = 1;
        ShowMessage(m_lang.GetText(QStringLiteral("Can't open database file")));
        release(connection);
        return;
    }

    // Names go in brackets, so the table name is one name whatever it holds.
    try {
        connection->execute(
            (QStringLiteral("CREATE TABLE ") + schema::Bracketed(table)).toStdString());
    } catch (const std::exception& e) {
        m_bCreateFailed = 1;
        ShowMessage(describe(e));
        release(connection);
        return;
    }

    QStringList names;
    if (mode == 1) {
        for (int i = 0; i < m_fieldPage->m_listFields->count(); ++i)
            names << m_fieldPage->m_listFields->item(i)->text();
    } else if (mode == 0) {
        if (!TemplateColumns(names)) {
            m_bCreateFailed = 1;
            release(connection);
            return;
        }
    }

    // A refused column ends the list; the columns before it stay and the file is opened.
    for (const QString& name : names) {
        try {
            connection->execute(
                schema::AddColumn(table, name, QString::fromLatin1(kColumnType)).toStdString());
        } catch (const std::exception& e) {
            ShowMessage(describe(e));
            break;
        }
    }
    release(connection);
}

bool CNewSheet::TemplateColumns(QStringList& names) {
    // Card-design templates are read by a library loaded at run time; without it no template
    // can be read, and the new table keeps no columns.
    names.clear();
    return false;
}
