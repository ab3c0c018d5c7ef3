// Reads CSV (or TSV) in the dialect CsvWriter writes, so that an export can be read back in.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tessor::csv {

// Fields are separated by the delimiter and records end with '\n' ('\r\n' is taken too).
// A field in double quotes may hold the delimiter, line breaks and "" for a quote. Each field
// keeps whether it was quoted, because the export tells NULL (an empty field) from empty
// text ("") that way. A UTF-8 byte order mark at the start is skipped.
class CsvReader {
public:
    struct Field {
        std::string text;
        bool quoted = false;
    };

    static constexpr size_t kBufferSize = 256 * 1024;

    // `in` stays owned by the caller and is read in pieces of bufferSize bytes (at least 3;
    // large ones normally, tiny ones where a test wants records and fields to straddle them).
    explicit CsvReader(std::FILE* in, char delimiter = ',', size_t bufferSize = kBufferSize);

    // The next record, reusing the storage of `fields`; false at the end of the input. Throws
    // jet::Error (hr::kInvalidArg) naming the line for malformed input and (hr::kIoError) when
    // the input cannot be read.
    bool next(std::vector<Field>& fields);
    // The line on which the record last returned by next() began, counted from 1.
    size_t recordLine() const { return m_recordLine; }

private:
    static constexpr int kEnd = -1;

    int get() {
        if (m_pos == m_len && !refill()) return kEnd;
        return static_cast<unsigned char>(m_buf[m_pos++]);
    }
    bool refill();
    // Appends the buffered characters up to the first of a, b or c (or the buffer's end) to
    // text: most of a field in one go.
    void takeRun(std::string& text, char a, char b, char c = '\n');
    [[noreturn]] void malformed(size_t line, const std::string& what) const;

    std::FILE* m_in;
    char m_delimiter;
    std::vector<char> m_buf;
    size_t m_pos = 0, m_len = 0;
    size_t m_line = 1;
    size_t m_recordLine = 0;
    bool m_started = false;
};

}  // namespace tessor::csv
