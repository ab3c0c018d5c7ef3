// Statements run on the connection go to the engine's SQL layer, one at a time.
#include "provider/Connection.h"
#include "provider/EngineSession.h"
#include "jet/Sql.h"

namespace tessor::provider {

void Connection::execute(std::string_view statement, long /*options*/) {
    if (!m_session || !m_session->db)
        throw ProviderError(hr::kConnectionInvalid,
                            "The connection is closed; open it before running a statement.");
    engineCall([&] { jet::sql::execute(*m_session->db, statement); });
}

}  // namespace tessor::provider
