#include "provider/Fields.h"

#include "provider/ProviderError.h"
#include "provider/Recordset.h"

namespace tessor::provider {

size_t Fields::count() const {
    return m_rs.columns().size();
}

Field Fields::item(size_t index) const {
    if (index >= count())
        throw ProviderError(hr::kItemNotFound,
                            "The recordset has no field number " + std::to_string(index) + ".");
    return Field(&m_rs, index);
}

Field Fields::item(std::string_view name) const {
    if (auto i = indexOf(name)) return Field(&m_rs, *i);
    throw ProviderError(hr::kItemNotFound,
                        "The recordset has no field named \"" + std::string(name) + "\".");
}

std::optional<size_t> Fields::indexOf(std::string_view name) const {
    return findColumn(m_rs.columns(), name);
}

}  // namespace tessor::provider
