#include "jet/Database.h"

#include "DatabaseImpl.h"
#include "jet/Error.h"

namespace jet {

std::unique_ptr<Database> Database::open(const std::filesystem::path& path,
                                         const OpenOptions& options) {
    throw Error(hr::kNotImplemented, "Opening databases is not built yet.");
}

Database::Database(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Database::~Database() = default;

}  // namespace jet
