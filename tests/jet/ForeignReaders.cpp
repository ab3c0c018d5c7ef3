#include "ForeignReaders.h"

#include <sys/wait.h>

#include <cstdio>

namespace jettest {

namespace fs = std::filesystem;

namespace {

fs::path repoRoot() {
#ifdef TESSOR_SOURCE_ROOT
    return fs::path(TESSOR_SOURCE_ROOT);
#else
    return fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path();
#endif
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// CSV with "..." quoting, "" inside quotes, line breaks allowed inside quotes.
std::vector<std::vector<std::string>> parse(const std::string& text, char delimiter) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == delimiter) {
            row.push_back(cell);
            cell.clear();
        } else if (c == '\n') {
            row.push_back(cell);
            rows.push_back(row);
            row.clear();
            cell.clear();
            any = false;
        } else if (c != '\r') {
            cell += c;
            any = true;
        }
    }
    if (any || !row.empty()) {
        row.push_back(cell);
        rows.push_back(row);
    }
    return rows;
}

ForeignTable finish(bool ok, std::string out, char delimiter) {
    ForeignTable t;
    t.available = true;
    t.ok = ok;
    t.output = out;
    if (!ok) return t;
    auto rows = parse(out, delimiter);
    if (!rows.empty()) {
        t.header = rows.front();
        t.rows.assign(rows.begin() + 1, rows.end());
    }
    return t;
}

// One name a line; header left empty.
ForeignTable nameList(bool ok, std::string out) {
    ForeignTable t;
    t.available = true;
    t.ok = ok;
    t.output = out;
    if (!ok) return t;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        std::string name = out.substr(at, end - at);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) t.rows.push_back({name});
        at = end + 1;
    }
    return t;
}

}  // namespace

bool runCommand(const std::string& command, std::string& out) {
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return false;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int status = ::pclose(p);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string schemaByMdbSchema(const fs::path& file) {
    std::string out;
    if (!runCommand("mdb-schema " + shellQuote(file.string()) + " access", out)) return {};
    return out;
}

int ForeignTable::column(const std::string& name) const {
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return static_cast<int>(i);
    return -1;
}

ForeignTable readWithMdbExport(const fs::path& file, const std::string& table) {
    std::string out;
    if (!runCommand("command -v mdb-export >/dev/null", out)) return {};
    out.clear();
    bool ok =
        runCommand("mdb-export -b hex " + shellQuote(file.string()) + " " + shellQuote(table), out);
    return finish(ok, out, ',');
}

// mdb-reader is installed in the checkout (`npm ci`) and node runs.
static bool mdbReaderReady() {
    std::string out;
    return fs::exists(repoRoot() / "node_modules" / "mdb-reader") &&
           runCommand("node --version >/dev/null", out);
}

ForeignTable readWithMdbReader(const fs::path& file, const std::string& table) {
    std::string out;
    if (!mdbReaderReady()) return {};
    fs::path script = repoRoot() / "tools" / "scripts" / "mdbreader-export.mjs";
    bool ok = runCommand("node " + shellQuote(script.string()) + " " + shellQuote(file.string()) +
                             " " + shellQuote(table),
                         out);
    return finish(ok, out, ',');
}

ForeignTable tablesByMdbTools(const fs::path& file) {
    std::string out;
    if (!runCommand("command -v mdb-tables >/dev/null", out)) return {};
    out.clear();
    const bool ok = runCommand("mdb-tables -1 " + shellQuote(file.string()), out);
    return nameList(ok, out);
}

ForeignTable tablesByMdbReader(const fs::path& file) {
    std::string out;
    if (!mdbReaderReady()) return {};
    fs::path script = repoRoot() / "tools" / "scripts" / "mdbreader-export.mjs";
    const bool ok = runCommand(
        "node " + shellQuote(script.string()) + " " + shellQuote(file.string()) + " --tables", out);
    return nameList(ok, out);
}

}  // namespace jettest
