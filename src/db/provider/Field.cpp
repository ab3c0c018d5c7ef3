#include "db/provider/Field.h"

#include "db/provider/Recordset.h"
#include "db/provider/ValueText.h"

namespace tessor::provider {

const std::string& Field::name() const {
    return m_rs->columns()[m_index].name;
}
DataType Field::type() const {
    return m_rs->columns()[m_index].type;
}
uint32_t Field::definedSize() const {
    return m_rs->columns()[m_index].definedSize;
}
uint8_t Field::precision() const {
    return m_rs->columns()[m_index].precision;
}
uint8_t Field::numericScale() const {
    return m_rs->columns()[m_index].scale;
}
bool Field::isAutoIncrement() const {
    return m_rs->columns()[m_index].autoIncrement;
}

Variant Field::value() const {
    return m_rs->rows()->value(m_rs->currentRow(), m_index);
}

std::string Field::text() const {
    return ValueText::toText(value());
}

}  // namespace tessor::provider
