#include "jet/TextOrder.h"

#include <string>

#include "index/IndexKeyEncoder.h"
#include "index/TextKeyEncoder.h"
#include "jet/Database.h"

namespace jet {

std::optional<TextOrder> TextOrder::of(const Database& db, const ColumnDef& column) {
    if (column.type != ColumnType::Text && column.type != ColumnType::Memo) return std::nullopt;
    const auto order = index::IndexKeyEncoder::textSortOrder(column, db.format(), db.sortOrder());
    if (!order) return std::nullopt;
    return TextOrder(static_cast<uint8_t>(*order));
}

void TextOrder::appendKey(std::string_view utf8, std::vector<uint8_t>& out) const {
    const std::u16string text = index::IndexKeyEncoder::toUtf16(std::string(utf8));
    index::TextKeyEncoder::append(index::TextKeyEncoder::indexedPart(text),
                                  static_cast<index::TextSortOrder>(m_order), true, out);
}

}  // namespace jet
