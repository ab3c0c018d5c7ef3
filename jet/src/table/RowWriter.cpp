#include "table/RowWriter.h"

#include "index/IndexWriter.h"
#include "index/PageSetIndexSink.h"
#include "jet/Error.h"
#include "lval/LongValueWriter.h"
#include "page/PageSpace.h"
#include "page/SlotPage.h"
#include "row/FieldEncoder.h"
#include "row/RowCodec.h"
#include "row/RowDecoder.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"

namespace jet {

// The values as they will be stored: checked, encoded, and for long values the raw value
// bytes (placed later). Yes/No values go to `flags`.
struct EncodedRow {
    RowCodec::Fields fields;
    std::vector<bool> flags;
    std::vector<bool> longValue;  // fields[i] holds value bytes still to be placed
};

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void tableTextInto(std::string& out, const StoredTableDef& def) {
    out.assign("table '").append(def.name).push_back('\'');
}

std::string tableText(const StoredTableDef& def) {
    std::string out;
    tableTextInto(out, def);
    return out;
}

using Encoded = EncodedRow;

// Into `e`, whose field buffers from an earlier row are reused.
void encodeAll(const StoredTableDef& def, const std::vector<Value>& values, const TextCodec& text,
               Encoded& e) {
    e.fields.resize(def.columns.size());
    e.flags.assign(def.columns.size(), false);
    e.longValue.assign(def.columns.size(), false);
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        const Value& v = values[i];
        if (c.type == ColumnType::Bool) {
            // Yes/No fields are never null; an unset one is No.
            if (v.isNull()) continue;
            auto b = v.getIf<bool>();
            if (!b)
                throw Error(hr::kInvalidArg, "The value for field '" + c.name + "' of " +
                                                 tableText(def) + " must be Yes or No.");
            e.flags[i] = *b;
            e.fields[i].reset();
            continue;
        }
        if (v.isNull()) {
            e.fields[i].reset();
            continue;
        }
        if (!e.fields[i]) e.fields[i].emplace();
        FieldEncoder::encodeInto(def, c, v, &text, *e.fields[i]);
        e.longValue[i] = c.isLongValue();
    }
}

Encoded encodeAll(const StoredTableDef& def, const std::vector<Value>& values,
                  const TextCodec& text) {
    Encoded e;
    encodeAll(def, values, text, e);
    return e;
}

// Refuses a row that would not fit, before any page is touched: long values are counted at
// the size their in-row field will have.
// Returns the row as it will be stored when it has no long value to place first (the usual
// case, so that the row is built once), and an empty row otherwise.
std::vector<uint8_t> checkSize(const StoredTableDef& def, const Encoded& e, Format format) {
    bool longValues = false;
    for (size_t i = 0; i < e.fields.size(); ++i)
        longValues = longValues || (e.longValue[i] && e.fields[i]);
    std::vector<uint8_t> row;
    size_t len = 0;
    if (longValues) {
        RowCodec::Fields sized = e.fields;
        for (size_t i = 0; i < sized.size(); ++i) {
            if (!e.longValue[i] || !sized[i]) continue;
            size_t n = sized[i]->size() <= LongValueWriter::kInlineMax ? 12 + sized[i]->size() : 12;
            sized[i] = std::vector<uint8_t>(n, 0);
        }
        len = RowCodec::build(def, sized, e.flags, format).size();
    } else {
        row = RowCodec::build(def, e.fields, e.flags, format);
        len = row.size();
    }
    if (len > RowCodec::maxRowSize(format))
        throw Error(hr::kInvalidArg, "The record is too large: it needs " + std::to_string(len) +
                                         " bytes and a record of " + tableText(def) +
                                         " can hold at most " +
                                         std::to_string(RowCodec::maxRowSize(format)) + ".");
    return row;
}

void checkValueCount(const StoredTableDef& def, const std::vector<Value>& values) {
    if (values.size() != def.columns.size())
        throw Error(hr::kInvalidArg, "A record of " + tableText(def) + " needs " +
                                         std::to_string(def.columns.size()) + " values, not " +
                                         std::to_string(values.size()) + ".");
}

