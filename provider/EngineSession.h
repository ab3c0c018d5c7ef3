#pragma once

// Provider-internal: the only header of the provider that reaches into the engine. The
// application never includes it (it cannot: the engine's headers are not on its path).

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
};

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
