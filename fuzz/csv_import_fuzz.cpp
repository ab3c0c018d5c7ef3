// libFuzzer target: any bytes as the CSV input of mdbtool's import, read record by record and
// each field as a value of one of the column types. Malformed input is a jet::Error; a field
// that reads as a value must write out (in the export's form) to text that reads back to a value
// written the same (floating values: the same after one more pass), so that an export always
// imports again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "CsvReader.h"
#include "CsvWriter.h"
#include "ValueReader.h"
#include "ValueText.h"
#include "jet/Error.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::vector<jet::ColumnDef> makeColumns() {
    using jet::ColumnType;
    const ColumnType types[] = {ColumnType::Text,   ColumnType::Long,     ColumnType::Int,
                                ColumnType::Byte,   ColumnType::Bool,     ColumnType::Money,
                                ColumnType::Float,  ColumnType::Double,   ColumnType::DateTime,
                                ColumnType::Binary, ColumnType::Guid,     ColumnType::Numeric,
                                ColumnType::Memo,   ColumnType::Ole};
    std::vector<jet::ColumnDef> cols;
    for (ColumnType t : types) {
        jet::ColumnDef c;
        c.name = "F" + std::to_string(cols.size());
        c.type = t;
        c.precision = 18;
        c.scale = 4;
        cols.push_back(c);
    }
    return cols;
}

const jet::ColumnDef& columnFor(size_t record, size_t field) {
    static const std::vector<jet::ColumnDef> columns = makeColumns();
    return columns[(field + record) % columns.size()];
}

// The text of one value as the export writes it.
std::string textOf(const tessor::csv::CsvWriter& writer, const jet::Value& value) {
    std::string text;
    writer.appendValue(text, value);
    return text;
}

// A number or date without the quotes the export may put around it.
std::string_view bare(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"') return text.substr(1, text.size() - 2);
    return text;
}

// A field whose text may change once on its way through an import. Floating values are written
// to 16 significant digits (8 for a Single), as mdb-export writes them: a text that rounds up to a
// power of ten ("1e+23") reads back as the double just below that power, which is then written on
// the finer grid below it ("9.999999999999999e+22"). That second text reads back to the same
// value, so it stays.
bool mayChangeOnce(const jet::ColumnDef& column, std::string_view text) {
    double days;
    switch (column.type) {
        case jet::ColumnType::Float:
        case jet::ColumnType::Double:
            return true;
        case jet::ColumnType::DateTime:  // only those written as a number of days
            return text.find('-', 1) == std::string_view::npos &&
                   tessor::csv::parseDouble(text, days);
        default:
            return false;
    }
}

// The values as the export writes them, read back as the import reads them and written again:
// the same text, but for the floating values above, whose second text must then stay.
void roundTrip(const std::vector<std::vector<jet::Value>>& records, char delimiter,
               size_t bufferSize) {
    const tessor::csv::CsvWriter writer(delimiter);
    std::string text;
    for (const auto& values : records)
        writer.appendRow(text, values);
    std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    check(in != nullptr);
    tessor::csv::CsvReader reader(in, delimiter, bufferSize);
    std::vector<tessor::csv::CsvReader::Field> fields;
    for (size_t r = 0; r < records.size(); ++r) {
        check(reader.next(fields));
        check(fields.size() == records[r].size());
        for (size_t k = 0; k < fields.size(); ++k) {
            const jet::ColumnDef& column = columnFor(r, k);
            std::string why;
            jet::Value value;
            check(tessor::csv::ValueReader::read(column, fields[k].text, fields[k].quoted, value,
                                                 why));
            const std::string first = textOf(writer, records[r][k]);
            const std::string again = textOf(writer, value);
            if (again == first) continue;
            check(mayChangeOnce(column, bare(first)));
            jet::Value third;
            check(tessor::csv::ValueReader::read(column, bare(again), again != bare(again), third,
                                                 why));
            check(textOf(writer, third) == again);
        }
    }
    check(!reader.next(fields));
    std::fclose(in);
}

struct Parsed {
    std::vector<std::vector<tessor::csv::CsvReader::Field>> records;
    std::vector<size_t> lines;
    std::string error;  // the refusal that ended the input, if any
};

Parsed parse(const uint8_t* data, size_t size, char delimiter, size_t bufferSize) {
    Parsed out;
    std::FILE* in = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::tmpfile();
    check(in != nullptr);
    try {
        tessor::csv::CsvReader reader(in, delimiter, bufferSize);
        std::vector<tessor::csv::CsvReader::Field> fields;
        while (out.records.size() < 10000 && reader.next(fields)) {
            check(!fields.empty());
            check(out.lines.empty() || reader.recordLine() > out.lines.back());
            out.records.push_back(fields);
            out.lines.push_back(reader.recordLine());
        }
    } catch (const jet::Error& e) {
        out.error = e.what();
        check(!out.error.empty());
    }
    std::fclose(in);
    return out;
}

bool sameFields(const std::vector<tessor::csv::CsvReader::Field>& a,
                const std::vector<tessor::csv::CsvReader::Field>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].text != b[i].text || a[i].quoted != b[i].quoted) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the delimiter (comma, tab, semicolon, bar), as --delimiter would,
    // and the size of the pieces a second reading takes the input in (1 to 64 bytes): fields,
    // line breaks and the byte order mark falling across pieces must read the same.
    const char delimiters[] = {',', '\t', ';', '|'};
    const char delimiter = delimiters[data[0] % 4];
    const size_t pieces = 1 + (data[0] >> 2);
    ++data;
    --size;
    // One piece as large as any input of the runs (their -max_len), as the default one is.
    const Parsed whole = parse(data, size, delimiter, 65536);
    const Parsed small = parse(data, size, delimiter, pieces);
    check(whole.error == small.error);
    check(whole.lines == small.lines);
    check(whole.records.size() == small.records.size());
    for (size_t r = 0; r < whole.records.size(); ++r)
        check(sameFields(whole.records[r], small.records[r]));

    // Fields that are no value of their column stay null.
    std::vector<std::vector<jet::Value>> records;
    for (const auto& fields : whole.records) {
        std::vector<jet::Value> values(fields.size());
        for (size_t k = 0; k < fields.size(); ++k) {
            std::string why;
            if (!tessor::csv::ValueReader::read(columnFor(records.size(), k), fields[k].text,
                                                fields[k].quoted, values[k], why)) {
                check(!why.empty());
                values[k] = jet::Value();
            }
        }
        records.push_back(std::move(values));
    }
    roundTrip(records, delimiter, pieces);
    return 0;
}