bool indexed(const StoredTableDef& def, const StoredColumn& c) {
    for (const StoredRealIndex& x : def.realIndexes)
        for (const IndexColumn& ic : x.columns)
            if (ic.columnId == c.id) return true;
    return false;
}

// Whether decoding the stored field would give back `v` itself: it already has the type the
// column reads as, and storing neither pads, rounds nor recodes it. Text that is not padded
// reads back as written (Jet 4 stores UTF-16; Jet 3's code pages are left to the decoder).
bool readsBackAsGiven(Format format, const StoredColumn& c, const Value& v) {
    switch (c.type) {
        case ColumnType::Byte:
            return v.type() == ValueType::Byte;
        case ColumnType::Int:
            return v.type() == ValueType::Int16;
        case ColumnType::Long:
            return v.type() == ValueType::Int32;
        case ColumnType::Money:
            return v.type() == ValueType::Currency;
        case ColumnType::Double:
            return v.type() == ValueType::Double;
        case ColumnType::DateTime:
            return v.type() == ValueType::DateTime;
        case ColumnType::Guid:
            return v.type() == ValueType::Guid;
        case ColumnType::Text:
            return format == Format::Jet4 && !c.isFixed() && v.type() == ValueType::Text;
        default:
            return false;
    }
}

// The values an index sees for a row about to be stored: what reading the stored fields back
// gives (a Byte stays a Byte, fixed text keeps its padding). Long values are taken as given.
// With `onlyIndexed`, the fields no index covers are left null: nothing but the indexes reads
// them, and decoding every field of every inserted row is most of the cost.
std::vector<Value> storedValues(Pager& pager, const TextCodec& text, const StoredTableDef& def,
                                const Encoded& e, const std::vector<Value>& given,
                                bool onlyIndexed) {
    RowDecoder decoder(pager, text, def);
    std::vector<Value> out(def.columns.size());
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const StoredColumn& c = def.columns[i];
        if (onlyIndexed && !indexed(def, c)) continue;
        if (c.type == ColumnType::Bool)
            out[i] = bool(e.flags[i]);
        else if (c.isLongValue() || !e.fields[i])
            out[i] = c.isLongValue() ? given[i] : Value();
        else if (readsBackAsGiven(pager.format(), c, given[i]))
            out[i] = given[i];
        else
            decoder.decodeField(c, ByteView(e.fields[i]->data(), e.fields[i]->size()), out[i]);
    }
    return out;
}

// Whether every indexed field would read back from the encoded record as the value given for
// it, so that index keys can be built from the given values without decoding the record.
bool indexedReadBackAsGiven(Format format, const StoredTableDef& def, const Encoded& e,
                            const std::vector<Value>& given) {
    for (const StoredRealIndex& x : def.realIndexes)
        for (const IndexColumn& ic : x.columns) {
            size_t i = 0;
            while (i < def.columns.size() && def.columns[i].id != ic.columnId)
                ++i;
            if (i == def.columns.size()) return false;
            const StoredColumn& c = def.columns[i];
            bool same = false;
            if (c.type == ColumnType::Bool) {
                const bool* b = given[i].getIf<bool>();
                same = b && *b == bool(e.flags[i]);
            } else if (c.isLongValue()) {
                same = true;
            } else if (!e.fields[i]) {
                same = given[i].isNull();
            } else {
                same = readsBackAsGiven(format, c, given[i]);
            }
            if (!same) return false;
        }
    return true;
}

