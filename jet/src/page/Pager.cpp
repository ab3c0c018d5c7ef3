#include "page/Pager.h"

#include "jet/Error.h"
#include "page/Rc4.h"

namespace jet {

Pager::Pager(std::unique_ptr<FileIO> file, Format format, uint32_t databaseKey)
    : m_file(std::move(file)),
      m_format(format),
      m_pageSize(format == Format::Jet3 ? kJet3PageSize : kJet4PageSize),
      m_key(databaseKey),
      m_cache(kCacheSlots) {
    uint64_t pages = m_file->size() / m_pageSize;
    // Row pointers hold 3 bytes of page number; anything past that cannot be addressed.
    if (pages > 0x1000000) pages = 0x1000000;
    m_pageCount = static_cast<uint32_t>(pages);
}

PageRef Pager::page(uint32_t n) {
    if (m_overlay)
        if (const std::vector<uint8_t>* changed = m_overlay->changedPage(n))
            return std::make_shared<const Page>(n, *changed);
    PageRef& slot = m_cache[n % kCacheSlots];
    if (slot && slot->number() == n) return slot;
    if (n >= m_pageCount)
        throwCorrupt("a reference to page " + std::to_string(n) + " points past the end of the " +
                     "file (" + std::to_string(m_pageCount) + " pages)");
    std::vector<uint8_t> bytes(m_pageSize);
    m_file->read(uint64_t(n) * m_pageSize, bytes.data(), bytes.size());
    if (m_key != 0 && n != 0) Rc4::applyWithKey32(m_key ^ n, bytes.data(), bytes.size());
    slot = std::make_shared<const Page>(n, std::move(bytes));
    return slot;
}

std::span<const uint8_t> Pager::peek(uint32_t n) {
    if (m_overlay)
        if (const std::vector<uint8_t>* changed = m_overlay->changedPage(n))
            return {changed->data(), changed->size()};
    PageRef p = page(n);  // the cache slot keeps it
    return {p->data(), p->size()};
}

void Pager::encode(uint32_t n, std::vector<uint8_t>& bytes) const {
    if (m_key != 0 && n != 0) Rc4::applyWithKey32(m_key ^ n, bytes.data(), bytes.size());
}

void Pager::writePage(uint32_t n, const std::vector<uint8_t>& plain) {
    if (m_overlay) throw Error(hr::kFail, "A page was written while a change was being prepared.");
    if (plain.size() != m_pageSize)
        throw Error(hr::kInvalidArg, "A page to write must be exactly one page long.");
    if (n > m_pageCount) throw Error(hr::kInvalidArg, "Pages must be appended in order.");
    std::vector<uint8_t> bytes = plain;
    encode(n, bytes);
    m_file->write(uint64_t(n) * m_pageSize, bytes.data(), bytes.size());
    if (n == m_pageCount) ++m_pageCount;
    m_cache[n % kCacheSlots] = std::make_shared<const Page>(n, plain);
}

void Pager::reload() {
    m_cache.assign(kCacheSlots, nullptr);
    uint64_t pages = m_file->size() / m_pageSize;
    if (pages > 0x1000000) pages = 0x1000000;
    m_pageCount = static_cast<uint32_t>(pages);
}

void Pager::sync() {
    m_file->sync();
}

}  // namespace jet
