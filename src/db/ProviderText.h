#pragma once

#include <QString>

#include <exception>
#include <memory>

namespace tessor::provider {
class Connection;
}

namespace db {

// The words a provider failure carries, for a message box: a provider error's description, any
// other exception's what().
QString ProviderText(const std::exception& e);

// Closes the connection and lets go of it; a failure on the way out changes nothing for the
// caller, who is ending its work with the connection anyway.
void ReleaseConnection(std::shared_ptr<tessor::provider::Connection>& connection);

}  // namespace db
