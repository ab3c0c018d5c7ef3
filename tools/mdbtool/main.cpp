// mdbtool: look into an .mdb file from the command line with Tessor's own engine.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "Commands.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitError = 3;

const char kUsage[] =
    "usage: mdbtool COMMAND FILE [ARGS] [--password P]\n"
    "  info FILE                  format, code page, sort order, password, page count\n"
    "  tables FILE [--system]     one table name per line\n"
    "  schema FILE [TABLE]        columns and indexes of one or all user tables\n"
    "  export FILE TABLE [--tsv]  the table's rows as CSV (tab-separated with --tsv)\n"
    "  import FILE TABLE CSVFILE [--tsv]\n"
    "                             insert the rows of a CSV file in export's form (\"-\" reads\n"
    "                             standard input); the first line names the fields; all rows\n"
    "                             or none are written\n"
    "  sql FILE STATEMENT [--tsv] run one SQL statement; a SELECT prints CSV as export does,\n"
    "                             other statements the number of rows affected\n"
    "  create FILE                write a new, empty database (with --password P: protected)\n"
    "  check FILE [--repair]      integrity check: exit 0 when clean, else one line per\n"
    "                             problem and exit 1; --repair first mends indexes, row\n"
    "                             counts, AutoNumber counters and unowned pages in one\n"
    "                             change and lists what it fixed\n"
    "  compact SRC DST [--overwrite]\n"
    "                             write a compacted copy of SRC to DST (a new file unless\n"
    "                             --overwrite); --password is SRC's, and DST keeps it\n"
    "Errors print their code and description on stderr and exit 3; bad usage exits 2.\n";

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "mdbtool: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

int fail(uint32_t code, const char* description) {
    std::fprintf(stderr, "mdbtool: error 0x%08X: %s\n", code, description);
    return kExitError;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tessor::mdbtool;
    std::vector<std::string> positional;
    jet::OpenOptions open;
    bool system = false;
    bool overwrite = false;
    bool repair = false;
    ExportOptions exportOptions;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--password") == 0) {
            if (i + 1 >= argc) return usage("--password needs a value");
            open.password = argv[++i];
        } else if (std::strncmp(a, "--password=", 11) == 0) {
            open.password = a + 11;
        } else if (std::strcmp(a, "--system") == 0) {
            system = true;
        } else if (std::strcmp(a, "--repair") == 0) {
            repair = true;
        } else if (std::strcmp(a, "--overwrite") == 0) {
            overwrite = true;
        } else if (std::strcmp(a, "--tsv") == 0) {
            exportOptions.delimiter = '\t';
        } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a[0] == '-' && a[1] == '-') {
            return usage((std::string("unknown option ") + a).c_str());
        } else {
            positional.emplace_back(a);
        }
    }
    if (positional.size() < 2) return usage(nullptr);
    const std::string& command = positional[0];
    const size_t extra = positional.size() - 2;
    struct Shape {
        const char* name;
        size_t minExtra, maxExtra;
    };
    static const Shape kShapes[] = {{"info", 0, 0},   {"tables", 0, 0}, {"schema", 0, 1},
                                    {"export", 1, 1}, {"import", 2, 2}, {"sql", 1, 1},
                                    {"create", 0, 0}, {"check", 0, 0},
                                    {"compact", 1, 1}};
    const Shape* shape = nullptr;
    for (const auto& s : kShapes) {
        if (command == s.name) shape = &s;
    }
    if (!shape) return usage(("unknown command " + command).c_str());
    if (extra < shape->minExtra || extra > shape->maxExtra) {
        return usage(("wrong number of arguments for " + command).c_str());
    }
    if (system && command != "tables") return usage("--system applies to tables only");
    if (overwrite && command != "compact") return usage("--overwrite applies to compact only");
    if (repair && command != "check") return usage("--repair applies to check only");
    if (exportOptions.delimiter != ',' && command != "export" && command != "import" &&
        command != "sql") {
        return usage("--tsv applies to export, import and sql only");
    }

    try {
        const std::string& file = positional[1];
        if (command == "create") {
            jet::NewDatabase options;
            options.password = open.password;
            jet::Database::create(file, options);
            return 0;
        }
        if (command == "compact") {
            jet::CompactOptions options;
            options.password = open.password;
            options.overwrite = overwrite;
            return runCompact(file, positional[2], options, stdout);
        }
        if (command == "import" || repair) {
            open.readOnly = false;
            open.exclusive = repair;
        } else if (command == "sql") {
            open.readOnly = sqlOnlyReads(positional[2]);
            open.exclusive = sqlNeedsExclusive(positional[2]);
        }
        auto db = jet::Database::open(file, open);
        if (command == "info") return runInfo(*db, stdout);
        if (command == "tables") return runTables(*db, system, stdout);
        if (command == "schema") return runSchema(*db, extra ? &positional[2] : nullptr, stdout);
        if (command == "export") return runExport(*db, positional[2], exportOptions, stdout);
        if (command == "import") {
            return runImport(*db, positional[2], positional[3], exportOptions, stdout);
        }
        if (command == "sql") return runSql(*db, positional[2], exportOptions, stdout);
        if (repair) return runRepair(*db, stdout);
        return runCheck(*db, stdout);
    } catch (const jet::Error& e) {
        return fail(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        return fail(jet::hr::kFail, "Out of memory.");
    } catch (const std::exception& e) {
        return fail(jet::hr::kFail, e.what());
    }
}
