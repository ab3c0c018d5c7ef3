#pragma once

#include <functional>
#include <unordered_set>
#include <vector>

#include "base/TextCodec.h"
#include "jet/Database.h"
#include "page/Pager.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// Walks a table's live rows through its owned-pages map, in page and slot order. Pages the map
// lists that belong to another table are skipped (the checker reports them); deleted slots are
// skipped; moved rows are followed to where their data lives.
class TableScanner {
public:
    TableScanner(Pager& pager, const TextCodec& text, const StoredTableDef& def)
        : m_pager(pager), m_text(text), m_def(def) {}

    // Calls back with each row; stops early when the callback returns false.
    void scan(const Database::RowCallback& callback);

    // Raw bytes of the row a slot stands for, after following overflow pointers. `hold` keeps the
    // page alive. Throws hr::kCorrupt for loops or bad pointers.
    // When `targets` is given, a moved row reached a second time is refused: each moved row
    // belongs to one slot, and sharing would let a small file stand for endless rows.
    static ByteView resolveRow(Pager& pager, const PageRef& page, uint16_t slot, PageRef& hold,
                               std::unordered_set<uint32_t>* targets = nullptr);

private:
    Pager& m_pager;
    const TextCodec& m_text;
    const StoredTableDef& m_def;
};

}  // namespace jet
