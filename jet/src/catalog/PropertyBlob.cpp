#include "catalog/PropertyBlob.h"

#include "base/TextCodec.h"
#include "jet/Error.h"
#include "jet/Schema.h"

namespace jet {

namespace {

constexpr uint8_t kSignature[4] = {'M', 'R', '2', 0};
constexpr uint8_t kJet3Signature[4] = {'K', 'K', 'D', 0};
constexpr size_t kBlockHead = 6;  // u32 length, u16 type
constexpr size_t kEntryHead = 8;  // u16 length, u8 DDL flag, u8 data type, u16 name, u16 size
constexpr uint8_t kBooleanType = 0x01;
// Access marks the built-in field properties (Required, Description...) with this flag.
constexpr uint8_t kBuiltIn = 0x01;

uint16_t get16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | (b[at + 1] << 8));
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
void append16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void append32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

const uint8_t* signatureOf(const TextCodec* codePage) {
    return codePage ? kJet3Signature : kSignature;
}

std::vector<uint8_t> utf16(const std::string& text) {
    std::vector<uint16_t> units;
    if (!TextCodec::toUtf16(text, units))
        throw Error(hr::kInvalidArg, "The name '" + text + "' is not valid text.");
    std::vector<uint8_t> out;
    for (uint16_t u : units)
        append16(out, u);
    return out;
}

std::vector<uint8_t> newBlock(uint16_t type) {
    std::vector<uint8_t> b;
    append32(b, kBlockHead);
    append16(b, type);
    return b;
}

// The block's length field follows its bytes.
void seal(std::vector<uint8_t>& block) {
    put32(block, 0, uint32_t(block.size()));
}

}  // namespace

std::optional<PropertyBlob> PropertyBlob::parse(const std::vector<uint8_t>& bytes,
                                                const TextCodec* codePage) {
    PropertyBlob blob;
    blob.m_codePage = codePage;
    if (bytes.empty()) return blob;
    const uint8_t* signature = signatureOf(codePage);
    if (bytes.size() < 4 || !std::equal(signature, signature + 4, bytes.begin()))
        return std::nullopt;
    size_t at = 4;
    bool pooled = false;
    while (bytes.size() - at >= kBlockHead) {
        const uint32_t length = get32(bytes, at);
        if (length < kBlockHead || length > bytes.size() - at) return std::nullopt;
        Block block;
        block.type = get16(bytes, at + 4);
        block.bytes.assign(bytes.begin() + long(at), bytes.begin() + long(at + length));
        if (block.type == kNamePool) {
            if (pooled) return std::nullopt;  // a second pool: unknown ground
            pooled = true;
            for (size_t p = kBlockHead; p < length;) {
                if (length - p < 2) return std::nullopt;
                const uint16_t n = get16(block.bytes, p);
                if ((!codePage && n % 2 != 0) || n > length - p - 2) return std::nullopt;
                blob.m_names.push_back(blob.decodeName(block.bytes.data() + p + 2, n));
                p += 2 + size_t(n);
            }
        } else if (block.type == kObject || block.type == kColumn) {
            if (!blob.ownerName(block) || !entries(block)) return std::nullopt;
        }
        blob.m_blocks.push_back(std::move(block));
        at += length;
    }
    blob.m_tail.assign(bytes.begin() + long(at), bytes.end());
    return blob;
}

std::string PropertyBlob::decodeName(const uint8_t* data, size_t bytes) const {
    if (m_codePage) return m_codePage->decodeName(data, bytes);
    std::string name;
    TextCodec::utf16ToUtf8(data, bytes, name);
    return name;
}

std::vector<uint8_t> PropertyBlob::encodeName(const std::string& name) const {
    if (!m_codePage) return utf16(name);
    std::vector<uint8_t> out;
    uint32_t bad = 0;
    if (!m_codePage->encodeCodePage(name, out, bad))
        throw Error(hr::kInvalidArg, "The name '" + name + "' holds the character " +
                                         TextCodec::characterName(bad) +
                                         ", which the database's code page cannot store.");
    return out;
}

std::optional<std::string> PropertyBlob::ownerName(const Block& block) const {
    const std::vector<uint8_t>& b = block.bytes;
    if (b.size() < kBlockHead + 6) return std::nullopt;
    const uint32_t head = get32(b, kBlockHead);
    const uint16_t nameLength = get16(b, kBlockHead + 4);
    if (head < 6 + size_t(nameLength) || head > b.size() - kBlockHead) return std::nullopt;
    return decodeName(b.data() + kBlockHead + 6, nameLength);
}

