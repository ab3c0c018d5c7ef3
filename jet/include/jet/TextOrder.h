#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "jet/Schema.h"

namespace jet {

class Database;

// The order in which the database sorts the texts of one Text or Memo column: the order of
// the column's index keys. A program that sorts rows itself gets the database's order (and
// so the order of any index over the column) by comparing these keys.
class TextOrder {
public:
    // The order of `column`, a column of a table of `db`; none when the column holds no text
    // or uses a sort order whose keys this engine cannot build.
    static std::optional<TextOrder> of(const Database& db, const ColumnDef& column);

    // Appends the key of a UTF-8 text. Keys of two texts compare as unsigned bytes (a shorter
    // key that is the start of a longer one first) as the database orders the texts. Like an
    // index, a key covers the first 255 characters and ignores trailing blanks.
    void appendKey(std::string_view utf8, std::vector<uint8_t>& out) const;

private:
    explicit TextOrder(uint8_t order) : m_order(order) {}
    uint8_t m_order;
};

}  // namespace jet
