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
    if (ka != kb) return ka < kb ? -1 : 1;
    // Keys see only the first 255 characters; longer texts that share them differ by the rest.
    const size_t keyed = index::TextKeyEncoder::kMaxIndexedChars;
    if (ua.size() <= keyed && ub.size() <= keyed) return 0;
    return CaseFold::compare(a, b);
}

}  // namespace jet
