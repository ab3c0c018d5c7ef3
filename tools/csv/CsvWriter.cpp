#include "CsvWriter.h"

#include <charconv>

#include "ValueText.h"

namespace tessor::csv {

namespace {

template <typename T>
void appendInteger(std::string& out, T value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
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
    for (size_t i = 0; i < row.size(); ++i) {
        if (i) out.push_back(m_delimiter);
        appendValue(out, row[i]);
    }
    out.push_back('\n');
}

void CsvWriter::appendValue(std::string& out, const jet::Value& value) const {
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

}  // namespace tessor::csv
