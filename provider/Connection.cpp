#include "provider/Connection.h"

#include "provider/ConnectionString.h"
#include "provider/EngineSession.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/SchemaRowsets.h"

namespace tessor::provider {

std::shared_ptr<Connection> Connection::create() {
    return std::make_shared<Connection>();
}

Connection::Connection() = default;

Connection::~Connection() {
    close();
}

void Connection::setMode(int mode) {
    if (isOpen())
        throw ProviderError(hr::kObjectOpen,
                            "The mode cannot change while the connection is open.");
    if (mode < 0 || mode > 0x3FFFFF)
        throw ProviderError(hr::kInvalidArgument, "The connection mode is not valid.");
    m_mode = mode;
}

int Connection::state() const {
    return m_session && m_session->db ? ado::kStateOpen : ado::kStateClosed;
}

void Connection::open(std::string_view connectionText, std::string_view, std::string_view, long) {
    if (isOpen())
        throw ProviderError(hr::kObjectOpen,
                            "Operation is not allowed when the connection is open.");
    const ConnectionString cs = ConnectionString::parse(connectionText);
    jet::OpenOptions options;
    options.exclusive = (m_mode & ado::kModeShareExclusive) == ado::kModeShareExclusive;
    options.password = cs.password();
    options.readOnly = (m_mode & ado::kModeReadWrite) == ado::kModeRead;
    const std::filesystem::path path(std::u8string(
        reinterpret_cast<const char8_t*>(cs.dataSource().data()), cs.dataSource().size()));
    std::unique_ptr<jet::Database> db = engineCall([&] {
        try {
            return jet::Database::open(path, options);
        } catch (const jet::Error& e) {
            // A file that cannot be written (permissions, older format) is still opened for
            // reading, as the database engine always did.
            const bool unwritable = e.code() == jet::hr::kReadOnly ||
                                    e.code() == jet::hr::kAccessDenied ||
                                    e.code() == jet::hr::kNotImplemented;
            if (options.readOnly || !unwritable) throw;
            options.readOnly = true;
            try {
                return jet::Database::open(path, options);
            } catch (const jet::Error& again) {
                // An exclusive lock needs write permission. A file this user may only read is
                // held with a shared lock instead: it still keeps every writer out, and its
                // records can be read (a file on a read-only share, say).
                if (!options.exclusive || again.code() != jet::hr::kAccessDenied) throw;
                options.exclusive = false;
                return jet::Database::open(path, options);
            }
        }
    });
    auto session = std::make_shared<EngineSession>();
    session->db = std::move(db);
    m_session = std::move(session);
    m_connectionText = std::string(connectionText);
}

void Connection::close() {
    if (!m_session) return;
    // Recordsets share the session: emptying it releases the file for all of them.
    m_session->db.reset();
    m_session.reset();
}

std::shared_ptr<Recordset> Connection::openSchema(int schema) {
    if (!isOpen())
        throw ProviderError(hr::kObjectClosed,
                            "Operation is not allowed when the connection is closed.");
    std::unique_ptr<RowStore> rows;
    switch (schema) {
        case ado::kSchemaTables:
            rows = SchemaRowsets::tables(*m_session->db);
            break;
        case ado::kSchemaConstraintColumnUsage:
            rows = SchemaRowsets::constraintColumnUsage(*m_session->db);
            break;
        case ado::kSchemaIndexes:
            rows = SchemaRowsets::indexes(*m_session->db);
            break;
        case ado::kSchemaForeignKeys:
            rows = SchemaRowsets::foreignKeys(*m_session->db);
            break;
        default:
            throw ProviderError(hr::kNotSupported,
                                "The schema rowset " + std::to_string(schema) + " is not offered.");
    }
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->openSnapshot(std::move(rows));
    return rs;
}

}  // namespace tessor::provider
