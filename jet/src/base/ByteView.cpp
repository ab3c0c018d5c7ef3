#include "base/ByteView.h"

#include "jet/Error.h"

namespace jet {

void throwCorrupt(const std::string& what) {
    throw Error(hr::kCorrupt, "The database is damaged: " + what + ".");
}

void ByteView::outOfRange(size_t off, size_t len) const {
    std::string where =
        m_page == kNoPage ? std::string("a record") : "page " + std::to_string(m_page);
    throwCorrupt("a field of " + std::to_string(len) + " bytes at offset " + std::to_string(off) +
                 " runs past the end of " + where + " (" + std::to_string(m_size) + " bytes)");
}

}  // namespace jet
