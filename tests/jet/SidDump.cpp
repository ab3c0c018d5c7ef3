#include "SidDump.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "catalog/DatabaseImpl.h"
#include "page/SidKey.h"

namespace jettest {

namespace {

std::string hex(const std::vector<uint8_t>& b) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (uint8_t c : b) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

SidDump dump(jet::Database& db, bool plain) {
    const uint32_t key = jet::SidKey::fold(implOf(db).header().plain);
    auto clear = [&](const jet::Value& v) -> std::string {
        auto b = v.getIf<std::vector<uint8_t>>();
        if (!b) return "-";
        std::vector<uint8_t> s = *b;
        if (plain) {
            auto k = jet::SidKey::keystream(key, s.size());
            for (size_t i = 0; i < s.size(); ++i)
                s[i] ^= k[i];
        }
        return hex(s);
    };
    auto col = [](const jet::TableData& t, const char* name) {
        for (size_t i = 0; i < t.def.columns.size(); ++i)
            if (jet::namesEqual(t.def.columns[i].name, name)) return i;
        throw std::runtime_error(std::string("no column ") + name);
    };
    SidDump out;
    jet::TableData aces = db.readTable("MSysACEs");
    size_t acm = col(aces, "ACM"), sid = col(aces, "SID");
    for (auto& r : aces.rows)
        out.aces.push_back(std::to_string(*r[acm].getIf<int32_t>()) + "/" + clear(r[sid]));
    jet::TableData objs = db.readTable("MSysObjects");
    size_t name = col(objs, "Name"), owner = col(objs, "Owner");
    for (auto& r : objs.rows)
        out.owners.push_back(*r[name].getIf<std::string>() + "/" + clear(r[owner]));
    std::sort(out.aces.begin(), out.aces.end());
    std::sort(out.owners.begin(), out.owners.end());
    return out;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

SidDump plainSids(jet::Database& db) {
    return dump(db, true);
}
void PrintTo(const SidDump& d, std::ostream* os) {
    *os << d.aces.size() << " permission rows, " << d.owners.size() << " owners";
    for (const auto& a : d.aces)
        *os << "\n  ace " << a;
    for (const auto& o : d.owners)
        *os << "\n  owner " << o;
}

SidDump storedSids(jet::Database& db) {
    return dump(db, false);
}

std::string mdbReaderPassword(const std::string& file) {
    namespace fs = std::filesystem;
#ifdef TESSOR_SOURCE_ROOT
    const fs::path root(TESSOR_SOURCE_ROOT);
#else
    const fs::path root = fs::path(__FILE__).parent_path().parent_path().parent_path();
#endif
    if (!fs::exists(root / "node_modules" / "mdb-reader")) return {};
    const std::string script =
        "import MDBReader from 'mdb-reader'; import {readFileSync} from 'node:fs';"
        "const r = new MDBReader(readFileSync(process.argv[1]));"
        "process.stdout.write(JSON.stringify(r.getPassword()));";
    const std::string cmd = "cd " + quote(root.string()) + " && node --input-type=module -e " +
                            quote(script) + " " + quote(file) + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {};
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int status = ::pclose(p);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "failed: " + out;
    if (out.size() >= 2 && out.front() == '"') return out.substr(1, out.size() - 2);
    return out;
}

}  // namespace jettest
