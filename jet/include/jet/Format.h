#pragma once

#include <cstdint>

namespace jet {

// The generation of the file format: Jet 3 (Access 97) or Jet 4 (Access 2000 to 2003).
enum class Format : uint8_t { Jet3, Jet4 };

}  // namespace jet
