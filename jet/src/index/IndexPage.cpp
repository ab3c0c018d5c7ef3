#include "index/IndexPage.h"

#include <algorithm>
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
    for (uint32_t bit = 0; bit < layout.maskSize * 8; ++bit) {
        if ((view.u8(layout.mask + bit / 8) & (1u << (bit % 8))) == 0) continue;
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
    out.insert(out.end(), entry.key.begin(), entry.key.end());
    out.push_back(static_cast<uint8_t>(entry.row.page >> 16));
    out.push_back(static_cast<uint8_t>(entry.row.page >> 8));
    out.push_back(static_cast<uint8_t>(entry.row.page));
    out.push_back(entry.row.row);
    if (!leaf)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(entry.child >> shift));
}

uint32_t IndexPage::storedSize(const std::vector<IndexEntry>& entries, bool leaf, uint16_t prefix) {
    uint32_t total = 0;
    for (size_t i = 0; i < entries.size(); ++i)
        total += fullEntrySize(entries[i], leaf) - (i == 0 ? 0 : prefix);
    return total;
}

uint16_t IndexPage::commonPrefix(const std::vector<IndexEntry>& entries, bool leaf) {
    if (entries.size() < 2) return 0;
    std::vector<uint8_t> first;
    appendEntryBytes(entries.front(), leaf, first);
    // every later entry must keep at least one byte of its own
    size_t shared = first.size() - 1;
    std::vector<uint8_t> other;
    for (size_t i = 1; i < entries.size() && shared > 0; ++i) {
        other.clear();
        appendEntryBytes(entries[i], leaf, other);
        size_t k = 0;
        const size_t limit = std::min(shared, other.size() - 1);
        while (k < limit && first[k] == other[k])
            ++k;
        shared = k;
    }
    return static_cast<uint16_t>(std::min<size_t>(shared, 0xFFFF));
}

std::vector<uint8_t> IndexPage::serialize(Format format, std::optional<uint16_t> prefix) const {
    const IndexPageLayout& layout = IndexPageLayout::of(format);
    const uint16_t shared = prefix ? *prefix : (leaf ? commonPrefix(entries, leaf) : uint16_t(0));
    if (shared > commonPrefix(entries, leaf))
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

    std::vector<uint8_t> bytes;
    uint32_t pos = layout.entries;
    uint32_t end = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        bytes.clear();
        appendEntryBytes(entries[i], leaf, bytes);
        const size_t skip = i == 0 ? 0 : shared;
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(skip), bytes.end(),
                  page.begin() + pos);
        pos += static_cast<uint32_t>(bytes.size() - skip);
        end += static_cast<uint32_t>(bytes.size() - skip);
        page[layout.mask + end / 8] |= static_cast<uint8_t>(1u << (end % 8));
    }
    return page;
}

}  // namespace jet::index
