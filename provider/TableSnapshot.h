#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "provider/RowStore.h"

namespace tessor::provider {

// The rows of a recordset and, for rows read from a table, where each lives in the file
// (page << 8 | slot), so that changes can later be written back to the right row.
struct TableSnapshot {
    std::unique_ptr<RowStore> rows;
    std::vector<uint32_t> rowIds;  // empty for rowsets made in memory
};

}  // namespace tessor::provider
