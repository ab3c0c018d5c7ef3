#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/Database.h"

namespace jettest {

// Folder of the real .mdb corpus, or empty when it is not there (fresh clone).
std::filesystem::path corpusDir();
std::filesystem::path oracleDir();

// Opens an image held in memory (no lock, no file).
std::unique_ptr<jet::Database> openImage(const std::vector<uint8_t>& bytes,
                                         const jet::OpenOptions& options = {});

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);

// The code of the jet::Error that f throws; 0 when it throws none.
uint32_t errorCodeOf(const std::function<void()>& f);

// A file in a private temporary folder, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& name = "test.mdb");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_path;
};

}  // namespace jettest
