#pragma once

#include <cstddef>
#include <string>

#include "db/provider/ColumnInfo.h"
#include "db/provider/DataType.h"
#include "db/provider/Variant.h"

namespace tessor::provider {

class Recordset;

// One field of a recordset, read at the recordset's current record. A light handle: it must
// not outlive its recordset; it follows the recordset as it moves.
class Field {
public:
    const std::string& name() const;
    DataType type() const;
    int typeCode() const { return static_cast<int>(type()); }
    uint32_t definedSize() const;
    uint8_t precision() const;
    uint8_t numericScale() const;
    bool isAutoIncrement() const;
    size_t index() const { return m_index; }

    // The value at the current record; ProviderError when the recordset is at BOF or EOF.
    Variant value() const;
    // The value by the one value-as-text rule (ValueText).
    std::string text() const;

private:
    friend class Fields;
    Field(const Recordset* rs, size_t index) : m_rs(rs), m_index(index) {}
    const ColumnInfo& info() const;

    const Recordset* m_rs;
    size_t m_index;
};

}  // namespace tessor::provider
