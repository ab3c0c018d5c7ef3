#include "page/MemoryFile.h"

#include <cstring>

#include "jet/Error.h"

namespace jet {

void MemoryFile::read(uint64_t offset, uint8_t* dst, size_t len) {
    if (offset > m_bytes.size() || len > m_bytes.size() - offset)
        throw Error(hr::kCorrupt, "The database is damaged: the file ends at byte " +
                                      std::to_string(m_bytes.size()) + ", inside a page.");
    if (len > 0) std::memcpy(dst, m_bytes.data() + offset, len);
}

void MemoryFile::write(uint64_t offset, const uint8_t* src, size_t len) {
    ++m_writes;
    if (m_failFrom > 0 && m_writes >= m_failFrom)
        throw Error(hr::kIoError, "Writing the database file failed: no space left on device.");
    if (len == 0) return;
    if (offset + len > m_bytes.size()) m_bytes.resize(offset + len);
    std::memcpy(m_bytes.data() + offset, src, len);
}

}  // namespace jet