// Every index of the table in two phases: all are checked (uniqueness, required keys, keys that
// can be built) before any index page changes. A refusal leaves the whole change unwritten.
void updateIndexes(PageSet& pages, index::ParsedIndexPages& parsed, const StoredTableDef& def,
                   uint32_t sortOrder, const std::vector<Value>* oldRow, RowId oldId,
                   const std::vector<Value>* newRow, RowId newId) {
    std::vector<index::IndexWriter> writers;
    std::vector<index::PageSetIndexSink> sinks;
    std::vector<index::IndexRowChange> changes;
    writers.reserve(def.realIndexes.size());
    sinks.reserve(def.realIndexes.size());
    for (size_t r = 0; r < def.realIndexes.size(); ++r) {
        writers.emplace_back(def, r, pages.format(), sortOrder);
        sinks.emplace_back(pages, def, r, &parsed);
    }
    for (size_t r = 0; r < writers.size(); ++r)
        changes.push_back(writers[r].prepare(sinks[r], oldRow, oldId, newRow, newId));
    for (size_t r = 0; r < writers.size(); ++r) {
        if (changes[r].empty()) continue;
        writers[r].apply(sinks[r], changes[r]);
        if (changes[r].uniqueDelta != 0) sinks[r].addToUniqueCount(changes[r].uniqueDelta);
    }
}

}  // namespace

RowWriter::RowWriter(Database::Impl& db, ChangeRunner& changes)
    : m_db(db), m_changes(changes), m_heldEntries(db.pager(), db.header()), m_autoNumbers(db) {
    m_changes.addObserver(m_heldEntries);
    m_changes.addObserver(*this);
}

RowWriter::~RowWriter() = default;

void RowWriter::forgetCaches() {
    m_rules.clear();
    m_autoNumbers.forget();
}

void RowWriter::written(bool failed) {
    if (failed) forgetCaches();
}

void RowWriter::dropped() {
    forgetCaches();
}

void RowWriter::checkWritable() {
    if (m_db.options().readOnly)
        throw Error(hr::kReadOnly,
                    "The database is open read-only; open it for writing to "
                    "change records.");
    m_changes.checkWritable();
}

bool RowWriter::isSystemTable(const StoredTableDef& def) const {
    const CatalogEntry* entry = m_db.findTable(def.name);
    return def.isSystemTable() || (entry && entry->kind == ObjectKind::SystemTable);
}

const StoredTableDef& RowWriter::writableTable(std::string_view table) {
    checkWritable();
    const StoredTableDef& def = m_db.tableDef(table);
    for (const StoredColumn& c : def.columns)
        if (!FieldEncoder::supported(c.type))
            throw Error(hr::kNotSupported, "Table '" + def.name + "' has field '" + c.name +
                                               "' of a type (" + columnTypeName(c.type) +
                                               ") whose values cannot be written yet.");
    return def;
}

void RowWriter::changePages(const std::function<void(PageSet&)>& body) {
    checkWritable();
    // a schema change may rewrite the property blobs the rules come from
    forgetCaches();
    m_changes.flushHeld();
    m_changes.step(body);
}

const ColumnRules& RowWriter::rulesFor(const StoredTableDef& def) {
    auto it = m_rules.find(def.tdefPage);
    if (it == m_rules.end()) it = m_rules.emplace(def.tdefPage, ColumnRules::load(m_db, def)).first;
    return it->second;
}

void RowWriter::transact(const std::function<void()>& body) {
    if (!m_changes.currentBatch()) checkWritable();
    m_changes.batch(body);
}

RowWriter::Located RowWriter::locate(PageSet& pages, const StoredTableDef& def, RowId row) {
    const std::string where = "Record " + std::to_string(row.page) + ":" + std::to_string(row.row) +
                              " of " + tableText(def);
    auto missing = [&]() -> Error {
        return Error(hr::kNotFound, where + " does not exist (it may have been deleted).");
    };
    PageSpace space(pages);
    if (row.page < 3 || row.page >= pages.pageCount() || !space.inMap(def.ownedMap, row.page))
        throw missing();
    const std::vector<uint8_t>& bytes = pages.read(row.page);
    if (bytes[0] != 0x01) throw missing();
    SlotPage sp(bytes, row.page);
    if (sp.owner() != def.tdefPage || row.row >= sp.slots().size()) throw missing();
    const SlotPage::Slot& s = sp.slots()[row.row];
    if (s.flags & SlotPage::kDeleted) throw missing();
    Located at;
    at.page = at.dataPage = row.page;
    at.slot = at.dataSlot = row.row;
    at.bytes = s.bytes;
    if (s.flags & SlotPage::kOverflow) {
        if (s.bytes.size() < 4) throwCorrupt(where + " is a moved record without a pointer");
        uint32_t ptr =
            s.bytes[0] | (s.bytes[1] << 8) | (s.bytes[2] << 16) | (uint32_t(s.bytes[3]) << 24);
        at.moved = true;
        at.dataPage = ptr >> 8;
        at.dataSlot = ptr & 0xFF;
        if (at.dataPage < 3 || at.dataPage >= pages.pageCount())
            throwCorrupt(where + " was moved to a page that does not exist");
        SlotPage target(pages.read(at.dataPage), at.dataPage);
        if (target.owner() != def.tdefPage || at.dataSlot >= target.slots().size() ||
            (target.slots()[at.dataSlot].flags & SlotPage::kOverflow))
            throwCorrupt(where + " was moved to a place that holds none of its data");
        at.bytes = target.slots()[at.dataSlot].bytes;
    }
    return at;
}

