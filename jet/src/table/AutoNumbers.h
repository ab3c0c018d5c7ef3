#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "catalog/DatabaseImpl.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// The values a new row's AutoNumber fields get: the table's counter moved on by its increment,
// never a number a row already holds (a counter left behind by a careless program is moved
// past the highest stored value first), and a new GUID for an empty ReplicationID field.
class AutoNumbers {
public:
    explicit AutoNumbers(Database::Impl& db) : m_db(db) {}

    // Fills the row's AutoNumber fields and returns the counter to store with it. A value given
    // to an AutoNumber field is refused (hr::kInvalidArg), or with keepGiven kept, the counter
    // moving past it.
    uint32_t assign(const StoredTableDef& def, std::vector<Value>& row, bool keepGiven);
    // The counter assign() returned is stored: it is at least the highest value from now on.
    void counterStored(const StoredTableDef& def) { m_counterChecked[def.tdefPage] = true; }
    // Whether the next assign() still looks for the highest stored value (it reads indexes).
    bool looksForHighest(const StoredTableDef& def) { return !m_counterChecked[def.tdefPage]; }
    // After a change that was dropped or failed: the stored counters are as they were.
    void forget() { m_counterChecked.clear(); }

private:
    // The highest value stored in the AutoNumber column, until a counter at least that high is
    // stored; nullopt when the table is empty or that is done.
    std::optional<int32_t> highestOnce(const StoredTableDef& def, size_t column);

    Database::Impl& m_db;
    std::map<uint32_t, bool> m_counterChecked;  // by TDEF page
};

}  // namespace jet
