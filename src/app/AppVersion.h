#pragma once

// The program's file version, in the form a version resource carries it. The About box shows
// it reformatted ("1, 0, 0, 16" becomes 1.0.0.16); keep the comma form so that the one parsing
// rule applies to it.
namespace app {
inline constexpr const char kFileVersion[] = "1, 0, 0, 16";
}  // namespace app
