// "Open and read everything": the walk shared by the fuzz target and the damaged-input test.
// Damaged files must end in a jet::Error, never in a crash, a hang or another exception.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace jet {
class FileIO;
}

namespace tessor::fuzz {

struct ReadOutcome {
    bool opened = false;
    uint32_t errorCode = 0;  // jet::Error code that ended the walk; 0 when it ran to the end
    std::string error;       // its description
    size_t tables = 0;       // table definitions read
    size_t rows = 0;         // rows read (and formatted as CSV)
    size_t problems = 0;     // lines from the integrity check
};

// Opens the file read-only (retrying with `fallbackPassword` when the first open is refused for
// the password), reads the catalog, every table definition including system tables, every row
// of each (formatting every value as the export would), then runs the integrity check.
// jet::Error is caught and recorded; anything else propagates.
ReadOutcome readEverything(const std::filesystem::path& path,
                           const std::string& fallbackPassword = "password");

// The same walk over a file already open (an image held in memory), without a password.
ReadOutcome readEverything(std::unique_ptr<jet::FileIO> file);

}  // namespace tessor::fuzz
