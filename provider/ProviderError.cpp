#include "provider/ProviderError.h"

namespace tessor::provider {

ProviderError::ProviderError(uint32_t code, const std::string& description)
    : std::runtime_error(description), m_code(code) {}

}  // namespace tessor::provider
