#include "Commands.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "CsvReader.h"
#include "CsvWriter.h"
#include "ValueReader.h"
#include "ValueText.h"
#include "jet/Check.h"
#include "jet/Error.h"
#include "jet/Sql.h"

namespace tessor::mdbtool {

namespace {

// Output goes through one buffer written in large pieces; a failed write (full disk,
// closed pipe) is an error, not a silently short file.
class OutBuffer {
public:
    explicit OutBuffer(std::FILE* out) : m_out(out) { m_buf.reserve(kFlushAt + 4096); }
    std::string& text() { return m_buf; }
    void maybeFlush() {
        if (m_buf.size() >= kFlushAt) flush();
    }
    void flush() {
        if (!m_buf.empty() && std::fwrite(m_buf.data(), 1, m_buf.size(), m_out) != m_buf.size()) {
            throw jet::Error(jet::hr::kIoError,
                             std::string("Cannot write the output: ") + std::strerror(errno) + ".");
        }
        m_buf.clear();
        if (std::fflush(m_out) != 0) {
            throw jet::Error(jet::hr::kIoError,
                             std::string("Cannot write the output: ") + std::strerror(errno) + ".");
        }
    }

private:
    static constexpr size_t kFlushAt = 256 * 1024;
    std::FILE* m_out;
    std::string m_buf;
};

void line(std::string& s, const char* label, const std::string& value) {
    s.append(label).append(": ").append(value).push_back('\n');
}

std::string hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string typeText(const jet::ColumnDef& c, jet::Format format) {
    std::string t = jet::columnTypeName(c.type);
    if (c.type == jet::ColumnType::Text) {
        unsigned chars = format == jet::Format::Jet4 ? c.length / 2u : c.length;
        t += " (" + std::to_string(chars) + ")";
    } else if (c.type == jet::ColumnType::Numeric) {
        t += " (" + std::to_string(c.precision) + ", " + std::to_string(c.scale) + ")";
    }
    return t;
}

std::string tableAtPage(jet::Database& db, uint32_t page) {
    for (const auto& e : db.catalog()) {
        if (e.isTable() && e.tdefPage() == page) return e.name;
    }
    return "the table at page " + std::to_string(page);
}

void appendTableSchema(std::string& s, jet::Database& db, const jet::TableDef& def) {
    const jet::Format format = db.format();
    s += "TABLE " + def.name + "\n";
    s += "  rows " + std::to_string(def.rowCount) + ", definition page " +
         std::to_string(def.tdefPage);
    if (def.autoNumber) s += ", last autonumber " + std::to_string(def.autoNumber);
    s += "\n";
    for (const auto& c : def.columns) {
        s += "  COLUMN " + c.name + "  " + typeText(c, format) + "  size " +
             std::to_string(c.length) + "  id " + std::to_string(c.id);
        s += c.isFixed() ? "  fixed" : "  variable";
        if (c.isAutoNumber()) s += "  autonumber";
        if (c.isAutoGuid()) s += "  auto-guid";
        if (c.isHyperlink()) s += "  hyperlink";
        if (c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Memo) {
            if (c.isCompressedUnicode()) s += "  compressed-unicode";
        }
        s += "\n";
    }
    for (const auto& idx : def.indexes) {
        s += "  INDEX " + idx.name + "  ";
        switch (idx.kind) {
            case jet::IndexKind::Primary:
                s += "primary";
                break;
            case jet::IndexKind::Foreign:
                s += "foreign";
                break;
            case jet::IndexKind::Normal:
                s += "normal";
                break;
        }
        const jet::RealIndexDef* real =
            idx.realIndex < def.realIndexes.size() ? &def.realIndexes[idx.realIndex] : nullptr;
        if (real) {
            if (real->isUnique()) s += "  unique";
            if (real->ignoresNulls()) s += "  ignore-nulls";
            if (real->isRequired()) s += "  required";
            s += "  (";
            for (size_t i = 0; i < real->columns.size(); ++i) {
                if (i) s += ", ";
                const jet::ColumnDef* col = def.columnById(real->columns[i].columnId);
                s += col ? col->name : "#" + std::to_string(real->columns[i].columnId);
                s += real->columns[i].ascending ? " ASC" : " DESC";
            }
            s += ")";
        } else {
            s += "  (no stored index #" + std::to_string(idx.realIndex) + ")";
        }
        if (idx.kind == jet::IndexKind::Foreign && idx.fkRelatedTablePage != 0) {
            s += idx.fkTableType == 1 ? "  referenced by " : "  references ";
            s += tableAtPage(db, idx.fkRelatedTablePage);
            if (idx.cascadeUpdates & 0x01) s += "  cascade-updates";
            if (idx.cascadeDeletes & 0x01) s += "  cascade-deletes";
            if (idx.cascadeDeletes & 0x02) s += "  cascade-null";
        }
        s += "\n";
    }
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = char(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// The first `count` words of a statement, upper-cased, skipping blanks and opening brackets.
std::vector<std::string> leadingWords(const std::string& statement, size_t count) {
    std::vector<std::string> words;
    size_t i = 0;
    while (words.size() < count) {
        while (i < statement.size() &&
               (std::isspace(static_cast<unsigned char>(statement[i])) || statement[i] == '('))
            ++i;
        std::string w;
        while (i < statement.size() && std::isalpha(static_cast<unsigned char>(statement[i])))
            w.push_back(char(std::toupper(static_cast<unsigned char>(statement[i++]))));
        if (w.empty()) break;
        words.push_back(std::move(w));
    }
    return words;
}

}  // namespace

int runInfo(jet::Database& db, std::FILE* out) {
    OutBuffer buf(out);
    std::string& s = buf.text();
    line(s, "format", db.format() == jet::Format::Jet4 ? "Jet4" : "Jet3");
    line(s, "page size", std::to_string(db.pageSize()));
    line(s, "pages", std::to_string(db.pageCount()));
    line(s, "code page", std::to_string(db.codePage()));
    line(s, "sort order", hex32(db.sortOrder()));
    line(s, "password", db.hasPassword() ? "yes" : "no");
    line(s, "encoded", db.isEncoded() ? "yes" : "no");
    if (db.format() == jet::Format::Jet4) {
        std::string created;
        csv::appendDateTime(created, db.creationDate().days);
        line(s, "created", created);
    }
    size_t user = 0, system = 0, queries = 0, linked = 0;
    for (const auto& e : db.catalog()) {
        switch (e.kind) {
            case jet::ObjectKind::UserTable:
                ++user;
                break;
            case jet::ObjectKind::SystemTable:
                ++system;
                break;
            case jet::ObjectKind::LinkedTable:
                ++linked;
                break;
            case jet::ObjectKind::Query:
                ++queries;
                break;
            case jet::ObjectKind::Other:
                break;
        }
    }
    line(s, "user tables", std::to_string(user));
    line(s, "system tables", std::to_string(system));
    line(s, "linked tables", std::to_string(linked));
    line(s, "queries", std::to_string(queries));
    buf.flush();
    return 0;
}

int runTables(jet::Database& db, bool includeSystem, std::FILE* out) {
    OutBuffer buf(out);
    for (const auto& name : db.tableNames(includeSystem))
        buf.text().append(name).push_back('\n');
    buf.flush();
    return 0;
}

int runSchema(jet::Database& db, const std::string* table, std::FILE* out) {
    OutBuffer buf(out);
    if (table) {
        appendTableSchema(buf.text(), db, db.tableDef(*table));
    } else {
        bool first = true;
        for (const auto& name : db.tableNames(false)) {
            if (!first) buf.text().push_back('\n');
            first = false;
            appendTableSchema(buf.text(), db, db.tableDef(name));
            buf.maybeFlush();
        }
    }
    buf.flush();
    return 0;
}

int runExport(jet::Database& db, const std::string& table, const ExportOptions& options,
              std::FILE* out) {
    OutBuffer buf(out);
    csv::CsvWriter writer(options.delimiter);
    const jet::TableDef& def = db.tableDef(table);
    writer.appendHeader(buf.text(), def.columns);
    db.forEachRow(def.name, [&](jet::RowId, const std::vector<jet::Value>& row) {
        writer.appendRow(buf.text(), row);
        buf.maybeFlush();
        return true;
    });
    buf.flush();
    return 0;
}

int runImport(jet::Database& db, const std::string& table, const std::string& csvPath,
              const ExportOptions& options, std::FILE* out) {
    const jet::TableDef def = db.tableDef(table);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
    std::FILE* in = stdin;
    if (csvPath != "-") {
        file.reset(std::fopen(csvPath.c_str(), "rb"));
        if (!file) {
            const int err = errno;
            throw jet::Error(
                err == ENOENT ? jet::hr::kFileNotFound : jet::hr::kIoError,
                "Cannot open the CSV file '" + csvPath + "': " + std::strerror(err) + ".");
        }
        in = file.get();
    }
    csv::CsvReader reader(in, options.delimiter);
    std::vector<csv::CsvReader::Field> fields;
    if (!reader.next(fields)) {
        throw jet::Error(jet::hr::kInvalidArg,
                         "The CSV input is empty; its first line must name the fields to fill.");
    }
    // Header field k fills column target[k].
    std::vector<size_t> target;
    std::vector<bool> named(def.columns.size(), false);
    for (size_t k = 0; k < fields.size(); ++k) {
        size_t c = 0;
        while (c < def.columns.size() && !sameName(def.columns[c].name, fields[k].text))
            ++c;
        if (c == def.columns.size()) {
            throw jet::Error(jet::hr::kInvalidArg,
                             "Table '" + def.name + "' has no field '" + fields[k].text +
                                 "' (field " + std::to_string(k + 1) + " of the header line).");
        }
        if (named[c]) {
            throw jet::Error(jet::hr::kInvalidArg,
                             "The header line names field '" + def.columns[c].name + "' twice.");
        }
        named[c] = true;
        target.push_back(c);
    }

    uint64_t count = 0;
    db.transact([&] {
        std::vector<jet::Value> row(def.columns.size());
        std::string why;
        while (reader.next(fields)) {
            auto line = [&] { return "Line " + std::to_string(reader.recordLine()); };
            if (fields.size() != target.size()) {
                throw jet::Error(jet::hr::kInvalidArg, line() + " has " +
                                                           std::to_string(fields.size()) +
                                                           " fields; the header line names " +
                                                           std::to_string(target.size()) + ".");
            }
            for (size_t k = 0; k < fields.size(); ++k) {
                const jet::ColumnDef& column = def.columns[target[k]];
                if (!csv::ValueReader::read(column, fields[k].text, fields[k].quoted,
                                            row[target[k]], why)) {
                    throw jet::Error(jet::hr::kInvalidArg,
                                     line() + ", field '" + column.name + "': " + why + ".");
                }
            }
            try {
                db.insertRow(def.name, row, jet::Database::AutoNumbers::KeepGiven);
            } catch (const jet::Error& e) {
                throw jet::Error(e.code(), line() + ": " + e.what());
            }
            ++count;
        }
    });
    OutBuffer buf(out);
    buf.text() = std::to_string(count) + (count == 1 ? " row" : " rows") + " imported into '" +
                 def.name + "'.\n";
    buf.flush();
    return 0;
}

int runSql(jet::Database& db, const std::string& statement, const ExportOptions& options,
           std::FILE* out) {
    const jet::sql::Result result = jet::sql::execute(db, statement);
    OutBuffer buf(out);
    if (sqlOnlyReads(statement)) {
        csv::CsvWriter writer(options.delimiter);
        writer.appendHeader(buf.text(), result.columns);
        for (const auto& row : result.rows) {
            writer.appendRow(buf.text(), row);
            buf.maybeFlush();
        }
    } else {
        buf.text() = std::to_string(result.rowsAffected) +
                     (result.rowsAffected == 1 ? " row" : " rows") + " affected.\n";
    }
    buf.flush();
    return 0;
}

bool sqlOnlyReads(const std::string& statement) {
    const auto words = leadingWords(statement, 1);
    return !words.empty() && words[0] == "SELECT";
}

bool sqlNeedsExclusive(const std::string& statement) {
    return leadingWords(statement, 2) == std::vector<std::string>{"ALTER", "DATABASE"};
}

int runCheck(jet::Database& db, std::FILE* out) {
    OutBuffer buf(out);
    const auto problems = jet::checkIntegrity(db);
    for (const auto& p : problems)
        buf.text().append(p).push_back('\n');
    buf.flush();
    return problems.empty() ? 0 : 1;
}

int runRepair(jet::Database& db, std::FILE* out) {
    const jet::RepairResult r = jet::repairIntegrity(db);
    OutBuffer buf(out);
    for (const auto& f : r.fixed)
        buf.text().append("fixed: ").append(f).push_back('\n');
    for (const auto& p : r.remaining)
        buf.text().append(p).push_back('\n');
    buf.flush();
    return r.remaining.empty() ? 0 : 1;
}

int runCompact(const std::string& source, const std::string& destination,
               const jet::CompactOptions& options, std::FILE* out) {
    const jet::CompactResult r = jet::compactDatabase(source, destination, options);
    OutBuffer buf(out);
    buf.text() = "Compacted '" + source + "' into '" + destination + "': " +
                 std::to_string(r.tables) + " tables, " + std::to_string(r.rows) + " rows, " +
                 std::to_string(r.bytesBefore) + " bytes before, " +
                 std::to_string(r.bytesAfter) + " after.\n";
    buf.flush();
    return 0;
}

}  // namespace tessor::mdbtool
