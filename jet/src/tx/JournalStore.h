#pragma once

#include <memory>

#include "page/FileIO.h"

namespace jet {

// Where the rollback journal of one database lives ("<file>-journal" beside it on disk; a
// simulated disk in tests). Creating, opening and removing it are the only operations the
// journal needs besides FileIO itself.
class JournalStore {
public:
    virtual ~JournalStore() = default;
    virtual bool exists() = 0;
    // An empty journal, replacing any old one.
    virtual std::unique_ptr<FileIO> create() = 0;
    virtual std::unique_ptr<FileIO> open() = 0;
    // Removes the journal durably: once this returns, a crash cannot bring it back.
    virtual void remove() = 0;
};

}  // namespace jet
