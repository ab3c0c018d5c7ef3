#include "provider/Field.h"

#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/ValueText.h"

namespace tessor::provider {

const ColumnInfo& Field::info() const {
    // The handle may outlive a close, or a requery that dropped columns.
    const std::vector<ColumnInfo>& cols = m_rs->columns();
    if (m_index >= cols.size())
        throw ProviderError(hr::kItemNotFound, "The field is no longer part of the recordset.");
    return cols[m_index];
}

const std::string& Field::name() const {
    return info().name;
}
DataType Field::type() const {
    return info().type;
}
uint32_t Field::definedSize() const {
    return info().definedSize;
}
uint8_t Field::precision() const {
    return info().precision;
}
uint8_t Field::numericScale() const {
    return info().scale;
}
bool Field::isAutoIncrement() const {
    return info().autoIncrement;
}

Variant Field::value() const {
    info();
    return m_rs->fieldValue(m_index);
}

void Field::setValue(const Variant& value) {
    info();
    m_rs->setFieldValue(m_index, value);
}

std::string Field::text() const {
    return ValueText::toText(value());
}

}  // namespace tessor::provider