std::optional<std::vector<PropertyBlob::Entry>> PropertyBlob::entries(const Block& block) {
    const std::vector<uint8_t>& b = block.bytes;
    std::vector<Entry> out;
    for (size_t p = kBlockHead + get32(b, kBlockHead); p < b.size();) {
        if (b.size() - p < kEntryHead) return std::nullopt;
        Entry e;
        e.at = p;
        e.length = get16(b, p);
        e.dataType = b[p + 3];
        e.nameIndex = get16(b, p + 4);
        e.valueLength = get16(b, p + 6);
        if (e.length < kEntryHead || e.length > b.size() - p ||
            kEntryHead + size_t(e.valueLength) > e.length)
            return std::nullopt;
        out.push_back(e);
        p += e.length;
    }
    return out;
}

int PropertyBlob::columnBlock(const std::string& column) const {
    for (size_t i = 0; i < m_blocks.size(); ++i)
        if (m_blocks[i].type == kColumn && namesEqual(*ownerName(m_blocks[i]), column))
            return int(i);
    return -1;
}

int PropertyBlob::nameIndexOf(const std::string& property) const {
    for (size_t i = 0; i < m_names.size(); ++i)
        if (namesEqual(m_names[i], property)) return int(i);
    return -1;
}

uint16_t PropertyBlob::nameIndex(const std::string& property) {
    if (int i = nameIndexOf(property); i >= 0) return uint16_t(i);
    size_t pool = m_blocks.size();
    for (size_t i = 0; i < m_blocks.size(); ++i)
        if (m_blocks[i].type == kNamePool) pool = i;
    if (pool == m_blocks.size()) {
        // The pool comes first: the other blocks' entries refer to it.
        m_blocks.insert(m_blocks.begin(), Block{kNamePool, newBlock(kNamePool)});
        pool = 0;
    }
    std::vector<uint8_t> name = encodeName(property);
    std::vector<uint8_t>& b = m_blocks[pool].bytes;
    append16(b, uint16_t(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    seal(b);
    m_names.push_back(property);
    return uint16_t(m_names.size() - 1);
}

void PropertyBlob::setBoolean(const std::string& column, const std::string& property, bool value) {
    const bool fresh = m_blocks.empty();
    const uint16_t name = nameIndex(property);
    int at = columnBlock(column);
    if (at < 0) {
        if (fresh) {
            // Access's own blobs hold the table's block before those of its fields.
            std::vector<uint8_t> object = newBlock(kObject);
            append32(object, 6);
            append16(object, 0);
            seal(object);
            m_blocks.push_back(Block{kObject, std::move(object)});
        }
        std::vector<uint8_t> owner = encodeName(column);
        std::vector<uint8_t> b = newBlock(kColumn);
        append32(b, uint32_t(6 + owner.size()));
        append16(b, uint16_t(owner.size()));
        b.insert(b.end(), owner.begin(), owner.end());
        seal(b);
        m_blocks.push_back(Block{kColumn, std::move(b)});
        at = int(m_blocks.size() - 1);
    }
    Block& block = m_blocks[size_t(at)];
    const std::vector<Entry> list = *entries(block);
    for (const Entry& e : list) {
        if (e.nameIndex != name) continue;
        if (e.dataType == kBooleanType && e.valueLength == 1) {
            block.bytes[e.at + kEntryHead] = value ? 1 : 0;
            return;
        }
        // The same name with another kind of value: replaced by the Yes/No one.
        block.bytes.erase(block.bytes.begin() + long(e.at),
                          block.bytes.begin() + long(e.at + e.length));
        break;
    }
    std::vector<uint8_t>& b = block.bytes;
    append16(b, uint16_t(kEntryHead + 1));
    b.push_back(kBuiltIn);
    b.push_back(kBooleanType);
    append16(b, name);
    append16(b, 1);
    b.push_back(value ? 1 : 0);
    seal(b);
}

std::optional<bool> PropertyBlob::boolean(const std::string& column,
                                          const std::string& property) const {
    const int at = columnBlock(column);
    const int name = nameIndexOf(property);
    if (at < 0 || name < 0) return std::nullopt;
    const Block& block = m_blocks[size_t(at)];
    const std::vector<Entry> list = *entries(block);
    for (const Entry& e : list)
        if (e.nameIndex == uint16_t(name) && e.dataType == kBooleanType && e.valueLength >= 1)
            return block.bytes[e.at + kEntryHead] != 0;
    return std::nullopt;
}

bool PropertyBlob::removeColumn(const std::string& column) {
    bool removed = false;
    for (int at; (at = columnBlock(column)) >= 0; removed = true)
        m_blocks.erase(m_blocks.begin() + at);
    return removed;
}

std::vector<uint8_t> PropertyBlob::bytes() const {
    if (m_blocks.empty() && m_tail.empty()) return {};
    const uint8_t* signature = signatureOf(m_codePage);
    std::vector<uint8_t> out(signature, signature + 4);
    for (const Block& b : m_blocks)
        out.insert(out.end(), b.bytes.begin(), b.bytes.end());
    out.insert(out.end(), m_tail.begin(), m_tail.end());
    return out;
}

}  // namespace jet
