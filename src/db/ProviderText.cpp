#include "db/ProviderText.h"

#include "provider/Connection.h"
#include "provider/ProviderError.h"

namespace db {

QString ProviderText(const std::exception& e) {
    if (auto* pe = dynamic_cast<const tessor::provider::ProviderError*>(&e))
        return QString::fromStdString(pe->description());
    return QString::fromUtf8(e.what());
}

void ReleaseConnection(std::shared_ptr<tessor::provider::Connection>& connection) {
    if (!connection) return;
    try {
        connection->close();
    } catch (const std::exception&) {
    }
    connection.reset();
}

}  // namespace db
