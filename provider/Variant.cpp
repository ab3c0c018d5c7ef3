#include "provider/Variant.h"

#include "provider/ProviderError.h"

namespace tessor::provider {

template <typename T>
const T& Variant::as() const {
    if (const T* p = std::get_if<T>(&m_value)) return *p;
    throw ProviderError(hr::kTypeMismatch, "The value is not of the requested type.");
}

bool Variant::toBool() const {
    return as<bool>();
}
uint8_t Variant::toByte() const {
    return as<uint8_t>();
}
int16_t Variant::toInt16() const {
    return as<int16_t>();
}
int32_t Variant::toInt32() const {
    return as<int32_t>();
}
Currency Variant::toCurrency() const {
    return as<Currency>();
}
float Variant::toSingle() const {
    return as<float>();
}
double Variant::toDouble() const {
    return as<double>();
}
Date Variant::toDate() const {
    return as<Date>();
}
const std::string& Variant::toText() const {
    return as<std::string>();
}
const Bytes& Variant::toBytes() const {
    return as<Bytes>();
}
Guid Variant::toGuid() const {
    return as<Guid>();
}
Decimal Variant::toDecimal() const {
    return as<Decimal>();
}

bool Variant::numeric(double& out) const {
    switch (type()) {
        case VariantType::Bool:
            out = std::get<bool>(m_value) ? -1.0 : 0.0;
            return true;
        case VariantType::Byte:
            out = std::get<uint8_t>(m_value);
            return true;
        case VariantType::Int16:
            out = std::get<int16_t>(m_value);
            return true;
        case VariantType::Int32:
            out = std::get<int32_t>(m_value);
            return true;
        case VariantType::Currency:
            out = static_cast<double>(std::get<Currency>(m_value).scaled) / 10000.0;
            return true;
        case VariantType::Single:
            out = std::get<float>(m_value);
            return true;
        case VariantType::Double:
            out = std::get<double>(m_value);
            return true;
        case VariantType::Date:
            out = std::get<Date>(m_value).days;
            return true;
        case VariantType::Decimal: {
            const Decimal& d = std::get<Decimal>(m_value);
            double v = 0;
            for (int i = 3; i >= 0; --i)
                v = v * 4294967296.0 + d.magnitude[i];
            for (int i = 0; i < d.scale; ++i)
                v /= 10.0;
            out = d.negative ? -v : v;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace tessor::provider
