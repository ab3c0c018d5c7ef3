#pragma once

#include <string_view>

#include "provider/TableSnapshot.h"

namespace jet {
class Database;
}

namespace tessor::provider {

// Reads a whole table from the engine into a snapshot, one row at a time, so that the rows
// never exist twice in memory.
class TableLoader {
public:
    // Throws ProviderError (the engine's code and text) when the table cannot be read, and
    // hr::kCanceled when `progress` stopped it.
    static TableSnapshot load(jet::Database& db, std::string_view table,
                              const LoadProgress& progress = {});
};

}  // namespace tessor::provider