RowId RowWriter::insert(std::string_view table, const std::vector<Value>& values,
                        bool keepAutoNumbers, bool holdIndexEntries) {
    if (m_heldEntries.holdsAny()) {
        // Checks of related tables and the first look for the highest AutoNumber read
        // indexes: they must see the entries held so far.
        const StoredTableDef& now = m_db.tableDef(table);
        if (ReferentialIntegrity::involved(now) || m_autoNumbers.looksForHighest(now))
            m_changes.flushHeld();
    }
    // Not copied: a definition read again keeps its place, and one retired stays alive.
    const StoredTableDef& def = writableTable(table);
    checkValueCount(def, values);
    const bool related = ReferentialIntegrity::involved(def);
    if (related && !m_changes.currentBatch()) {
        // the related tables' checks read them within the same change
        RowId id;
        transact([&] { id = insert(table, values, keepAutoNumbers); });
        return id;
    }
    // The values are copied into those of the last row inserted, reusing their room.
    std::vector<Value> full = std::move(m_spareValues);
    full.assign(values.begin(), values.end());
    const uint32_t autoNumber = m_autoNumbers.assign(def, full, keepAutoNumbers);
    rulesFor(def).check(def, full);
    // The buffers of the last row inserted are reused; an insert that fails leaves none.
    std::unique_ptr<Encoded> spare = std::move(m_spare);
    if (!spare) spare = std::make_unique<Encoded>();
    Encoded& e = *spare;
    encodeAll(def, full, m_db.text(), e);
    std::vector<uint8_t> ready = checkSize(def, e, m_db.format());
    RowId id;
    m_changes.step([&](PageSet& pages) {
        // The values the indexes and related tables see: those the record reads back as.
        std::vector<Value> stored;
        const std::vector<Value>* keyed = &stored;
        if (!related && indexedReadBackAsGiven(m_db.format(), def, e, full))
            keyed = &full;
        else if (!def.realIndexes.empty() || related)
            stored = storedValues(m_db.pager(), m_db.text(), def, e, full, !related);
        if (related) ReferentialIntegrity(m_db, pages).requireParents(def, nullptr, stored);
        PageSpace space(pages);
        LongValueWriter lv(space, pages, def);
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (e.longValue[i] && e.fields[i]) e.fields[i] = lv.store(def.columns[i], *e.fields[i]);
        const std::vector<uint8_t> row =
            ready.empty() ? RowCodec::build(def, e.fields, e.flags, m_db.format())
                          : std::move(ready);
        thread_local std::string what;  // for messages; its room is kept from row to row
        tableTextInto(what, def);
        uint32_t at = space.placeRow(def.tdefPage, def.ownedMap, def.freeMap, row, 0, what);
        id = RowId{at >> 8, static_cast<uint8_t>(at & 0xFF)};
        if (index::IndexBatch* held = m_heldEntries.batch(); held && !related && holdIndexEntries)
            held->insert(def, *keyed, id);
        else if (!def.realIndexes.empty())
            updateIndexes(pages, m_parsedIndexPages, def, m_db.header().sortOrder, nullptr, id, keyed, id);
        m_db.writeCounters(pages, def.tdefPage, def.rowCount + 1, autoNumber);
    });
    // the stored counter is now at least the highest value
    m_autoNumbers.counterStored(def);
    m_spare = std::move(spare);
    m_spareValues = std::move(full);
    return id;
}

