// The making of the new database: a copy of the empty template database, then the table and
// its text columns through the provider.

#include "provider/Connection.h"
#include "provider/ConnectionString.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>

#include <memory>
#include <vector>

#include "db/FileAccess.h"
#include "db/ProviderText.h"
#include "preview/DibUtil.h"
#include "schema/SchemaSql.h"
#include "tessor/plugin/MakerPlugin.h"
#include "wizard/NewSheet.h"

using tessor::provider::Connection;
using tessor::provider::ConnectionString;

namespace {

constexpr auto kColumnType = "VARCHAR(255)";
constexpr const char* kCardReaderLibrary = "libKvCardIO.so";

// A destination that a connection holds open is refused: replacing it would cut the holder off
// from its data.
bool copyTemplate(const QString& from, const QString& to) {
    if (QFileInfo::exists(to) && !db::TestExclusive(to)) return false;
    return db::CopyFileWhole(from, to);
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
        db::ReleaseConnection(connection);
        return;
    }

    // A template that gives no columns still leaves the table, and the creation failed.
    QStringList names;
    bool noColumns = false;
    if (mode == 1) {
        for (int i = 0; i < m_fieldPage->m_listFields->count(); ++i)
            names << m_fieldPage->m_listFields->item(i)->text();
    } else if (mode == 0) {
        noColumns = !TemplateColumns(names);
        if (noColumns) names.clear();
    }

    // The table and its columns are one change: a full disk or a stop of the program leaves
    // the file without the table, never with a part of it. Names go in brackets, so the table
    // name is one name whatever it holds. A refused column ends the list; the columns before
    // it stay and the file is opened.
    std::vector<std::string> statements{
        (QStringLiteral("CREATE TABLE ") + schema::Bracketed(table)).toStdString()};
    for (const QString& name : names)
        statements.push_back(
            schema::AddColumn(table, name, QString::fromLatin1(kColumnType)).toStdString());
    std::vector<Connection::Refusal> refusals;
    try {
        refusals = connection->executeTogether(statements, Connection::OnRefusal::EndThere);
    } catch (const std::exception& e) {
        m_bCreateFailed = 1;
        ShowMessage(db::ProviderText(e));
        db::ReleaseConnection(connection);
        return;
    }
    if (!refusals.empty()) {
        if (refusals.front().statement == 0) m_bCreateFailed = 1;
        ShowMessage(db::ProviderText(refusals.front().error));
    }
    if (noColumns) m_bCreateFailed = 1;
    db::ReleaseConnection(connection);
}

namespace {

// Gives every name that equals an earlier one a "1" more, until it equals none of them.
void makeUnique(std::vector<QByteArray>& names) {
    for (std::size_t k = 1; k < names.size(); ++k) {
        for (std::size_t j = 0; j < k; ++j) {
            if (names[j] != names[k]) continue;
            names[k] += '1';
            j = static_cast<std::size_t>(-1);  // from the first again
        }
    }
}

// Outer white space off; letters A-Z a-z, digits, "_", "@" and ":" kept; "-" and the blank
// become "_"; every other byte, each byte of a multi-byte character too, becomes "x".
QByteArray cleaned(const QByteArray& name) {
    QByteArray out = name.trimmed();
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool keep = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') ||
                          (u >= 'a' && u <= 'z') || u == '_' || u == '@' || u == ':';
        if (keep) continue;
        c = (u == '-' || u == ' ') ? '_' : 'x';
    }
    return out;
}

}  // namespace

bool CNewSheet::TemplateColumns(QStringList& names) {
    names.clear();
    using tessor::plugin::CardHeader;
    using tessor::plugin::CardReader;
    using tessor::plugin::VariableNode;

    // Without the reader library no template can be read; the table keeps no columns.
    tessor::plugin::PluginObject* object = CDibUtil::LoadClassObject(kCardReaderLibrary);
    CardReader* reader = tessor::plugin::pluginCast<CardReader>(object);
    if (!reader) {
        CDibUtil::ReleaseClassObject(object);
        return false;
    }

    CardHeader header;
    const QByteArray path = QFile::encodeName(m_templatePage->m_strTemplatePath);
    if (!reader->readCard(path.constData(), &header)) {
        // A damaged or foreign file is named with the reader's reason.
        const QString why = QString::fromUtf8(header.error);
        CDibUtil::ReleaseClassObject(object);
        ShowMessage(m_lang.GetText(QStringLiteral("Can't read template file")) +
                    QStringLiteral("\n") + why);
        return false;
    }

    std::vector<QByteArray> found;
    auto collect = [&](int side, const char* prefix) {
        VariableNode* head = reader->variables(side);
        for (VariableNode* node = head; node; node = node->next)
            found.push_back(QByteArray(prefix) + QByteArray(node->name ? node->name : ""));
        reader->releaseVariables(head);
    };
    switch (header.sides) {
        case 1:
            collect(1, "");
            break;
        case 2:
            collect(2, "");
            break;
        case 3:
            collect(1, "F_");
            collect(2, "B_");
            break;
        default:
            // A design of no known sides: the table is made without columns.
            CDibUtil::ReleaseClassObject(object);
            return true;
    }
    CDibUtil::ReleaseClassObject(object);
    if (found.empty()) return false;

    makeUnique(found);
    for (const QByteArray& name : found)
        names << QString::fromLatin1(cleaned(name));
    return true;
}
