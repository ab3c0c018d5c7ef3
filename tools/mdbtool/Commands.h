// The subcommands of mdbtool. Each writes its result to `out`, throws jet::Error for engine
// failures and returns the process exit code.
#pragma once

#include <cstdio>
#include <string>

#include "jet/Database.h"

namespace tessor::mdbtool {

struct ExportOptions {
    char delimiter = ',';
};

int runInfo(jet::Database& db, std::FILE* out);
int runTables(jet::Database& db, bool includeSystem, std::FILE* out);
// Without a table name: every user table, one block each.
int runSchema(jet::Database& db, const std::string* table, std::FILE* out);
int runExport(jet::Database& db, const std::string& table, const ExportOptions& options,
              std::FILE* out);
// 0 when the check finds nothing, else 1 with one line per problem.
int runCheck(jet::Database& db, std::FILE* out);

}  // namespace tessor::mdbtool
