#pragma once

// Provider-internal: conversions between the engine's types and the provider's.

#include "provider/ColumnInfo.h"
#include "provider/Variant.h"
#include "jet/Database.h"
#include "jet/ValueText.h"

namespace tessor::provider {

class EngineValue {
public:
    static DataType dataType(jet::ColumnType type);
    static ColumnInfo columnInfo(const jet::ColumnDef& column, jet::Format format);
    // The engine's value as the kind the field's type holds in a RowStore; ProviderError when
    // the engine hands over a value of another kind.
    static Variant toVariant(const jet::Value& value, DataType type);
    // The other way: a value of the kind a RowStore holds (or null) as the engine takes it.
    static jet::Value toEngine(const Variant& value);
    // What the engine's value text needs to know of a field.
    static jet::FieldShape shape(const ColumnInfo& field);
};

}  // namespace tessor::provider
