#include "check/IndexChecker.h"

#include <algorithm>
#include <unordered_map>

#include "catalog/DatabaseImpl.h"
#include "index/IndexKeyEncoder.h"
#include "index/IndexTree.h"
#include "jet/Error.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {
namespace {

// Past this many lines for one index, the rest is summarised.
constexpr size_t kLinesPerIndex = 10;

uint32_t rowKey(RowId id) {
    return (id.page << 8) | id.row;
}

std::string rowName(RowId id) {
    return "page " + std::to_string(id.page) + " row " + std::to_string(id.row);
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    const size_t shown = std::min<size_t>(bytes.size(), 48);
    for (size_t i = 0; i < shown; ++i) {
        if (i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    if (shown < bytes.size()) s += " ...";
    return s;
}

std::string indexName(const StoredTableDef& def, const StoredRealIndex& index) {
    std::string names;
    for (const IndexDef& logical : def.indexes) {
        if (logical.realIndex != index.number) continue;
        if (!names.empty()) names += "/";
        names += logical.name;
    }
    if (names.empty()) names = "#" + std::to_string(index.number);
    return "table \"" + def.name + "\", index \"" + names + "\"";
}

// Collects the lines of one index, keeping the first few and counting the rest.
class Report {
public:
    Report(std::vector<std::string>& out, std::string prefix)
        : m_out(out), m_prefix(std::move(prefix)) {}
    ~Report() {
        if (m_dropped)
            m_out.push_back(m_prefix + ": " + std::to_string(m_dropped) + " more problems");
    }
    void add(const std::string& line) {
        if (m_count++ < kLinesPerIndex)
            m_out.push_back(m_prefix + ": " + line);
        else
            ++m_dropped;
    }

private:
    std::vector<std::string>& m_out;
    std::string m_prefix;
    size_t m_count = 0;
    size_t m_dropped = 0;
};

}  // namespace

IndexChecker::IndexChecker(Database::Impl& db) : m_db(db) {}

void IndexChecker::checkAll(std::vector<std::string>& problems) {
    for (const CatalogEntry& entry : m_db.catalog()) {
        if (!entry.isTable()) continue;
        const StoredTableDef* def = nullptr;
        try {
            def = &m_db.tableDefAtPage(entry.tdefPage(), entry.name);
        } catch (const Error&) {
            continue;  // the definition checks report it
        }
        checkTable(*def, problems);
    }
}

void IndexChecker::checkTable(const StoredTableDef& def, std::vector<std::string>& problems) {
    if (def.realIndexes.empty()) return;
    StoredTableData data;
    data.def = def;
    try {
        TableScanner(m_db.pager(), m_db.text(), def)
            .scan([&](RowId id, const std::vector<Value>& row) {
                data.rowIds.push_back(id);
                data.rows.push_back(row);
                return true;
            });
    } catch (const Error&) {
        return;  // the row checks report unreadable rows; there is nothing to compare with
    }
    checkTable(data, problems);
}

void IndexChecker::checkTable(const StoredTableData& table, std::vector<std::string>& problems) {
    for (const StoredRealIndex& index : table.def.realIndexes)
        checkIndex(table, index, problems);
}

void IndexChecker::checkIndex(const StoredTableData& table, const StoredRealIndex& index,
                              std::vector<std::string>& problems) {
    ++m_stats.indexes;
    const StoredTableDef& def = table.def;
    Report report(problems, indexName(def, index));

    std::vector<IndexEntry> entries;
    IndexTree tree(m_db.pager(), index.firstPage, def.tdefPage);
    try {
        entries = tree.readEntries();
    } catch (const Error& e) {
        report.add(std::string("cannot be read: ") + e.what());
        return;
    }
    for (const std::string& finding : tree.findings())
        report.add(finding);
    m_stats.entries += entries.size();

    for (size_t i = 1; i < entries.size(); ++i) {
        if (compareEntries(entries[i - 1], entries[i]) < 0) continue;
        ++m_stats.orderViolations;
        report.add("the entry for " + rowName(entries[i].row) +
                   " is not after the entry before it");
    }

    const IndexKeyEncoder encoder(def, index, m_db.format(), m_db.header().sortOrder);
    if (!encoder.canEncode()) ++m_stats.unencodable;

    std::unordered_map<uint32_t, size_t> rowAt;
    rowAt.reserve(table.rowIds.size());
    for (size_t i = 0; i < table.rowIds.size(); ++i)
        rowAt.emplace(rowKey(table.rowIds[i]), i);
    std::vector<uint32_t> listed(table.rows.size(), 0);

    for (const IndexEntry& entry : entries) {
        const auto it = rowAt.find(rowKey(entry.row));
        if (it == rowAt.end()) {
            ++m_stats.strayEntries;
            report.add("an entry points at " + rowName(entry.row) + ", which holds no live row");
            continue;
        }
        const size_t r = it->second;
        if (listed[r]++ == 1) report.add("the row at " + rowName(entry.row) + " is listed twice");
        if (!encoder.canEncode()) continue;
        const auto& row = table.rows[r];
        if (index.ignoresNulls() && encoder.allNull(row))
            report.add("the row at " + rowName(entry.row) +
                       " has only null key values but is listed, though the index ignores nulls");
        std::vector<uint8_t> expected;
        try {
            expected = encoder.encode(row);
        } catch (const Error& e) {
            report.add("the key of the row at " + rowName(entry.row) +
                       " cannot be built: " + e.what());
            continue;
        }
        ++m_stats.keysCompared;
        if (expected != entry.key && encoder.hasText() &&
            encoder.encode(row, TextPositions::Characters) == entry.key) {
            // written by a tool that numbers accent positions by character;
            // Access reads such keys, so they are not damage
            ++m_stats.characterCounted;
            continue;
        }
        if (expected != entry.key) {
            ++m_stats.keyMismatches;
            report.add("the entry for " + rowName(entry.row) + " holds key " + hex(entry.key) +
                       " but the row gives " + hex(expected));
        }
    }

    std::vector<std::vector<uint8_t>> uniqueKeys;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const bool skippable = encoder.canEncode() && encoder.allNull(table.rows[r]);
        if (index.isRequired() && encoder.canEncode() && encoder.anyNull(table.rows[r]))
            report.add("the row at " + rowName(table.rowIds[r]) +
                       " has a null key value, though the index requires values");
        if (!listed[r] && !(index.ignoresNulls() && skippable)) {
            ++m_stats.missingRows;
            report.add("the row at " + rowName(table.rowIds[r]) + " is missing from the index");
        }
        if (index.isUnique() && encoder.canEncode() && !skippable) {
            try {
                uniqueKeys.push_back(encoder.encode(table.rows[r]));
            } catch (const Error&) {
                // reported above for listed rows
            }
        }
    }
    std::sort(uniqueKeys.begin(), uniqueKeys.end());
    for (size_t i = 1; i < uniqueKeys.size(); ++i)
        if (uniqueKeys[i] == uniqueKeys[i - 1])
            report.add("the unique index holds key " + hex(uniqueKeys[i]) + " more than once");
}

std::vector<std::string> checkIndexes(Database& db, IndexCheckStats* stats) {
    std::vector<std::string> problems;
    IndexChecker checker(implOf(db));
    checker.checkAll(problems);
    if (stats) *stats = checker.stats();
    return problems;
}

void checkIndexEntries(Database::Impl& db, const StoredTableDef& def,
                       std::vector<std::string>& problems) {
    IndexChecker(db).checkTable(def, problems);
}

}  // namespace jet::index
