// The subcommands of mdbtool. Each writes its result to `out`, throws jet::Error for engine
// failures and returns the process exit code.
#pragma once

#include <cstdio>
#include <string>

#include "jet/Compact.h"
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
// Repairs what can be repaired ("fixed: ..." lines), then lists what the check still finds;
// 0 when the file is clean afterwards, else 1.
int runRepair(jet::Database& db, std::FILE* out);
// Inserts the rows of a CSV file in the export's form ("-" reads standard input), all in one
// change. The first line names the fields to fill, in any order; the others are null, AutoNumbers
// among them numbered by the database. A line that cannot be read or a value refused stops the
// import with an error naming the line, and nothing is written.
int runImport(jet::Database& db, const std::string& table, const std::string& csvPath,
              const ExportOptions& options, std::FILE* out);
// One SQL statement: a SELECT prints its rows as export does, any other statement the number of
// rows it affected.
int runSql(jet::Database& db, const std::string& statement, const ExportOptions& options,
           std::FILE* out);
// Whether a statement only reads (a SELECT), and whether it needs the file to itself (changing
// the database password).
bool sqlOnlyReads(const std::string& statement);
bool sqlNeedsExclusive(const std::string& statement);
// Writes a compacted copy of source to destination and says how much smaller it is.
int runCompact(const std::string& source, const std::string& destination,
               const jet::CompactOptions& options, std::FILE* out);

}  // namespace tessor::mdbtool
