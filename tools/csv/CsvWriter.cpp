#include "CsvWriter.h"

#include <charconv>

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

void CsvWriter::appendRow(std::string& out, const std::vector<jet::Value>& row) const {
    const jet::Value* values = row.data();
    const size_t count = row.size();
    for (size_t i = 0; i < count; ++i) {
        if (i) out.push_back(m_delimiter);
        appendValueText(out, values[i]);
    }
    out.push_back('\n');
}

void CsvWriter::appendValue(std::string& out, const jet::Value& value) const {
    appendValueText(out, value);
}

}  // namespace tessor::csv
