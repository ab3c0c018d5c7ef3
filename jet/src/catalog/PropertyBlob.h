#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

class TextCodec;

// A table's property blob (MSysObjects.LvProp) opened for a few edits. Access keeps dozens of
// properties per field there (captions, widths, input masks...), so every block and every
// entry this class does not edit is carried over byte for byte; names are only ever added to
// the name pool, never removed, so the entries that index it keep their meaning.
class PropertyBlob {
public:
    // Block types: the name pool, the object's own properties, one field's properties.
    static constexpr uint16_t kNamePool = 0x80;
    static constexpr uint16_t kObject = 0x00;
    static constexpr uint16_t kColumn = 0x01;

    // The blob as stored; empty bytes give an empty blob (a table without properties).
    // codePage is the codec of an Access 97 database (names in its code page), null for Jet 4.
    // nullopt when the bytes are not a blob of that form this class can edit safely.
    static std::optional<PropertyBlob> parse(const std::vector<uint8_t>& bytes,
                                             const TextCodec* codePage = nullptr);

    // Sets a Yes/No property of a field, adding its name to the pool, the field's block (and
    // for a new blob the pool and the object's block) where they are missing.
    void setBoolean(const std::string& column, const std::string& property, bool value);
    // The value of a Yes/No property of a field; nullopt when the blob does not hold it.
    std::optional<bool> boolean(const std::string& column, const std::string& property) const;
    // Drops the field's block with all its properties; false when it had none.
    bool removeColumn(const std::string& column);

    // The stored form; empty when the blob holds nothing at all.
    std::vector<uint8_t> bytes() const;

private:
    struct Block {
        uint16_t type = 0;
        std::vector<uint8_t> bytes;  // the whole block, its length and type included
    };
    struct Entry {
        size_t at = 0;  // offset in the block
        uint16_t length = 0;
        uint8_t dataType = 0;
        uint16_t nameIndex = 0;
        uint16_t valueLength = 0;
    };

    static std::optional<std::vector<Entry>> entries(const Block& block);
    std::optional<std::string> ownerName(const Block& block) const;
    // The block of a field, or -1.
    int columnBlock(const std::string& column) const;
    // The pool index of a property name, added when missing.
    uint16_t nameIndex(const std::string& property);
    int nameIndexOf(const std::string& property) const;
    std::string decodeName(const uint8_t* data, size_t bytes) const;
    std::vector<uint8_t> encodeName(const std::string& name) const;

    std::vector<Block> m_blocks;
    std::vector<std::string> m_names;  // the pool, in UTF-8
    std::vector<uint8_t> m_tail;       // bytes after the last whole block, kept as found
    const TextCodec* m_codePage = nullptr;  // Access 97: names in this code page
};

}  // namespace jet
