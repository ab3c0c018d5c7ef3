#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jet/Database.h"
#include "jet/SchemaChange.h"

namespace jet {

class PageSet;
class TextCodec;
struct StoredTableDef;

// Makes a new, empty Jet 4 database: the system tables of SystemTables, their rows written
// through the engine's row and index code, page 0 as Access writes it for a new file. For a
// compacted copy, also the bare start of a Jet 3 file.
class MemoryFile;

class NewDatabaseWriter {
public:
    // The whole file. creationDate is an OLE date (days since 1899-12-30, local time).
    static std::vector<uint8_t> image(const NewDatabase& options, double creationDate);
    // Writes image(options, now) at path. Refused when path exists (hr::kInvalidArg); the file
    // appears whole or not at all.
    static void write(const std::filesystem::path& path, const NewDatabase& options);
    // The current local time as an OLE date.
    static double now();
    // The file before any row: page 0 as given (plain; obfuscated here), the system tables'
    // definitions, their maps and empty index roots. Pages from 14 on are free.
    static std::vector<uint8_t> emptyImage(const std::vector<uint8_t>& plainHeader);
    // The same for a Jet 3 file, whose system tables are those of an existing file: page 0 as
    // stored (obfuscated), the free-page map on page 1, `catalog` (an MSysObjects definition,
    // names in `text`'s code page) on page 2 with new maps on the page after its definition
    // and an empty leaf for each of its indexes. Its other system tables are made like any
    // table once the file is open.
    static std::vector<uint8_t> emptyJet3Image(const std::vector<uint8_t>& storedHeader,
                                               StoredTableDef catalog, const TextCodec& text);
    // A file being built in memory, open for writing alone; *memory is its bytes' holder,
    // alive as long as the database.
    static std::unique_ptr<Database> openImage(std::vector<uint8_t> bytes,
                                               const std::string& password, MemoryFile** memory);
    // Stores one row of the system table at tdefPage, with its long values and index entries,
    // inside a change being prepared: for rows a file needs before its catalog can be read, and
    // without the rules of a user's insert.
    static void placeRow(PageSet& pages, Database::Impl& db, uint32_t tdefPage,
                         const std::vector<Value>& values);
    // The same for a row already in its stored form (`values` are its fields, for the keys).
    static void placeBuiltRow(PageSet& pages, Database::Impl& db, uint32_t tdefPage,
                              const std::vector<uint8_t>& row, const std::vector<Value>& values);
};

}  // namespace jet
