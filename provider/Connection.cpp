#include "provider/Connection.h"

#include "provider/ConnectionString.h"
#include "provider/EngineSession.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/SchemaRowsets.h"
#include "jet/Reopen.h"

#include <utility>

namespace tessor::provider {

namespace {

DatabaseOpener& opener() {
    static DatabaseOpener current;
    return current;
}

}  // namespace

DatabaseOpener replaceDatabaseOpener(DatabaseOpener next) {
    return std::exchange(opener(), std::move(next));
}

std::unique_ptr<jet::Database> openDatabase(const std::filesystem::path& path,
                                            const jet::OpenOptions& options) {
    return opener() ? opener()(path, options) : jet::Database::open(path, options);
}

void EngineSession::reopenAfterFailedWrite() {
    if (!db || !jet::writeFailed(*db)) return;
    jet::OpenOptions again = options;
    again.password = jet::currentPassword(*db);
    db.reset();  // lets go of the file's lock first
    db = engineCall([&] { return openDatabase(path, again); });
    options = again;
}

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
            return openDatabase(path, options);
        } catch (const jet::Error& e) {
            // A file that cannot be written (permissions, older format) is still opened for
            // reading, as the database engine always did.
            const bool unwritable = e.code() == jet::hr::kReadOnly ||
                                    e.code() == jet::hr::kAccessDenied ||
                                    e.code() == jet::hr::kNotImplemented;
            if (options.readOnly || !unwritable) throw;
            options.readOnly = true;
            try {
                return openDatabase(path, options);
            } catch (const jet::Error& again) {
                // An exclusive lock needs write permission. A file this user may only read is
                // held with a shared lock instead: it still keeps every writer out, and its
                // records can be read (a file on a read-only share, say).
                if (!options.exclusive || again.code() != jet::hr::kAccessDenied) throw;
                options.exclusive = false;
                return openDatabase(path, options);
            }
        }
    });
    auto session = std::make_shared<EngineSession>();
    session->db = std::move(db);
    session->path = path;
    session->options = options;
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
