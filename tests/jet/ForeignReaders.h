#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace jettest {

// A table as another program read it: header, then rows of unquoted cell texts.
struct ForeignTable {
    bool available = false;  // the program is installed
    bool ok = false;         // it ran and exited 0
    std::string output;      // raw output (for failure messages)
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    int column(const std::string& name) const;
};

// Runs a shell command; out receives its output and error output. True when it exited 0.
bool runCommand(const std::string& command, std::string& out);
// What mdbtools' mdb-schema prints for the file (its CREATE TABLE statements); empty when it
// is not installed or failed.
std::string schemaByMdbSchema(const std::filesystem::path& file);

// mdbtools' mdb-export (CSV, binary as hex).
ForeignTable readWithMdbExport(const std::filesystem::path& file, const std::string& table);
// The npm package mdb-reader through tools/scripts/mdbreader-export.mjs.
ForeignTable readWithMdbReader(const std::filesystem::path& file, const std::string& table);

// The user tables another program lists for the file, one single-cell row each (no header):
// mdbtools' mdb-tables, or mdb-reader through the same script.
ForeignTable tablesByMdbTools(const std::filesystem::path& file);
ForeignTable tablesByMdbReader(const std::filesystem::path& file);

}  // namespace jettest