std::vector<ReferentialIntegrity::Dependents> RowWriter::update(std::string_view table, RowId rowId,
                                                                const std::vector<Value>& values) {
    m_changes.flushHeld();  // the change edits indexes, which must hold every entry first
    const StoredTableDef def = writableTable(table);
    checkValueCount(def, values);
    const bool related = ReferentialIntegrity::involved(def);
    std::vector<ReferentialIntegrity::Dependents> dependents;
    m_changes.step([&](PageSet& pages) {
        Located at = locate(pages, def, rowId);
        ByteView oldRow(at.bytes.data(), at.bytes.size(), at.dataPage);
        RowCodec::Fields oldFields = RowCodec::split(def, oldRow, m_db.format());
        std::vector<Value> oldValues;
        RowDecoder decoder(m_db.pager(), m_db.text(), def);
        decoder.decode(oldRow, oldValues);

        std::vector<Value> full = values;
        for (size_t i = 0; i < def.columns.size(); ++i) {
            const StoredColumn& c = def.columns[i];
            if (c.isAutoNumber() && !full[i].isNull() && !(full[i] == oldValues[i]))
                throw Error(hr::kInvalidArg, "Field '" + c.name + "' of " + tableText(def) +
                                                 " is an AutoNumber; its value cannot change.");
            if (c.isAutoNumber()) full[i] = oldValues[i];
        }
        // Only the fields that change are held to the rules: a record stored before a rule was
        // set stays editable in its other fields.
        std::vector<Value> changed(full.size());
        for (size_t i = 0; i < full.size(); ++i)
            changed[i] = full[i] == oldValues[i] ? Value(int32_t(0)) : full[i];
        rulesFor(def).check(def, changed);
        Encoded e = encodeAll(def, full, m_db.text());
        // An unchanged long value keeps its stored form; a changed one is stored anew.
        std::vector<bool> keep(def.columns.size(), false);
        for (size_t i = 0; i < def.columns.size(); ++i) {
            if (!e.longValue[i] || !(full[i] == oldValues[i]) || !oldFields[i]) continue;
            keep[i] = true;
        }
        Encoded sized = e;
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (keep[i]) {
                sized.fields[i] = oldFields[i];
                sized.longValue[i] = false;
            }
        checkSize(def, sized, m_db.format());

        if (!def.realIndexes.empty() || related) {
            std::vector<Value> stored =
                storedValues(m_db.pager(), m_db.text(), def, e, full, false);
            if (related) {
                ReferentialIntegrity ri(m_db, pages);
                ri.requireParents(def, &oldValues, stored);
                dependents = ri.dependents(def, oldValues, &stored);
            }
            if (!def.realIndexes.empty())
                updateIndexes(pages, m_parsedIndexPages, def, m_db.header().sortOrder, &oldValues, rowId, &stored,
                              rowId);
        }
        PageSpace space(pages);
        LongValueWriter lv(space, pages, def);
        for (size_t i = 0; i < def.columns.size(); ++i) {
            const StoredColumn& c = def.columns[i];
            if (!c.isLongValue()) continue;
            if (keep[i]) {
                e.fields[i] = oldFields[i];
                continue;
            }
            if (oldFields[i]) lv.free(c, *oldFields[i]);
            if (e.fields[i]) e.fields[i] = lv.store(c, *e.fields[i]);
        }
        std::vector<uint8_t> row = RowCodec::build(def, e.fields, e.flags, m_db.format());
        const std::string what = tableText(def);

        std::vector<uint8_t>& dataBytes = pages.modify(at.dataPage);
        SlotPage dataPage(dataBytes, at.dataPage);
        SlotPage::Slot& slot = dataPage.slots()[at.dataSlot];
        if (dataPage.freeSpace() + long(slot.bytes.size()) >= long(row.size())) {
            slot.bytes = row;  // fits where it is
            dataPage.store(dataBytes);
            space.settle(at.dataPage, def.ownedMap, def.freeMap, what);
            return;
        }
        // Grown past its page: the bytes move elsewhere and the record's own slot points there,
        // so the RowId stays what it was.
        uint32_t target = space.placeRow(def.tdefPage, def.ownedMap, def.freeMap, row,
                                         SlotPage::kDeleted, what, at.dataPage);
        if (at.moved) {
            std::vector<uint8_t>& oldTarget = pages.modify(at.dataPage);
            SlotPage tp(oldTarget, at.dataPage);
            tp.slots()[at.dataSlot] = SlotPage::Slot{SlotPage::kTombstone, {}};
            tp.store(oldTarget);
        }
        std::vector<uint8_t>& headBytes = pages.modify(at.page);
        SlotPage head(headBytes, at.page);
        std::vector<uint8_t> pointer(4);
        put32(pointer, 0, target);
        head.slots()[at.slot] = SlotPage::Slot{SlotPage::kOverflow, pointer};
        head.store(headBytes);
        space.settle(at.page, def.ownedMap, def.freeMap, what);
        if (at.moved && at.dataPage != at.page)
            space.settle(at.dataPage, def.ownedMap, def.freeMap, what);
    });
    return dependents;
}

