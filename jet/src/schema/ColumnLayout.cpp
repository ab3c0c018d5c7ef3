#include "schema/ColumnLayout.h"

#include <algorithm>

#include "jet/Error.h"
#include "row/FieldEncoder.h"
#include "row/RowDecoder.h"
#include "schema/SchemaNames.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

constexpr size_t kMaxColumns = 255;
constexpr uint8_t kCompressedUnicode = 0x01;
// The word Access 97 stores at descriptor bytes 7..8 of every column it makes.
constexpr uint16_t kJet3Misc = 0x0001;

// The fixed-length types a new field can have (Complex fields are not made here).
bool isFixedType(ColumnType t) {
    return t == ColumnType::Bool || (t != ColumnType::Complex && fixedSize(t) > 0);
}

// A Yes/No field takes no bytes in the row (its value is its null bit), but its descriptor
// states a length of 1, as Access writes it.
uint16_t fixedLength(ColumnType t) {
    return t == ColumnType::Bool ? 1 : uint16_t(fixedSize(t));
}

}  // namespace

StoredColumn ColumnLayout::add(StoredTableDef& def, const NewColumn& nc, uint32_t sortOrder,
                               uint16_t jet3CodePage) {
    const bool jet3 = jet3CodePage != 0;
    SchemaNames::check(nc.name, "field");
    const std::string field = "Field '" + nc.name + "'";
    if (def.findColumn(nc.name))
        throw Error(hr::kInvalidArg, field + " already exists in table '" + def.name + "'.");
    if (def.columns.size() >= kMaxColumns)
        throw Error(hr::kInvalidArg, "Table '" + def.name + "' already has " +
                                         std::to_string(kMaxColumns) +
                                         " fields, the most a table can have.");
    // Access 97 records count their fields and their variable fields in one byte each.
    const uint16_t lastNumber = jet3 ? 0xFF : 0xFFFF;
    if (def.maxColumnCount >= lastNumber)
        throw Error(hr::kInvalidArg, "Table '" + def.name +
                                         "' has used up its field numbers; compact the "
                                         "database first.");
    if (!FieldEncoder::supported(nc.type) ||
        (!isFixedType(nc.type) && nc.type != ColumnType::Text && nc.type != ColumnType::Binary &&
         nc.type != ColumnType::Memo && nc.type != ColumnType::Ole))
        throw Error(hr::kNotSupported, field + " has a type (" + columnTypeName(nc.type) +
                                           ") that tables made here cannot have.");
    if (jet3 && nc.type == ColumnType::Numeric)
        throw Error(hr::kNotSupported,
                    field + " is a Decimal field, which an Access 97 database cannot hold.");
    StoredColumn c;
    c.name = nc.name;
    c.type = nc.type;
    c.id = def.maxColumnCount;
    c.columnNumber = c.id;
    c.descriptorIndex = 0;
    for (const StoredColumn& x : def.columns)
        c.descriptorIndex = std::max<uint16_t>(c.descriptorIndex, x.descriptorIndex + 1);
    c.flags = columnflag::kUpdatable;
    if (jet3) {
        c.misc = kJet3Misc;
        c.sortOrder = static_cast<uint16_t>(sortOrder & 0xFFFF);
        c.codePage = jet3CodePage;
    } else if (nc.type != ColumnType::Numeric) {
        c.sortOrder = static_cast<uint16_t>(sortOrder & 0xFFFF);
        c.sortId = static_cast<uint8_t>(sortOrder >> 16);
        c.sortVersion = static_cast<uint8_t>(sortOrder >> 24);
    }
    switch (nc.type) {
        case ColumnType::Text:
            if (nc.length < 1 || nc.length > 255)
                throw Error(hr::kInvalidArg, field +
                                                 ": a Text field holds 1 to 255 characters, not " +
                                                 std::to_string(nc.length) + ".");
            c.length = static_cast<uint16_t>(jet3 ? nc.length : nc.length * 2);
            c.extFlags = jet3 ? 0 : kCompressedUnicode;
            break;
        case ColumnType::Memo:
            c.extFlags = jet3 ? 0 : kCompressedUnicode;
            break;
        case ColumnType::Binary:
            if (nc.length < 1 || nc.length > 255)
                throw Error(hr::kInvalidArg, field + ": a Binary field holds 1 to 255 bytes, not " +
                                                 std::to_string(nc.length) + ".");
            c.length = nc.length;
            break;
        case ColumnType::Numeric:
            if (nc.precision < 1 || nc.precision > 28 || nc.scale > nc.precision)
                throw Error(hr::kInvalidArg, field +
                                                 ": a Decimal field has a precision of 1 to 28 "
                                                 "and a scale of at most its precision.");
            c.precision = nc.precision;
            c.scale = nc.scale;
            c.sortOrder = static_cast<uint16_t>(nc.precision | (nc.scale << 8));
            break;
        default:
            break;
    }
    if (nc.autoNumber) {
        if (nc.type == ColumnType::Long) {
            for (const StoredColumn& x : def.columns)
                if (x.isAutoNumber() && x.type == ColumnType::Long)
                    throw Error(hr::kInvalidArg, "Table '" + def.name +
                                                     "' already has an AutoNumber field ('" +
                                                     x.name + "'); a table can have only one.");
            c.flags |= columnflag::kAutoNumber;
        } else if (nc.type == ColumnType::Guid) {
            c.flags |= columnflag::kAutoGuid;
        } else {
            throw Error(hr::kInvalidArg,
                        field + ": only Long and Replication ID fields can be AutoNumbers.");
        }
    }
    if (isFixedType(nc.type)) {
        c.flags |= columnflag::kFixed;
        c.length = fixedLength(nc.type);
        // After the live fixed columns: the space of a dropped last column is taken again,
        // which old rows read as null because they store fewer columns.
        uint16_t offset = 0;
        uint16_t vars = 0;
        for (const StoredColumn& x : def.columns) {
            if (x.isFixed() && x.type != ColumnType::Bool)
                offset = std::max<uint16_t>(offset, x.fixedOffset + x.length);
            if (!x.isFixed()) ++vars;
        }
        c.fixedOffset = nc.type == ColumnType::Bool ? 0 : offset;
        c.varIndex = vars;
    } else {
        if (def.varColumnCount >= lastNumber)
            throw Error(hr::kInvalidArg, "Table '" + def.name +
                                             "' has used up its variable field slots; compact "
                                             "the database first.");
        c.varIndex = def.varColumnCount++;
    }
    ++def.maxColumnCount;
    def.columns.push_back(c);
    def.columnCount = static_cast<uint16_t>(def.columns.size());
    return c;
}

}  // namespace jet
