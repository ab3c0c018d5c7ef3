#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace jet {

struct CompactOptions {
    std::string password;    // the source's database password, if it has one
    bool overwrite = false;  // replace a file already at the destination
};

struct CompactResult {
    uint64_t bytesBefore = 0;
    uint64_t bytesAfter = 0;
    uint32_t tables = 0;  // tables copied, system tables included
    uint64_t rows = 0;    // rows copied, system rows included
};

// Writes a compacted copy of the database at `source` (Jet 4, or Jet 3 with its 2 KB pages)
// to `destination`: every table (its columns with their ids, indexes, counters), every
// catalog, permission, query and relationship row, every property, and page 0 as it is
// (password, sort order, code page) are kept; the rows are packed onto new pages, long values
// rewritten, index trees built again from the rows, and no page is left free. The copy is read
// back and checked before it is linked into place under a temporary name, so the destination
// receives a sound file or nothing. Refused with jet::Error and a sentence: the same file
// twice, an existing destination (unless `overwrite`), page-encoded files (which this engine
// does not write), and any file whose copy would not be sound. The source is only read.
CompactResult compactDatabase(const std::filesystem::path& source,
                              const std::filesystem::path& destination,
                              const CompactOptions& options = {});

}  // namespace jet
