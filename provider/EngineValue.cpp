#include "provider/EngineValue.h"

#include "provider/ProviderError.h"

namespace tessor::provider {

DataType EngineValue::dataType(jet::ColumnType type) {
    switch (type) {
        case jet::ColumnType::Bool:
            return DataType::Boolean;
        case jet::ColumnType::Byte:
            return DataType::UnsignedTinyInt;
        case jet::ColumnType::Int:
            return DataType::SmallInt;
        case jet::ColumnType::Long:
            return DataType::Integer;
        case jet::ColumnType::Money:
            return DataType::Currency;
        case jet::ColumnType::Float:
            return DataType::Single;
        case jet::ColumnType::Double:
            return DataType::Double;
        case jet::ColumnType::DateTime:
            return DataType::Date;
        case jet::ColumnType::Text:
            return DataType::VarWChar;
        case jet::ColumnType::Memo:
            return DataType::LongVarWChar;
        case jet::ColumnType::Ole:
            return DataType::LongVarBinary;
        case jet::ColumnType::Guid:
            return DataType::Guid;
        case jet::ColumnType::Numeric:
            return DataType::Numeric;
        case jet::ColumnType::Complex:
            return DataType::Integer;
        default:
            return DataType::VarBinary;  // Binary and the types shown as raw bytes
    }
}

ColumnInfo EngineValue::columnInfo(const jet::ColumnDef& c, jet::Format format) {
    ColumnInfo info;
    info.name = c.name;
    info.type = dataType(c.type);
    info.autoIncrement = c.isAutoNumber() || c.isAutoGuid();
    info.fixedLength = c.isFixed();
    switch (info.type) {
        case DataType::VarWChar:
            info.definedSize = format == jet::Format::Jet4 ? c.length / 2u : c.length;
            break;
        case DataType::LongVarWChar:
            info.definedSize = 536870910;
            break;
        case DataType::LongVarBinary:
            info.definedSize = 1073741823;
            break;
        case DataType::VarBinary:
            info.definedSize = c.length;
            break;
        case DataType::Boolean:
            info.definedSize = 2;
            break;
        case DataType::Numeric:
            info.definedSize = 19;
            info.precision = c.precision;
            info.scale = c.scale;
            break;
        default:
            info.definedSize = c.length;
            break;
    }
    return info;
}

Variant EngineValue::toVariant(const jet::Value& value, DataType type) {
    const jet::Value::Storage& v = value.v;
    switch (type) {
        case DataType::Boolean:
            if (auto p = std::get_if<bool>(&v)) return Variant(*p);
            break;
        case DataType::UnsignedTinyInt:
            if (auto p = std::get_if<uint8_t>(&v)) return Variant(*p);
            break;
        case DataType::SmallInt:
            if (auto p = std::get_if<int16_t>(&v)) return Variant(*p);
            break;
        case DataType::Integer:
            if (auto p = std::get_if<int32_t>(&v)) return Variant(*p);
            break;
        case DataType::Currency:
            if (auto p = std::get_if<jet::Currency>(&v)) return Variant(Currency{p->scaled});
            break;
        case DataType::Single:
            if (auto p = std::get_if<float>(&v)) return Variant(*p);
            break;
        case DataType::Double:
            if (auto p = std::get_if<double>(&v)) return Variant(*p);
            break;
        case DataType::Date:
            if (auto p = std::get_if<jet::DateTime>(&v)) return Variant(Date{p->days});
            break;
        case DataType::VarWChar:
        case DataType::LongVarWChar:
            if (auto p = std::get_if<std::string>(&v)) return Variant(*p);
            break;
        case DataType::Guid:
            if (auto p = std::get_if<jet::Guid>(&v)) return Variant(Guid{p->bytes});
            break;
        case DataType::Numeric:
            if (auto p = std::get_if<jet::Decimal>(&v)) {
                Decimal d;
                d.precision = p->precision;
                d.scale = p->scale;
                d.negative = p->negative;
                d.magnitude = {static_cast<uint32_t>(p->lo), static_cast<uint32_t>(p->lo >> 32),
                               static_cast<uint32_t>(p->hi), static_cast<uint32_t>(p->hi >> 32)};
                return Variant(d);
            }
            break;
        default:
            if (auto p = std::get_if<std::vector<uint8_t>>(&v)) return Variant(Bytes(*p));
            break;
    }
    if (value.isNull()) return Variant::null();
    throw ProviderError(hr::kFail,
                        "The database gave a value of another kind than its field's type.");
}

jet::Value EngineValue::toEngine(const Variant& value) {
    switch (value.type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return jet::Value();
        case VariantType::Bool:
            return jet::Value(value.toBool());
        case VariantType::Byte:
            return jet::Value(value.toByte());
        case VariantType::Int16:
            return jet::Value(value.toInt16());
        case VariantType::Int32:
            return jet::Value(value.toInt32());
        case VariantType::Currency:
            return jet::Value(jet::Currency{value.toCurrency().scaled});
        case VariantType::Single:
            return jet::Value(value.toSingle());
        case VariantType::Double:
            return jet::Value(value.toDouble());
        case VariantType::Date:
            return jet::Value(jet::DateTime{value.toDate().days});
        case VariantType::Text:
            return jet::Value(value.toText());
        case VariantType::Bytes:
            return jet::Value(std::vector<uint8_t>(value.toBytes()));
        case VariantType::Guid:
            return jet::Value(jet::Guid{value.toGuid().bytes});
        case VariantType::Decimal: {
            const Decimal d = value.toDecimal();
            jet::Decimal out;
            out.lo = uint64_t(d.magnitude[0]) | uint64_t(d.magnitude[1]) << 32;
            out.hi = uint64_t(d.magnitude[2]) | uint64_t(d.magnitude[3]) << 32;
            out.negative = d.negative;
            out.precision = d.precision;
            out.scale = d.scale;
            return jet::Value(out);
        }
    }
    return jet::Value();
}

jet::FieldShape EngineValue::shape(const ColumnInfo& field) {
    jet::FieldShape shape;
    shape.name = field.name;
    switch (field.type) {
        case DataType::Boolean:
            shape.type = jet::ColumnType::Bool;
            break;
        case DataType::UnsignedTinyInt:
            shape.type = jet::ColumnType::Byte;
            break;
        case DataType::SmallInt:
            shape.type = jet::ColumnType::Int;
            break;
        case DataType::Integer:
            shape.type = jet::ColumnType::Long;
            break;
        case DataType::Currency:
            shape.type = jet::ColumnType::Money;
            break;
        case DataType::Single:
            shape.type = jet::ColumnType::Float;
            break;
        case DataType::Double:
            shape.type = jet::ColumnType::Double;
            break;
        case DataType::Date:
            shape.type = jet::ColumnType::DateTime;
            break;
        case DataType::VarWChar:
            shape.type = jet::ColumnType::Text;
            shape.maxChars = field.definedSize;
            break;
        case DataType::LongVarWChar:
            shape.type = jet::ColumnType::Memo;
            break;
        case DataType::Guid:
            shape.type = jet::ColumnType::Guid;
            break;
        case DataType::Numeric:
            shape.type = jet::ColumnType::Numeric;
            shape.precision = field.precision;
            shape.scale = field.scale;
            break;
        default:
            shape.type = jet::ColumnType::Binary;
            break;
    }
    return shape;
}

}  // namespace tessor::provider
