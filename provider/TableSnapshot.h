#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "provider/RowIdList.h"
#include "provider/RowStore.h"

namespace tessor::provider {

// Told how many of a table's rows are read (done) of how many it holds (total), now and then
// while it is read; false stops the reading.
using LoadProgress = std::function<bool(size_t done, size_t total)>;

// The rows of a recordset and, for rows read from a table, where each lives in the file
// (page << 8 | slot), so that changes can later be written back to the right row.
struct TableSnapshot {
    std::unique_ptr<RowStore> rows;
    RowIdList rowIds;  // empty for rowsets made in memory
};

}  // namespace tessor::provider
