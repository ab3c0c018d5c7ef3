#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "provider/Constants.h"
#include "provider/ProviderError.h"

namespace tessor::provider {

class Recordset;
struct EngineSession;

// A connection to one database file, opened by a connection text
// ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<path>[;Jet OLEDB:Database Password=<pw>]").
// With mode kModeShareExclusive no other connection, in this or any other process, can open the
// file while this one is open; otherwise the file is shared with other shared opens.
// Held as std::shared_ptr. Not thread-safe.
class Connection {
public:
    static std::shared_ptr<Connection> create();
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Before open only. kModeShareExclusive (12) holds the file exclusively; kModeRead (1) opens
    // it read-only; anything else opens it for reading and writing, or read-only when the file
    // cannot be written (read-only file, older format).
    void setMode(int mode);
    int mode() const { return m_mode; }

    // user and password are those of a workgroup and are not used; the database password comes
    // in the connection text. options are accepted and ignored (0 or -1). A missing or wrong
    // database password gives code hr::kAuthFailed (0x80040E4D).
    void open(std::string_view connectionText, std::string_view user = {},
              std::string_view password = {}, long options = -1);
    // Releases the file. Recordsets opened on it keep their rows. Nothing happens when closed.
    void close();
    int state() const;
    bool isOpen() const { return state() == ado::kStateOpen; }
    const std::string& connectionString() const { return m_connectionText; }

    // A snapshot of one schema rowset, at its first row, walked with the recordset's moves and
    // fields. kSchemaTables (20): TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE ("TABLE",
    // "SYSTEM TABLE", "LINK", "PASS-THROUGH", "VIEW"), TABLE_GUID, DESCRIPTION, TABLE_PROPID,
    // DATE_CREATED, DATE_MODIFIED. kSchemaConstraintColumnUsage (6): one row per column of every
    // primary key, unique index and foreign key of the user tables. kSchemaIndexes (12): one row
    // per column of every index of the user tables. kSchemaForeignKeys (27): one row per column
    // pair of every relationship. See SchemaRowsets for the columns.
    std::shared_ptr<Recordset> openSchema(int schema);

    // Runs one SQL statement at once, on its own, with no records back (the provider's execute
    // with options 128): schema changes, the database password, INSERT/UPDATE/DELETE. The
    // statement takes effect completely or, when refused, not at all; a refusal throws a
    // ProviderError with the engine's description. Recordsets already open keep their rows.
    void execute(std::string_view statement, long options = ado::kExecuteNoRecords);

    // Runs statements as one change: those the database takes reach the file together or,
    // when writing the change fails, none does (and that failure is thrown). A refused
    // statement changes nothing; what becomes of the others says `refusal`: DropAll throws the
    // first refusal and changes nothing, Skip leaves the refused statement out and runs the
    // rest, EndThere keeps the statements before the refused one and runs none after it. The
    // refusals come back in the statements' order.
    enum class OnRefusal { DropAll, Skip, EndThere };
    struct Refusal {
        size_t statement;
        ProviderError error;
    };
    std::vector<Refusal> executeTogether(const std::vector<std::string>& statements,
                                         OnRefusal refusal);

    // Provider-internal: the open database shared with recordsets.
    const std::shared_ptr<EngineSession>& session() const { return m_session; }

private:
    int m_mode = ado::kModeUnknown;
    std::string m_connectionText;
    std::shared_ptr<EngineSession> m_session;
};

}  // namespace tessor::provider
