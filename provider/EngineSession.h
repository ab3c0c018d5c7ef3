#pragma once

// Provider-internal: the only header of the provider that reaches into the engine. The
// application never includes it (it cannot: the engine's headers are not on its path).

#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <utility>

#include "provider/ProviderError.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace tessor::provider {

// The open database a connection and its recordsets share. Closing the connection empties it;
// recordsets still holding it keep their rows but can no longer reach the file.
struct EngineSession {
    std::unique_ptr<jet::Database> db;
    // How the file was opened, to open it again.
    std::filesystem::path path;
    jet::OpenOptions options;

    // Before a change: an open whose earlier change failed while being written takes no more
    // changes, so the file is opened again (with the password it has now). The failed change
    // left the file as it was, so the rows the recordsets hold still say where each record is.
    // When the file cannot be opened again, db stays empty and the error passes on.
    void reopenAfterFailedWrite();
};

// How connections open database files. Normally jet::Database::open; the provider's own tests
// put files under it that fail on demand. Returns the opener it replaces; an empty one restores
// the normal way.
using DatabaseOpener = std::function<std::unique_ptr<jet::Database>(
    const std::filesystem::path& path, const jet::OpenOptions& options)>;
DatabaseOpener replaceDatabaseOpener(DatabaseOpener opener);
std::unique_ptr<jet::Database> openDatabase(const std::filesystem::path& path,
                                            const jet::OpenOptions& options);

// Runs f, turning whatever the engine throws into a ProviderError with the same code and text.
template <typename F>
decltype(auto) engineCall(F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (const ProviderError&) {
        throw;
    } catch (const jet::Error& e) {
        throw ProviderError(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        throw ProviderError(hr::kFail, "There is not enough memory for this operation.");
    } catch (const std::exception& e) {
        throw ProviderError(hr::kFail, e.what());
    }
}

}  // namespace tessor::provider
