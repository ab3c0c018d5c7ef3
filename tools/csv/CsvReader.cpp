#include "CsvReader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "jet/Error.h"

namespace tessor::csv {

CsvReader::CsvReader(std::FILE* in, char delimiter, size_t bufferSize)
    // The first piece must hold a whole byte order mark for next() to see it: at least 3 bytes.
    : m_in(in), m_delimiter(delimiter), m_buf(std::max<size_t>(bufferSize, 3)) {}

bool CsvReader::refill() {
    m_pos = 0;
    m_len = std::fread(m_buf.data(), 1, m_buf.size(), m_in);
    if (m_len == 0 && std::ferror(m_in)) {
        throw jet::Error(jet::hr::kIoError,
                         std::string("Cannot read the CSV input: ") + std::strerror(errno) + ".");
    }
    return m_len != 0;
}

namespace {

// High bit set in each byte of `word` equal to `c`; exact for the lowest such byte (a borrow
// can only mark bytes above a true match).
inline uint64_t bytesEqual(uint64_t word, char c) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    const uint64_t x = word ^ (kOnes * static_cast<uint8_t>(c));
    return (x - kOnes) & ~x & kHighs;
}

}  // namespace

void CsvReader::takeRun(std::string& text, char a, char b, char c) {
    size_t end = m_pos;
    // Eight bytes at a time while they hold none of the stop characters (little-endian load,
    // so the lowest marked bit is the first stop).
    while (end + 8 <= m_len) {
        uint64_t word;
        std::memcpy(&word, m_buf.data() + end, 8);
        if constexpr (std::endian::native != std::endian::little) break;
        const uint64_t stops = bytesEqual(word, a) | bytesEqual(word, b) | bytesEqual(word, c);
        if (stops != 0) {
            end += size_t(std::countr_zero(stops)) / 8;
            text.append(m_buf.data() + m_pos, end - m_pos);
            m_pos = end;
            return;
        }
        end += 8;
    }
    while (end < m_len && m_buf[end] != a && m_buf[end] != b && m_buf[end] != c)
        ++end;
    text.append(m_buf.data() + m_pos, end - m_pos);
    m_pos = end;
}

void CsvReader::malformed(size_t line, const std::string& what) const {
    throw jet::Error(jet::hr::kInvalidArg, "Line " + std::to_string(line) + ": " + what + ".");
}

bool CsvReader::next(std::vector<Field>& fields) {
    if (!m_started) {
        m_started = true;
        if (m_pos == m_len) refill();
        if (m_len - m_pos >= 3 && std::memcmp(m_buf.data() + m_pos, "\xEF\xBB\xBF", 3) == 0)
            m_pos += 3;
    }
    int c = get();
    if (c == kEnd) return false;
    m_recordLine = m_line;
    size_t count = 0;
    for (;;) {
        if (count == fields.size()) fields.emplace_back();
        Field& f = fields[count++];
        f.text.clear();
        f.quoted = c == '"';
        if (f.quoted) {
            const size_t opened = m_line;
            for (;;) {
                takeRun(f.text, '"', '\n');
                c = get();
                if (c == kEnd) malformed(opened, "a quoted field is not closed");
                if (c == '"') {
                    c = get();
                    if (c != '"') break;
                } else if (c == '\n') {
                    ++m_line;
                }
                f.text.push_back(static_cast<char>(c));
            }
            if (c == '\r') {
                c = get();
                if (c != '\n') malformed(m_line, "a '\\r' follows a closing quote");
            }
            if (c != m_delimiter && c != '\n' && c != kEnd)
                malformed(m_line, "text follows a closing quote");
        } else {
            while (c != m_delimiter && c != '\n' && c != kEnd) {
                if (c == '"') malformed(m_line, "a quote stands inside an unquoted field");
                f.text.push_back(static_cast<char>(c));
                takeRun(f.text, m_delimiter, '\n', '"');
                c = get();
            }
            if (c != m_delimiter && !f.text.empty() && f.text.back() == '\r') f.text.pop_back();
        }
        if (c == '\n') ++m_line;
        if (c != m_delimiter) break;
        c = get();
    }
    fields.resize(count);
    return true;
}

}  // namespace tessor::csv
