#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "jet/Database.h"

namespace jettest {

// The security ids of a database with the page-0 key taken off: one text per MSysACEs row
// ("ACM/sid hex"; object ids are table pages, which differ between copies of a database) and
// per MSysObjects row ("name/owner hex"), sorted. Equal dumps mean
// the same plain SIDs, whatever password each file has.
struct SidDump {
    std::vector<std::string> aces;
    std::vector<std::string> owners;
    bool operator==(const SidDump&) const = default;
};
SidDump plainSids(jet::Database& db);
// For test failure messages.
void PrintTo(const SidDump& d, std::ostream* os);
// The same, with the stored (masked) bytes.
SidDump storedSids(jet::Database& db);

// What mdb-reader's getPassword() gives for a file: "null" when it reports none, the password
// otherwise; empty when node or mdb-reader is not installed.
std::string mdbReaderPassword(const std::string& file);

}  // namespace jettest
