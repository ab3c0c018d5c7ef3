#include "index/IndexPage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "base/ByteView.h"
#include "jet/Error.h"

namespace jet::index {
namespace {

uint32_t be24(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}
uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | be24(p + 1);
}

[[noreturn]] void damaged(uint32_t page, const std::string& what) {
    throwCorrupt("index page " + std::to_string(page) + " " + what);
}

void putLe16(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

void putLe32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The row pointer (and a node's child pointer) stored after an entry's key; returns its length.
size_t pointerBytes(const IndexEntry& e, bool leaf, uint8_t* out) {
    out[0] = static_cast<uint8_t>(e.row.page >> 16);
    out[1] = static_cast<uint8_t>(e.row.page >> 8);
    out[2] = static_cast<uint8_t>(e.row.page);
    out[3] = e.row.row;
    if (leaf) return 4;
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<uint8_t>(e.child >> (24 - 8 * i));
    return 8;
}

// Writes the entry's stored form from byte `skip` on; returns the bytes written.
size_t writeEntryBytes(const IndexEntry& e, bool leaf, size_t skip, uint8_t* to) {
    uint8_t tail[8];
    const size_t tailLen = pointerBytes(e, leaf, tail);
    size_t n = 0;
    if (skip < e.key.size()) {
        std::memcpy(to, e.key.data() + skip, e.key.size() - skip);
        n = e.key.size() - skip;
        skip = 0;
    } else {
        skip -= e.key.size();
    }
    std::memcpy(to + n, tail + skip, tailLen - skip);
    return n + tailLen - skip;
}

}  // namespace

std::vector<uint8_t> IndexPage::emptyLeaf(uint32_t page, uint32_t owner, Format format) {
    IndexPage leaf;
    leaf.number = page;
    leaf.leaf = true;
    leaf.owner = owner;
    return leaf.serialize(format);
}

IndexPage IndexPage::parse(const Page& page, Format format) {
    const IndexPageLayout& layout = IndexPageLayout::of(format);
    const ByteView view = page.view();
    const uint32_t n = page.number();
    if (view.size() != layout.pageSize) damaged(n, "has the wrong size");

    IndexPage result;
    result.number = n;
    const uint8_t type = view.u8(0);
    if (type != kIndexLeafPage && type != kIndexNodePage)
        damaged(n, "is not an index page (type " + std::to_string(type) + ")");
    result.leaf = type == kIndexLeafPage;
    result.freeSpace = view.u16(kFreeSpaceOffset);
    result.owner = view.u32(kOwnerOffset);
    result.prevPage = view.u32(layout.prevPage);
    result.nextPage = view.u32(layout.nextPage);
    result.tailPage = view.u32(layout.tailPage);
    result.prefixLength =
        layout.prefixSize == 2 ? view.u16(layout.prefixLength) : view.u8(layout.prefixLength);
    result.level = view.u8(layout.level);

    const uint32_t area = layout.maxEntryBytes();
    const uint8_t* data = view.data() + layout.entries;
    const uint32_t minEntry = 1 + kRowPointerSize + (result.leaf ? 0 : kChildPointerSize);
    std::vector<uint8_t> prefix;
    uint32_t start = 0;
    std::vector<uint8_t> full;
    // The mask is within the page (its size was checked above); most of its bytes are clear.
    const uint8_t* const mask = view.data() + layout.mask;
    for (uint32_t maskByte = 0; maskByte < layout.maskSize; ++maskByte) {
        for (unsigned bits = mask[maskByte]; bits != 0; bits &= bits - 1) {
            const uint32_t bit = maskByte * 8 + uint32_t(std::countr_zero(bits));
            if (bit > area) damaged(n, "marks an entry past the end of the page");
            if (bit <= start) damaged(n, "has an empty entry");
            full.clear();
            if (result.entries.empty()) {
                if (bit < result.prefixLength)
                    damaged(n, "shares a prefix longer than its first entry");
                prefix.assign(data, data + result.prefixLength);
            } else {
                full = prefix;
            }
            full.insert(full.end(), data + start, data + bit);
            if (full.size() < minEntry) damaged(n, "has an entry too short for its row pointer");

            IndexEntry entry;
            size_t keyLen = full.size() - kRowPointerSize;
            if (!result.leaf) {
                keyLen -= kChildPointerSize;
                entry.child = be32(full.data() + keyLen + kRowPointerSize);
            }
            entry.key.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keyLen));
            entry.row.page = be24(full.data() + keyLen);
            entry.row.row = full[keyLen + 3];
            result.entries.push_back(std::move(entry));
            start = bit;
        }
    }
    if (result.prefixLength > 0 && result.entries.empty())
        damaged(n, "shares a prefix but holds no entries");
    result.storedEntryBytes = start;
    return result;
}

void IndexPage::setItems(const std::vector<IndexEntry>& items) {
    setItems(std::vector<IndexEntry>(items));
}

