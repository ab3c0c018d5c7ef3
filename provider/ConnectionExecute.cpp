// Statements run on the connection go to the engine's SQL layer, one at a time.
#include "provider/Connection.h"
#include "provider/EngineSession.h"
#include "jet/Sql.h"

namespace tessor::provider {

namespace {

// The open database statements run on, opened afresh when an earlier write failed.
jet::Database& statementDatabase(const std::shared_ptr<EngineSession>& session) {
    if (session && session->db) session->reopenAfterFailedWrite();
    if (!session || !session->db)
        throw ProviderError(hr::kConnectionInvalid,
                            "The connection is closed; open it before running a statement.");
    return *session->db;
}

}  // namespace

void Connection::execute(std::string_view statement, long /*options*/) {
    jet::Database& db = statementDatabase(m_session);
    engineCall([&] { jet::sql::execute(db, statement); });
}

std::vector<Connection::Refusal> Connection::executeTogether(
    const std::vector<std::string>& statements, OnRefusal refusal) {
    jet::Database& db = statementDatabase(m_session);
    std::vector<bool> refused(statements.size(), false);
    std::vector<Refusal> refusals;
    // A refusal drops the change as a whole: it is tried again without the refused statement,
    // whose predecessors run the same way again, so refusals come in order.
    for (;;) {
        size_t at = statements.size();
        try {
            engineCall([&] {
                db.transact([&] {
                    for (size_t i = 0; i < statements.size(); ++i) {
                        if (refused[i]) continue;
                        at = i;
                        jet::sql::execute(db, statements[i]);
                    }
                    at = statements.size();
                });
            });
            return refusals;
        } catch (const ProviderError& e) {
            // Past the last statement it is the writing of the change that failed; a read
            // error belongs to the file, not to the statement.
            if (at == statements.size() || refusal == OnRefusal::DropAll ||
                e.code() == jet::hr::kIoError)
                throw;
            refusals.push_back({at, e});
            for (size_t i = at; i < statements.size(); ++i)
                refused[i] = refused[i] || i == at || refusal == OnRefusal::EndThere;
        }
    }
}

}  // namespace tessor::provider
