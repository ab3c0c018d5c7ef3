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

// What each command does, its arguments and its exit codes: the source of --help, of
// `mdbtool help COMMAND` and of `mdbtool COMMAND --help`. docs/mdbtool.1 says the same.
struct CommandHelp {
    const char* name;
    size_t minExtra, maxExtra;  // arguments after FILE
    const char* synopsis;
    const char* summary;  // one line for the overview
    const char* details;  // the paragraph of `help COMMAND`, lines of at most 78 characters
    const char* exits;    // the exit codes beyond the common ones, or empty
};

const CommandHelp kCommands[] = {
    {"info", 0, 0, "info FILE [--password P]",
     "format, code page, sort order, password, page count",
     "Prints one \"name: value\" line each for the file format (Jet3 or Jet4), the page\n"
     "size, the number of pages, the code page and sort order of its text, whether a\n"
     "database password is set, whether the file is encoded, the creation date (Jet4),\n"
     "and the numbers of user, system and linked tables and of queries.\n",
     ""},
    {"tables", 0, 0, "tables FILE [--system] [--password P]", "one table name per line",
     "Prints the name of every user table, one per line. With --system the engine's own\n"
     "tables (MSys...) are listed as well.\n",
     ""},
    {"schema", 0, 1, "schema FILE [TABLE] [--password P]",
     "columns and indexes of one or all user tables",
     "Prints the named table's definition or, without TABLE, every user table's, one block\n"
     "each: its row count, each column with its type, size and kind (fixed or variable,\n"
     "AutoNumber, compressed text), then each index with its kind and columns.\n",
     ""},
    {"export", 1, 1, "export FILE TABLE [--tsv] [--password P]",
     "the table's rows as CSV (tab-separated with --tsv)",
     "Writes the table's rows to standard output as CSV: a first line with the field names,\n"
     "then one line per row. Dates are written as YYYY-MM-DD HH:MM:SS, binary values as hex,\n"
     "null as an empty field. With --tsv fields are separated by tabs.\n",
     ""},
    {"import", 2, 2, "import FILE TABLE CSVFILE [--tsv] [--password P]",
     "insert the rows of a CSV file in export's form",
     "Inserts the rows of CSVFILE (\"-\" reads standard input) into the table. The file has\n"
     "the form export writes: its first line names the fields to fill, in any order; fields\n"
     "it does not name are null, or numbered by the database for an AutoNumber. All rows are\n"
     "written in one change, or none: a line that cannot be read or a value the table\n"
     "refuses stops the import with an error naming the line.\n",
     ""},
    {"sql", 1, 1, "sql FILE STATEMENT [--tsv] [--password P]", "run one SQL statement",
     "Runs one SQL statement. A SELECT prints its rows as export does; any other statement\n"
     "(INSERT, UPDATE, DELETE, CREATE TABLE, ALTER TABLE, ALTER DATABASE PASSWORD, ...)\n"
     "prints the number of rows it affected.\n",
     ""},
    {"create", 0, 0, "create FILE [--password P]", "write a new, empty database",
     "Writes a new database without tables to FILE, which must not exist yet. With\n"
     "--password the new database is protected by that password.\n",
     ""},
    {"check", 0, 0, "check FILE [--repair] [--password P]", "integrity check of the whole file",
     "Runs the engine's integrity check over the whole file: the page usage, the table\n"
     "definitions, the rows and their long values, and every index against its table.\n"
     "Prints one line per problem found and nothing when the file is sound. With --repair\n"
     "it first mends, in one change, what it can without guessing (indexes that disagree\n"
     "with their rows, row counts, AutoNumber counters, pages nothing owns), lists what it\n"
     "fixed, then reports what is still wrong.\n",
     "  1  the check found problems (one line each on standard output)\n"},
    {"compact", 1, 1, "compact SRC DST [--overwrite] [--password P]",
     "write a compacted copy of the database",
     "Writes a compacted copy of SRC to DST: every table, index, relationship, query,\n"
     "property and permission kept, rows packed, index trees rebuilt, free pages dropped.\n"
     "DST must be a new file unless --overwrite is given, and never SRC itself. --password\n"
     "is SRC's password; the copy keeps it.\n",
     ""},
};

const char kExitCodes[] =
    "exit codes:\n"
    "  0  success\n"
    "  1  check only: the file has problems\n"
    "  2  bad usage: unknown command or option, wrong number of arguments\n"
    "  3  error: the engine's code and description are printed on standard error\n";

const CommandHelp* findCommand(const std::string& name) {
    for (const auto& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

void printOverview(std::FILE* out) {
    std::fputs(
        "usage: mdbtool COMMAND FILE [ARGS] [--password P]\n"
        "       mdbtool help [COMMAND]     mdbtool COMMAND --help\n"
        "commands:\n",
        out);
    for (const auto& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    std::fputs(
        "options:\n"
        "  --password P  the database password (also --password=P)\n"
        "  --help, -h    this text; with a command, that command's help\n",
        out);
    std::fputs(kExitCodes, out);
}

void printCommand(const CommandHelp& c, std::FILE* out) {
    std::fprintf(out, "usage: mdbtool %s\n\n%s\nexit codes:\n  0  success\n%s", c.synopsis,
                 c.details, c.exits);
    std::fputs("  2  bad usage\n  3  error: the engine's code and description on standard error\n",
               out);
}

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "mdbtool: %s\n", problem);
    printOverview(stderr);
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
    bool help = false;
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
            help = true;
        } else if (a[0] == '-' && a[1] == '-') {
            return usage((std::string("unknown option ") + a).c_str());
        } else {
            positional.emplace_back(a);
        }
    }
    // "help", "help COMMAND", "--help" and "COMMAND --help" print to standard output.
    if (!positional.empty() && positional[0] == "help") {
        help = true;
        positional.erase(positional.begin());
    }
    if (help) {
        if (positional.empty()) {
            printOverview(stdout);
            return 0;
        }
        const CommandHelp* c = findCommand(positional[0]);
        if (!c) return usage(("unknown command " + positional[0]).c_str());
        printCommand(*c, stdout);
        return 0;
    }
    if (positional.size() < 2) return usage(nullptr);
    const std::string& command = positional[0];
    const size_t extra = positional.size() - 2;
    const CommandHelp* shape = findCommand(command);
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
