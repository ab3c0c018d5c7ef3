#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "jet/SchemaChange.h"

namespace jet {

// Makes a new, empty Jet 4 database: the system tables of SystemTables, their rows written
// through the engine's row and index code, page 0 as Access writes it for a new file.
class NewDatabaseWriter {
public:
    // The whole file. creationDate is an OLE date (days since 1899-12-30, local time).
    static std::vector<uint8_t> image(const NewDatabase& options, double creationDate);
    // Writes image(options, now) at path. Refused when path exists (hr::kInvalidArg); the file
    // appears whole or not at all.
    static void write(const std::filesystem::path& path, const NewDatabase& options);
    // The current local time as an OLE date.
    static double now();
};

}  // namespace jet