std::vector<ReferentialIntegrity::Dependents> RowWriter::remove(std::string_view table,
                                                                RowId rowId) {
    m_changes.flushHeld();  // the change edits indexes, which must hold every entry first
    const StoredTableDef def = writableTable(table);
    const bool related = ReferentialIntegrity::involved(def);
    std::vector<ReferentialIntegrity::Dependents> dependents;
    m_changes.step([&](PageSet& pages) {
        Located at = locate(pages, def, rowId);
        ByteView oldRow(at.bytes.data(), at.bytes.size(), at.dataPage);
        RowCodec::Fields oldFields = RowCodec::split(def, oldRow, m_db.format());
        if (!def.realIndexes.empty() || related) {
            std::vector<Value> oldValues;
            RowDecoder(m_db.pager(), m_db.text(), def).decode(oldRow, oldValues);
            if (related)
                dependents = ReferentialIntegrity(m_db, pages).dependents(def, oldValues, nullptr);
            if (!def.realIndexes.empty())
                updateIndexes(pages, m_parsedIndexPages, def, m_db.header().sortOrder, &oldValues, rowId, nullptr,
                              rowId);
        }
        PageSpace space(pages);
        LongValueWriter lv(space, pages, def);
        for (size_t i = 0; i < def.columns.size(); ++i)
            if (def.columns[i].isLongValue() && oldFields[i])
                lv.free(def.columns[i], *oldFields[i]);
        const std::string what = tableText(def);
        auto bury = [&](uint32_t page, uint32_t slot) {
            std::vector<uint8_t>& bytes = pages.modify(page);
            SlotPage sp(bytes, page);
            sp.slots()[slot] = SlotPage::Slot{SlotPage::kTombstone, {}};
            sp.store(bytes);
        };
        if (at.moved) bury(at.dataPage, at.dataSlot);
        bury(at.page, at.slot);
        if (at.moved && at.dataPage != at.page)
            space.settle(at.dataPage, def.ownedMap, def.freeMap, what);
        space.settle(at.page, def.ownedMap, def.freeMap, what);
        m_db.writeCounters(pages, def.tdefPage, def.rowCount == 0 ? 0 : def.rowCount - 1,
                           def.autoNumber);
    });
    return dependents;
}

std::optional<std::vector<Value>> RowWriter::readRow(const StoredTableDef& def, RowId row) {
    Located at;
    try {
        at = locate(*m_changes.currentBatch(), def, row);
    } catch (const Error& e) {
        if (e.code() == hr::kNotFound) return std::nullopt;
        throw;
    }
    std::vector<Value> values;
    RowDecoder(m_db.pager(), m_db.text(), def)
        .decode(ByteView(at.bytes.data(), at.bytes.size(), at.dataPage), values);
    return values;
}

}  // namespace jet
