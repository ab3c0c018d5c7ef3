#pragma once

#include <filesystem>

#include "jet/Env.h"

namespace jet {

// The journal as a file named "<database>-journal" in the database's folder.
class PosixJournalStore : public JournalStore {
public:
    explicit PosixJournalStore(const std::filesystem::path& database);

    bool exists() override;
    std::unique_ptr<FileIO> create() override;
    std::unique_ptr<FileIO> open() override;
    void remove() override;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::unique_ptr<FileIO> openFd(int flags);
    void syncFolder();
    std::filesystem::path m_path;
    bool m_nameDurable = false;  // this store has synced the folder since the file was made
};

}  // namespace jet
