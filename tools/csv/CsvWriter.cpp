#include "CsvWriter.h"

#include <charconv>
#include <cstring>

#include "ValueText.h"

namespace tessor::csv {

namespace {

void appendInteger(std::string& out, int64_t value) {
    char buf[24];
    char* const end = buf + sizeof buf;
    char* start = writeDigitsBefore(end, value < 0 ? 0 - uint64_t(value) : uint64_t(value));
    if (value < 0) *--start = '-';
    out.append(start, size_t(end - start));
}

// One value in its CSV form (see appendValue).
inline void appendValueText(std::string& out, const jet::Value& value) {
    using jet::ValueType;
    switch (value.type()) {
        case ValueType::Null:
            break;
        case ValueType::Bool:
            out.push_back(value.as<bool>() ? '1' : '0');
            break;
        case ValueType::Byte:
            appendInteger(out, unsigned(value.as<uint8_t>()));
            break;
        case ValueType::Int16:
            appendInteger(out, int(value.as<int16_t>()));
            break;
        case ValueType::Int32:
            appendInteger(out, value.as<int32_t>());
            break;
        case ValueType::Currency:
            appendCurrency(out, value.as<jet::Currency>().scaled);
            break;
        case ValueType::Float:
            appendSingle(out, value.as<float>());
            break;
        case ValueType::Double:
            appendDouble(out, value.as<double>());
            break;
        case ValueType::DateTime:
            out.push_back('"');
            appendDateTime(out, value.as<jet::DateTime>().days);
            out.push_back('"');
            break;
        case ValueType::Text:
            appendQuoted(out, value.as<std::string>());
            break;
        case ValueType::Bytes:
            out.push_back('"');
            appendHex(out, value.as<std::vector<uint8_t>>());
            out.push_back('"');
            break;
        case ValueType::Guid:
            out.push_back('"');
            appendGuid(out, std::span<const uint8_t, 16>(value.as<jet::Guid>().bytes));
            out.push_back('"');
            break;
        case ValueType::Decimal: {
            const auto& d = value.as<jet::Decimal>();
            appendDecimal(out, d.negative, (static_cast<unsigned __int128>(d.hi) << 64) | d.lo,
                          d.scale);
            break;
        }
    }
}

}  // namespace

void CsvWriter::appendHeader(std::string& out, const std::vector<jet::ColumnDef>& columns) const {
    std::vector<std::string> names;
    names.reserve(columns.size());
    for (const auto& c : columns)
        names.push_back(c.name);
    appendHeader(out, names);
}

void CsvWriter::appendHeader(std::string& out, const std::vector<std::string>& names) const {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out.push_back(m_delimiter);
        const std::string& name = names[i];
        if (name.find_first_of(std::string{m_delimiter, '"', '\r', '\n'}) != std::string::npos) {
            appendQuoted(out, name);
        } else {
            out.append(name);
        }
    }
    out.push_back('\n');
}

namespace {

// Writes a 32-bit integer at p; returns the end.
char* writeInteger(char* p, int32_t value) {
    const uint32_t magnitude = value < 0 ? 0 - uint32_t(value) : uint32_t(value);
    if (value < 0) *p++ = '-';
    int digits = 1;
    for (uint32_t bound = 10; digits < 10 && magnitude >= bound; bound *= 10)
        ++digits;
    writeDigitsBefore(p + digits, magnitude);
    return p + digits;
}

// The most characters writeValueText may write for the value.
size_t textRoom(const jet::Value& value) {
    using jet::ValueType;
    switch (value.type()) {
        case ValueType::Null:
        case ValueType::Bool:
            return 1;
        case ValueType::Byte:
        case ValueType::Int16:
        case ValueType::Int32:
            return 12;
        case ValueType::Text:
            return 2 + 2 * value.as<std::string>().size();
        case ValueType::Bytes:
            return 2 + 2 * value.as<std::vector<uint8_t>>().size();
        default:
            return 2 + kNumberTextRoom;
    }
}

// appendValueText's text at p, which has textRoom(value) characters of room; returns the end.
char* writeValueText(char* p, const jet::Value& value) {
    using jet::ValueType;
    switch (value.type()) {
        case ValueType::Null:
            return p;
        case ValueType::Bool:
            *p++ = value.as<bool>() ? '1' : '0';
            return p;
        case ValueType::Byte:
            return writeInteger(p, value.as<uint8_t>());
        case ValueType::Int16:
            return writeInteger(p, value.as<int16_t>());
        case ValueType::Int32:
            return writeInteger(p, value.as<int32_t>());
        case ValueType::Currency: {
            const int64_t scaled = value.as<jet::Currency>().scaled;
            return writeDecimal(p, scaled < 0,
                                scaled < 0 ? 0 - uint64_t(scaled) : uint64_t(scaled), 4);
        }
        case ValueType::Double:
            return writeDouble(p, value.as<double>());
        case ValueType::DateTime:
            *p++ = '"';
            p = writeDateTime(p, value.as<jet::DateTime>().days);
            *p++ = '"';
            return p;
        case ValueType::Text: {
            // Quoted, inner quotes doubled.
            const std::string& text = value.as<std::string>();
            const char* from = text.data();
            const char* const end = from + text.size();
            *p++ = '"';
            while (from < end) {
                const auto* q = static_cast<const char*>(std::memchr(from, '"', size_t(end - from)));
                const char* stop = q ? q + 1 : end;
                std::memcpy(p, from, size_t(stop - from));
                p += stop - from;
                if (q) *p++ = '"';
                from = stop;
            }
            *p++ = '"';
            return p;
        }
        case ValueType::Decimal: {
            const auto& d = value.as<jet::Decimal>();
            return writeDecimal(p, d.negative,
                                (static_cast<unsigned __int128>(d.hi) << 64) | d.lo, d.scale);
        }
        default: {
            // Single, binary and GUIDs: through their string forms (never longer than the room).
            std::string text;
            appendValueText(text, value);
            std::memcpy(p, text.data(), text.size());
            return p + text.size();
        }
    }
}

}  // namespace

void CsvWriter::appendRow(std::string& out, const std::vector<jet::Value>& row) const {
    const jet::Value* values = row.data();
    const size_t count = row.size();
    // Room for the longest text the row could have, then written through a pointer.
    size_t room = count + 1;
    for (size_t i = 0; i < count; ++i)
        room += textRoom(values[i]);
    const size_t base = out.size();
    out.resize(base + room);
    char* const start = out.data() + base;
    char* p = start;
    for (size_t i = 0; i < count; ++i) {
        if (i) *p++ = m_delimiter;
        p = writeValueText(p, values[i]);
    }
    *p++ = '\n';
    out.resize(base + size_t(p - start));
}

void CsvWriter::appendValue(std::string& out, const jet::Value& value) const {
    appendValueText(out, value);
}

}  // namespace tessor::csv
