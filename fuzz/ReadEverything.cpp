#include "ReadEverything.h"

#include "CsvWriter.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Env.h"
#include "jet/Error.h"

namespace tessor::fuzz {

namespace {

std::unique_ptr<jet::Database> openWithFallback(const std::filesystem::path& path,
                                                const std::string& fallbackPassword) {
    jet::OpenOptions options;
    try {
        return jet::Database::open(path, options);
    } catch (const jet::Error& e) {
        if (e.code() != jet::hr::kAuthFailed || fallbackPassword.empty()) throw;
    }
    options.password = fallbackPassword;
    return jet::Database::open(path, options);
}

template <typename Open>
ReadOutcome walk(const Open& open) {
    ReadOutcome out;
    try {
        std::unique_ptr<jet::Database> db = open();
        out.opened = true;
        (void)db->catalog();
        const csv::CsvWriter writer;
        std::string line;
        for (const auto& name : db->tableNames(true)) {
            const jet::TableDef& def = db->tableDef(name);
            ++out.tables;
            line.clear();
            writer.appendHeader(line, def.columns);
            db->forEachRow(name, [&](jet::RowId, const std::vector<jet::Value>& row) {
                line.clear();
                writer.appendRow(line, row);
                ++out.rows;
                return true;
            });
        }
        out.problems = jet::checkIntegrity(*db).size();
    } catch (const jet::Error& e) {
        out.errorCode = e.code();
        out.error = e.what();
    }
    return out;
}

}  // namespace

ReadOutcome readEverything(const std::filesystem::path& path, const std::string& fallbackPassword) {
    return walk([&] { return openWithFallback(path, fallbackPassword); });
}

ReadOutcome readEverything(std::unique_ptr<jet::FileIO> file) {
    return walk(
        [&] { return jet::Database::openFile(std::move(file), "image.mdb", jet::OpenOptions{}); });
}

}  // namespace tessor::fuzz
