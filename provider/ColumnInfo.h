#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/DataType.h"

namespace tessor::provider {

// What a recordset knows about one of its fields.
struct ColumnInfo {
    std::string name;
    DataType type = DataType::VarWChar;
    uint32_t definedSize = 0;  // characters for text, bytes for binary, the value's size otherwise
    uint8_t precision = 0;     // decimal digits of a decimal
    uint8_t scale = 0;         // digits after the point of a decimal
    bool nullable = true;
    bool autoIncrement = false;
    bool fixedLength = false;
};

// The field of that name, names compared without regard to case as the database does.
std::optional<size_t> findColumn(const std::vector<ColumnInfo>& columns, std::string_view name);

}  // namespace tessor::provider
