#include "table/ColumnRules.h"

#include <optional>

#include "base/TextCodec.h"
#include "index/IndexWriter.h"
#include "jet/Error.h"
#include "row/TableScanner.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

constexpr uint32_t kCatalogPage = 2;  // MSysObjects' definition
constexpr uint8_t kBooleanProperty = 1;

struct Reader {
    const std::vector<uint8_t>& b;
    size_t end;
    bool has(size_t at, size_t n) const { return at <= end && n <= end - at; }
    uint16_t u16(size_t at) const { return uint16_t(b[at] | (b[at + 1] << 8)); }
    uint32_t u32(size_t at) const {
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
    }
};

// UTF-16LE names of the blob, narrowed for comparison with the (UTF-8) column names; only the
// ASCII names of the properties matter here, column names are compared in full.
std::string narrow(const std::vector<uint8_t>& b, size_t at, size_t bytes) {
    std::u16string s;
    for (size_t i = 0; i + 1 < bytes; i += 2)
        s.push_back(char16_t(b[at + i] | (b[at + i + 1] << 8)));
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// Access 97 blobs hold their names in the code page, one byte per character; read as Latin-1,
// which the property names (ASCII) and most column names come through unchanged.
std::string singleByte(const std::vector<uint8_t>& b, size_t at, size_t bytes) {
    std::string out;
    for (size_t i = 0; i < bytes; ++i) {
        const uint8_t c = b[at + i];
        if (c < 0x80) {
            out.push_back(char(c));
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

ColumnRules ColumnRules::parse(const std::vector<uint8_t>& blob, const StoredTableDef& table,
                               const TextCodec* codePage) {
    ColumnRules rules;
    rules.m_required.assign(table.columns.size(), false);
    rules.m_noEmptyText.assign(table.columns.size(), false);
    // "MR2" blobs (Jet 4) hold UTF-16 names, "KKD" blobs (Jet 3) code-page names; the rest of
    // their layout is the same.
    const bool mr2 = blob.size() >= 4 && blob[0] == 'M' && blob[1] == 'R' && blob[2] == '2' &&
                     blob[3] == 0;
    const bool kkd = blob.size() >= 4 && blob[0] == 'K' && blob[1] == 'K' && blob[2] == 'D' &&
                     blob[3] == 0;
    if (!mr2 && !kkd) return rules;
    auto name = [&](size_t at, size_t bytes) {
        if (kkd && codePage) return codePage->decodeName(blob.data() + at, bytes);
        return kkd ? singleByte(blob, at, bytes) : narrow(blob, at, bytes);
    };
    Reader r{blob, blob.size()};
    std::vector<std::string> names;
    size_t at = 4;
    while (r.has(at, 6)) {
        const uint32_t length = r.u32(at);
        const uint16_t type = r.u16(at + 4);
        if (length < 6 || !r.has(at, length)) break;
        const size_t body = at + 6, end = at + length;
        if (type == 0x80) {
            for (size_t p = body; p + 2 <= end;) {
                const uint16_t n = r.u16(p);
                if (p + 2 + n > end) break;
                names.push_back(name(p + 2, n));
                p += 2 + size_t(n);
            }
        } else if (type == 0x01 && end - body >= 6) {
            const uint32_t head = r.u32(body);
            const uint16_t nameLen = r.u16(body + 4);
            if (head >= 6 + size_t(nameLen) && head <= end - body) {
                const std::string column = name(body + 6, nameLen);
                size_t position = table.columns.size();
                for (size_t i = 0; i < table.columns.size(); ++i)
                    if (namesEqual(table.columns[i].name, column)) position = i;
                for (size_t p = body + head; position < table.columns.size() && p + 8 <= end;) {
                    const uint16_t entry = r.u16(p);
                    const uint8_t dataType = blob[p + 3];
                    const uint16_t nameIndex = r.u16(p + 4);
                    const uint16_t valueLen = r.u16(p + 6);
                    if (entry < 8 || p + entry > end || 8 + size_t(valueLen) > entry) break;
                    if (dataType == kBooleanProperty && valueLen >= 1 && nameIndex < names.size()) {
                        const bool yes = blob[p + 8] != 0;
                        if (namesEqual(names[nameIndex], "Required"))
                            rules.m_required[position] = yes;
                        else if (namesEqual(names[nameIndex], "AllowZeroLength"))
                            rules.m_noEmptyText[position] = !yes;
                    }
                    p += entry;
                }
            }
        }
        at = end;
    }
    return rules;
}

ColumnRules ColumnRules::load(Database::Impl& db, const StoredTableDef& table) {
    const StoredTableDef& catalog = db.tableDefAtPage(kCatalogPage, "MSysObjects");
    const StoredColumn* idColumn = catalog.findColumn("Id");
    const StoredColumn* typeColumn = catalog.findColumn("Type");
    const StoredColumn* propColumn = catalog.findColumn("LvProp");
    if (!idColumn || !typeColumn || !propColumn) return parse({}, table);
    const size_t id = size_t(idColumn - catalog.columns.data());
    const size_t type = size_t(typeColumn - catalog.columns.data());
    const size_t prop = size_t(propColumn - catalog.columns.data());
    std::vector<uint8_t> blob;
    TableScanner(db.pager(), db.text(), catalog).scan([&](RowId, const std::vector<Value>& row) {
        const int32_t* objectId = row[id].getIf<int32_t>();
        const int16_t* objectType = row[type].getIf<int16_t>();
        if (!objectId || !objectType || *objectType != 1 ||
            (uint32_t(*objectId) & 0x00FFFFFF) != table.tdefPage)
            return true;
        if (const auto* bytes = row[prop].getIf<std::vector<uint8_t>>()) blob = *bytes;
        return false;
    });
    return parse(blob, table, db.format() == Format::Jet3 ? &db.text() : nullptr);
}

void ColumnRules::check(const StoredTableDef& table, const std::vector<Value>& row) const {
    for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i) {
        const StoredColumn& c = table.columns[i];
        if (c.type == ColumnType::Bool) continue;  // never null
        auto field = [&] { return "'" + table.name + "." + c.name + "'"; };
        if (required(i) && row[i].isNull())
            throw Error(index::kIntegrityViolation,
                        "The field " + field() +
                            " cannot contain a Null value because the Required property for this "
                            "field is set to True. Enter a value in this field.");
        if (refusesEmptyText(i) && (c.type == ColumnType::Text || c.type == ColumnType::Memo)) {
            const std::string* text = row[i].getIf<std::string>();
            if (text && text->empty())
                throw Error(index::kIntegrityViolation,
                            "Field " + field() + " cannot be a zero-length string.");
        }
    }
}

}  // namespace jet
