#include "jet/Schema.h"

namespace jet {

namespace {

// Folds ASCII and the Latin-1 letters (as UTF-8) so that "Umsätze" matches "UMSÄTZE".
uint32_t foldAt(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return (c >= 'a' && c <= 'z') ? c - 32 : c;
    }
    if (c == 0xC3 && i + 1 < s.size()) {
        unsigned char d = static_cast<unsigned char>(s[i + 1]);
        i += 2;
        uint32_t cp = 0xC0 | (d & 0x3F);
        if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) cp -= 0x20;
        return cp;
    }
    ++i;
    return 0x100 + c;
}

}  // namespace

bool namesEqual(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (foldAt(a, i) != foldAt(b, j)) return false;
    }
    return i == a.size() && j == b.size();
}

const ColumnDef* TableDef::findColumn(std::string_view n) const {
    for (const auto& c : columns)
        if (namesEqual(c.name, n)) return &c;
    return nullptr;
}

const ColumnDef* TableDef::columnById(uint16_t id) const {
    for (const auto& c : columns)
        if (c.id == id) return &c;
    return nullptr;
}

const IndexDef* TableDef::findIndex(std::string_view n) const {
    for (const auto& i : indexes)
        if (namesEqual(i.name, n)) return &i;
    return nullptr;
}

const IndexDef* TableDef::primaryKey() const {
    for (const auto& i : indexes)
        if (i.kind == IndexKind::Primary) return &i;
    return nullptr;
}

}  // namespace jet
