#include "index/IndexKeyEncoder.h"

#include "index/KeyWriter.h"
#include "jet/Error.h"
#include "row/FieldEncoder.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {
namespace {

constexpr uint16_t kLcidGeneral = 0x0409;

[[noreturn]] void wrongValue(const ColumnDef& column) {
    throw Error(hr::kInvalidArg,
                "The value for column \"" + column.name + "\" does not match the column's type.");
}

template <typename T>
const T& need(const Value& v, const ColumnDef& column) {
    const T* p = v.getIf<T>();
    if (!p) wrongValue(column);
    return *p;
}

// Keys are built from the stored field bytes, so only types the writer can store; OLE
// objects are never indexed.
bool isIndexable(ColumnType type) {
    return type != ColumnType::Ole && FieldEncoder::supported(type);
}

}  // namespace

IndexKeyEncoder::IndexKeyEncoder(const StoredTableDef& table, const StoredRealIndex& index,
                                 Format format, uint32_t databaseSortOrder) {
    for (const IndexColumn& ic : index.columns) {
        KeyColumn kc;
        kc.ascending = ic.ascending;
        for (size_t i = 0; i < table.columns.size(); ++i) {
            if (table.columns[i].id == ic.columnId) {
                kc.position = i;
                kc.column = &table.columns[i];
            }
        }
        if (!kc.column) {
            m_reason = "the index uses column id " + std::to_string(ic.columnId) +
                       ", which the table does not have";
            return;
        }
        if (!isIndexable(kc.column->type)) {
            m_reason = "column \"" + kc.column->name + "\" has a type (" +
                       columnTypeName(kc.column->type) + ") that cannot be indexed";
            return;
        }
        if (kc.column->type == ColumnType::Text || kc.column->type == ColumnType::Memo) {
            const auto order = textSortOrder(*kc.column, format, databaseSortOrder);
            if (!order) {
                const bool own = kc.column->sortOrder != 0;
                const unsigned lcid = own ? kc.column->sortOrder : databaseSortOrder & 0xFFFF;
                const unsigned version = own ? kc.column->sortVersion : databaseSortOrder >> 24;
                m_reason = "column \"" + kc.column->name + "\" uses a text sort order (LCID " +
                           std::to_string(lcid) +
                           (version ? ", version " + std::to_string(version) : std::string()) +
                           ") whose index keys this program cannot build";
                return;
            }
            kc.textOrder = *order;
        }
        m_columns.push_back(kc);
    }
    if (m_columns.empty()) m_reason = "the index has no columns";
}

std::string IndexKeyEncoder::tableCannotEncodeReason(const StoredTableDef& table, Format format,
                                                     uint32_t databaseSortOrder) {
    for (const StoredRealIndex& index : table.realIndexes) {
        const IndexKeyEncoder encoder(table, index, format, databaseSortOrder);
        if (encoder.canEncode()) continue;
        std::string name = "#" + std::to_string(index.number);
        for (const IndexDef& logical : table.indexes)
            if (logical.realIndex == index.number) {
                name = logical.name;
                break;
            }
        return "index \"" + name + "\" of table \"" + table.name +
               "\" cannot be encoded: " + encoder.cannotEncodeReason();
    }
    return {};
}

std::optional<TextSortOrder> IndexKeyEncoder::textSortOrder(const ColumnDef& column, Format format,
                                                            uint32_t databaseSortOrder) {
    uint16_t lcid = column.sortOrder;
    uint8_t version = column.sortVersion;
    if (lcid == 0) {
        lcid = static_cast<uint16_t>(databaseSortOrder & 0xFFFF);
        version = static_cast<uint8_t>(databaseSortOrder >> 24);
    }
    if (lcid != kLcidGeneral) return std::nullopt;
    if (format == Format::Jet3) return TextSortOrder::General97;
    if (version == 0) return TextSortOrder::GeneralLegacy;
    return std::nullopt;  // the 2010 "General" order, not written by Jet 4
}

bool IndexKeyEncoder::allNull(const std::vector<Value>& row) const {
    for (const KeyColumn& kc : m_columns) {
        if (kc.column->type == ColumnType::Bool) return false;
        if (kc.position < row.size() && !row[kc.position].isNull()) return false;
    }
    return true;
}

bool IndexKeyEncoder::hasText() const {
    for (const KeyColumn& kc : m_columns)
        if (kc.column->type == ColumnType::Text || kc.column->type == ColumnType::Memo) return true;
    return false;
}

