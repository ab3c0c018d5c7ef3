#pragma once

#include <cstddef>
#include <string>

#include "provider/ColumnInfo.h"
#include "provider/DataType.h"
#include "provider/Variant.h"

namespace tessor::provider {

class Recordset;

// One field of a recordset at the recordset's current record. A light handle: it must not
// outlive its recordset; it follows the recordset as it moves.
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

    // The value at the current record, or the one written to it and not yet saved;
    // ProviderError when the recordset is at BOF or EOF.
    Variant value() const;
    // Writes the current record's value (or the new record's, after Recordset::addNew); it
    // reaches the file with Recordset::update. Text is read as the field's type
    // (ValueText::fromText); another kind of value is converted through its text form; null
    // and empty clear the field. A value the field cannot hold is refused with a ProviderError
    // naming the field and the value, and the pending values stay as they were. AutoNumber
    // fields are assigned by the database and refuse every write.
    void setValue(const Variant& value);
    // The value by the one value-as-text rule (ValueText).
    std::string text() const;

private:
    friend class Fields;
    Field(Recordset* rs, size_t index) : m_rs(rs), m_index(index) {}
    const ColumnInfo& info() const;

    Recordset* m_rs;
    size_t m_index;
};

}  // namespace tessor::provider
