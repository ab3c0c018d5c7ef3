#include <algorithm>
#include <cstring>

#include "index/IndexKeyEncoder.h"
#include "index/TextKeyEncoder.h"
#include "jet/Database.h"
#include "jet/Text.h"

namespace jet {

Collation Collation::of(const Database& db) {
    Collation c;
    c.m_general97 = db.format() == Format::Jet3;
    return c;
}

namespace {

void appendTextKey(const std::u16string& text, bool general97, std::vector<uint8_t>& out) {
    index::TextKeyEncoder::append(
        text, general97 ? index::TextSortOrder::General97 : index::TextSortOrder::GeneralLegacy,
        true, out);
}

// Keys see only the first 255 characters; longer texts that share them differ by the rest.
constexpr size_t kKeyed = index::TextKeyEncoder::kMaxIndexedChars;

int orderKeyed(const std::vector<uint8_t>& ka, bool wholeA, std::string_view a,
               const std::vector<uint8_t>& kb, bool wholeB, std::string_view b) {
    const size_t common = std::min(ka.size(), kb.size());
    const int r = common == 0 ? 0 : std::memcmp(ka.data(), kb.data(), common);
    if (r != 0) return r < 0 ? -1 : 1;
    if (ka.size() != kb.size()) return ka.size() < kb.size() ? -1 : 1;
    if (wholeA && wholeB) return 0;
    return CaseFold::compare(a, b);
}

}  // namespace

void Collation::appendKey(std::string_view text, std::vector<uint8_t>& out) const {
    appendTextKey(index::IndexKeyEncoder::toUtf16(std::string(text)), m_general97, out);
}

int Collation::compare(std::string_view a, std::string_view b) const {
    if (a == b) return 0;
    const std::u16string ua = index::IndexKeyEncoder::toUtf16(std::string(a));
    const std::u16string ub = index::IndexKeyEncoder::toUtf16(std::string(b));
    std::vector<uint8_t> ka, kb;
    appendTextKey(ua, m_general97, ka);
    appendTextKey(ub, m_general97, kb);
    return orderKeyed(ka, ua.size() <= kKeyed, a, kb, ub.size() <= kKeyed, b);
}

CollationKey::CollationKey(const Collation& order, std::string_view text)
    : m_order(order), m_text(text) {
    const std::u16string units = index::IndexKeyEncoder::toUtf16(m_text);
    appendTextKey(units, m_order.isGeneral97(), m_key);
    m_keyedWhole = units.size() <= kKeyed;
}

int CollationKey::compare(std::string_view other) const {
    if (other == m_text) return 0;
    const std::u16string units = index::IndexKeyEncoder::toUtf16(std::string(other));
    std::vector<uint8_t> key;
    appendTextKey(units, m_order.isGeneral97(), key);
    return orderKeyed(key, units.size() <= kKeyed, other, m_key, m_keyedWhole, m_text);
}

}  // namespace jet