bool IndexKeyEncoder::anyNull(const std::vector<Value>& row) const {
    for (const KeyColumn& kc : m_columns) {
        if (kc.column->type == ColumnType::Bool) continue;
        if (kc.position >= row.size() || row[kc.position].isNull()) return true;
    }
    return false;
}

std::vector<uint8_t> IndexKeyEncoder::encode(const std::vector<Value>& row,
                                             TextPositions positions) const {
    if (!canEncode())
        throw Error(hr::kNotSupported, "The index keys cannot be built: " + m_reason + ".");
    std::vector<uint8_t> key;
    key.reserve(32);  // most keys in one allocation
    for (const KeyColumn& kc : m_columns) {
        if (kc.position >= row.size())
            throw Error(hr::kInvalidArg, "The row has fewer values than the table has columns.");
        appendValue(key, *kc.column, row[kc.position], kc.ascending, kc.textOrder, positions);
    }
    return key;
}

void IndexKeyEncoder::appendValue(std::vector<uint8_t>& out, const ColumnDef& column,
                                  const Value& value, bool ascending, TextSortOrder textOrder,
                                  TextPositions positions) {
    KeyWriter w(out);
    if (column.type == ColumnType::Bool) {
        // Yes/No has no null: a missing value is No
        const bool* b = value.getIf<bool>();
        if (!b && !value.isNull()) wrongValue(column);
        w.appendBoolean(b && *b, ascending);
        return;
    }
    if (value.isNull()) {
        w.appendNull(ascending);
        return;
    }
    switch (column.type) {
        case ColumnType::Byte:
            w.appendByte(need<uint8_t>(value, column), ascending);
            break;
        case ColumnType::Int:
            w.appendInteger(need<int16_t>(value, column), 2, ascending);
            break;
        case ColumnType::Long:
            w.appendInteger(need<int32_t>(value, column), 4, ascending);
            break;
        case ColumnType::Money:
            w.appendInteger(need<Currency>(value, column).scaled, 8, ascending);
            break;
        case ColumnType::Float:
            w.appendSingle(need<float>(value, column), ascending);
            break;
        case ColumnType::Double:
            w.appendDouble(need<double>(value, column), ascending);
            break;
        case ColumnType::DateTime:
            w.appendDouble(need<DateTime>(value, column).days, ascending);
            break;
        case ColumnType::Guid:
            w.appendGuid(std::span<const uint8_t, 16>(need<Guid>(value, column).bytes), ascending);
            break;
        case ColumnType::Binary:
            w.appendBinary(need<std::vector<uint8_t>>(value, column), ascending);
            break;
        case ColumnType::Numeric: {
            const Decimal& d = need<Decimal>(value, column);
            w.appendDecimal(d.negative, d.hi, d.lo, ascending);
            break;
        }
        case ColumnType::Text:
        case ColumnType::Memo: {
            thread_local std::u16string units;  // room kept from one value to the next
            toUtf16(need<std::string>(value, column), units);
            w.appendText(units, textOrder, ascending, positions);
            break;
        }
        default:
            throw Error(hr::kNotSupported, "Column \"" + column.name + "\" cannot be indexed.");
    }
}

// Malformed UTF-8 becomes U+FFFD rather than failing: the text came from the file.
std::u16string IndexKeyEncoder::toUtf16(const std::string& utf8) {
    std::u16string out;
    toUtf16(utf8, out);
    return out;
}

void IndexKeyEncoder::toUtf16(const std::string& utf8, std::u16string& out) {
    out.clear();
    const size_t n = utf8.size();
    uint8_t high = 0;
    for (char ch : utf8)
        high |= static_cast<uint8_t>(ch);
    if (high < 0x80) {  // ASCII: one unit per byte
        out.resize(n);
        for (size_t k = 0; k < n; ++k)
            out[k] = static_cast<char16_t>(utf8[k]);
        return;
    }
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > n) {
                len = 1;
            } else {
                cp = b0 & (0x7F >> len);
                bool ok = true;
                for (size_t k = 1; k < len; ++k) {
                    const auto b = static_cast<unsigned char>(utf8[i + k]);
                    if ((b & 0xC0) != 0x80) ok = false;
                    cp = (cp << 6) | (b & 0x3F);
                }
                if (!ok) {
                    cp = 0xFFFD;
                    len = 1;
                }
            }
        }
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp));
        }
        i += len;
    }
}

}  // namespace jet::index
