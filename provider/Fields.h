#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "provider/Field.h"

namespace tessor::provider {

class Recordset;

// The field collection of a recordset, in the table's column order. Empty while the recordset
// is closed.
class Fields {
public:
    explicit Fields(Recordset& rs) : m_rs(rs) {}
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;

    size_t count() const;
    // ProviderError (item not found) for an index out of range or an unknown name. Names are
    // compared without regard to case.
    Field item(size_t index) const;
    Field item(std::string_view name) const;
    std::optional<size_t> indexOf(std::string_view name) const;

private:
    Recordset& m_rs;
};

}  // namespace tessor::provider
