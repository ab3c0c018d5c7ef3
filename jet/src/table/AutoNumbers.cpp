#include "table/AutoNumbers.h"

#include <random>

#include "index/IndexTree.h"
#include "jet/Error.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

std::string tableText(const StoredTableDef& def) {
    return "table '" + def.name + "'";
}

Guid randomGuid() {
    static std::random_device rd;
    static std::mt19937_64 gen(rd());
    Guid g;
    for (size_t i = 0; i < 16; i += 8) {
        uint64_t r = gen();
        for (int k = 0; k < 8; ++k)
            g.bytes[i + k] = static_cast<uint8_t>(r >> (8 * k));
    }
    g.bytes[7] = static_cast<uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4 (Data3, LE)
    g.bytes[8] = static_cast<uint8_t>((g.bytes[8] & 0x3F) | 0x80);
    return g;
}

}  // namespace

uint32_t AutoNumbers::assign(const StoredTableDef& def, std::vector<Value>& row, bool keepGiven) {
    uint32_t autoNumber = def.autoNumber;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (!c.isAutoNumber() || c.type != ColumnType::Long || def.autoIncrement < 0) continue;
        // A counter left behind the highest stored value (a file written by a careless
        // program) would hand out a number already taken: go on from the highest instead.
        std::optional<int32_t> highest = highestOnce(def, i);
        if (highest && *highest > int32_t(autoNumber)) autoNumber = uint32_t(*highest);
    }
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (c.isAutoNumber() && c.type == ColumnType::Long && keepGiven && !row[i].isNull()) {
            // The field encoder checks the value; the counter must not hand it out again.
            if (auto given = row[i].getIf<int32_t>(); given && *given > int32_t(autoNumber))
                autoNumber = static_cast<uint32_t>(*given);
        } else if (c.isAutoNumber() && c.type == ColumnType::Long) {
            if (!row[i].isNull())
                throw Error(hr::kInvalidArg, "Field '" + c.name + "' of " + tableText(def) +
                                                 " is an AutoNumber; the database assigns its "
                                                 "value.");
            int64_t next =
                int64_t(int32_t(autoNumber)) + (def.autoIncrement == 0 ? 1 : def.autoIncrement);
            if (next > INT32_MAX || next < INT32_MIN)
                throw Error(hr::kInvalidArg,
                            "The AutoNumber of " + tableText(def) + " has run out of values.");
            autoNumber = static_cast<uint32_t>(next);
            row[i] = static_cast<int32_t>(next);
        } else if (c.isAutoGuid() && c.type == ColumnType::Guid && row[i].isNull()) {
            row[i] = randomGuid();
        }
    }
    return autoNumber;
}

std::optional<int32_t> AutoNumbers::highestOnce(const StoredTableDef& def, size_t column) {
    if (m_counterChecked[def.tdefPage]) return std::nullopt;
    const uint16_t id = def.columns[column].id;
    std::optional<int32_t> highest;
    // An index led by the column holds every value in its keys: flag byte, then the value
    // big-endian with the top bit flipped (all bytes inverted when descending).
    for (const StoredRealIndex& x : def.realIndexes) {
        if (x.columns.empty() || x.columns.front().columnId != id || x.firstPage == 0) continue;
        const bool ascending = x.columns.front().ascending;
        try {
            for (const index::IndexEntry& e :
                 index::IndexTree(m_db.pager(), x.firstPage, def.tdefPage).readEntries()) {
                if (e.key.size() < 5 || e.key[0] != (ascending ? 0x7F : 0x80)) continue;
                uint32_t v = 0;
                for (int k = 1; k < 5; ++k)
                    v = v << 8 | uint8_t(ascending ? e.key[k] : ~e.key[k]);
                const int32_t value = static_cast<int32_t>(v ^ 0x80000000u);
                if (!highest || value > *highest) highest = value;
            }
            return highest;
        } catch (const Error&) {
            highest.reset();  // a damaged index: the rows themselves answer
        }
    }
    TableScanner(m_db.pager(), m_db.text(), def).scan([&](RowId, const std::vector<Value>& row) {
        if (const int32_t* v = row[column].getIf<int32_t>())
            if (!highest || *v > *highest) highest = *v;
        return true;
    });
    return highest;
}

}  // namespace jet