void IndexPage::setItems(std::vector<IndexEntry>&& items) {
    if (leaf) {
        entries = std::move(items);
        for (IndexEntry& e : entries)
            e.child = 0;
        tailPage = 0;
        level = 0;
    } else if (items.size() <= 1) {
        entries = std::move(items);
        tailPage = 0;
    } else {
        tailPage = items.back().child;
        items.pop_back();
        entries = std::move(items);
    }
}

uint32_t IndexPage::fullEntrySize(const IndexEntry& entry, bool leaf) {
    return static_cast<uint32_t>(entry.key.size()) + kRowPointerSize +
           (leaf ? 0 : kChildPointerSize);
}

void IndexPage::appendEntryBytes(const IndexEntry& entry, bool leaf, std::vector<uint8_t>& out) {
    uint8_t tail[8];
    const size_t tailLen = pointerBytes(entry, leaf, tail);
    out.insert(out.end(), entry.key.begin(), entry.key.end());
    out.insert(out.end(), tail, tail + tailLen);
}

size_t IndexPage::sharedWith(const std::vector<uint8_t>& first, const IndexEntry& entry,
                             bool leaf, size_t cap) {
    const size_t size = fullEntrySize(entry, leaf);
    const size_t limit = std::min({cap, size - 1, first.size()});
    const size_t inKey = std::min(limit, entry.key.size());
    size_t k = static_cast<size_t>(
        std::mismatch(entry.key.begin(), entry.key.begin() + static_cast<std::ptrdiff_t>(inKey),
                      first.begin())
            .first -
        entry.key.begin());
    if (k < inKey || k == limit) return k;
    uint8_t tail[8];
    pointerBytes(entry, leaf, tail);
    for (size_t j = 0; k < limit && tail[j] == first[k]; ++j)
        ++k;
    return k;
}

uint32_t IndexPage::storedSize(const std::vector<IndexEntry>& entries, bool leaf, uint16_t prefix) {
    uint32_t total = 0;
    for (size_t i = 0; i < entries.size(); ++i)
        total += fullEntrySize(entries[i], leaf) - (i == 0 ? 0 : prefix);
    return total;
}

void IndexPage::noteStored(const std::vector<uint8_t>& stored, Format format) {
    const IndexPageLayout& layout = IndexPageLayout::of(format);
    const ByteView view(stored.data(), stored.size(), number);
    freeSpace = view.u16(kFreeSpaceOffset);
    prefixLength =
        layout.prefixSize == 2 ? view.u16(layout.prefixLength) : view.u8(layout.prefixLength);
    storedEntryBytes = layout.pageSize - layout.entries - freeSpace;
}

uint16_t IndexPage::commonPrefix(const std::vector<IndexEntry>& entries, bool leaf) {
    if (entries.size() < 2) return 0;
    std::vector<uint8_t> first;
    appendEntryBytes(entries.front(), leaf, first);
    // every later entry must keep at least one byte of its own
    size_t shared = first.size() - 1;
    for (size_t i = 1; i < entries.size() && shared > 0; ++i)
        shared = sharedWith(first, entries[i], leaf, shared);
    return static_cast<uint16_t>(std::min<size_t>(shared, 0xFFFF));
}

std::vector<uint8_t> IndexPage::serialize(Format format, std::optional<uint16_t> prefix) const {
    const IndexPageLayout& layout = IndexPageLayout::of(format);
    const uint16_t common = prefix || leaf ? commonPrefix(entries, leaf) : uint16_t(0);
    const uint16_t shared = prefix ? *prefix : common;
    if (shared > common)
        throw Error(hr::kInvalidArg, "The index entries do not all share the requested prefix.");
    const uint32_t used = storedSize(entries, leaf, shared);
    if (shared >= (1u << (8 * layout.prefixSize)))
        throw Error(hr::kInvalidArg, "The shared prefix is too long for an index page.");
    if (used > layout.maxEntryBytes())
        throw Error(hr::kInvalidArg, "The index entries do not fit on one page.");

    std::vector<uint8_t> page(layout.pageSize, 0);
    page[0] = leaf ? kIndexLeafPage : kIndexNodePage;
    page[1] = 0x01;
    putLe16(page, kFreeSpaceOffset, layout.pageSize - layout.entries - used);
    putLe32(page, kOwnerOffset, owner);
    putLe32(page, layout.prevPage, prevPage);
    putLe32(page, layout.nextPage, nextPage);
    putLe32(page, layout.tailPage, leaf ? 0 : tailPage);
    if (layout.prefixSize == 2)
        putLe16(page, layout.prefixLength, shared);
    else
        page[layout.prefixLength] = static_cast<uint8_t>(shared);
    page[layout.level] = level;

    uint32_t pos = layout.entries;
    uint32_t end = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t written = writeEntryBytes(entries[i], leaf, i == 0 ? 0 : shared,
                                               page.data() + pos);
        pos += static_cast<uint32_t>(written);
        end += static_cast<uint32_t>(written);
        page[layout.mask + end / 8] |= static_cast<uint8_t>(1u << (end % 8));
    }
    return page;
}

}  // namespace jet::index
