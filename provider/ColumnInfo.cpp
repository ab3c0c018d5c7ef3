#include "provider/ColumnInfo.h"

#include "jet/Text.h"

namespace tessor::provider {

std::optional<size_t> findColumn(const std::vector<ColumnInfo>& columns, std::string_view name) {
    for (size_t i = 0; i < columns.size(); ++i)
        if (jet::CaseFold::equal(columns[i].name, name)) return i;
    return std::nullopt;
}

}  // namespace tessor::provider
