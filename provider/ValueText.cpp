#include "provider/ValueText.h"

#include "jet/ValueText.h"
#include "provider/EngineSession.h"
#include "provider/EngineValue.h"

namespace tessor::provider {

std::string ValueText::toText(const Variant& value) {
    return jet::ValueText::toText(EngineValue::toEngine(value));
}

Variant ValueText::fromText(std::string_view text, const ColumnInfo& field) {
    const jet::Value stored =
        engineCall([&] { return jet::ValueText::fromText(text, EngineValue::shape(field)); });
    return EngineValue::toVariant(stored, field.type);
}

Variant ValueText::fromValue(const Variant& value, const ColumnInfo& field) {
    if (value.isMissing()) return Variant::null();
    const jet::Value stored = engineCall([&] {
        return jet::ValueText::fromValue(EngineValue::toEngine(value), EngineValue::shape(field));
    });
    return EngineValue::toVariant(stored, field.type);
}

std::string ValueText::formatBytes(const Bytes& b) {
    return jet::ValueText::formatBytes(b);
}

}  // namespace tessor::provider
