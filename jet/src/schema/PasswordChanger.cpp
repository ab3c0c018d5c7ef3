#include "schema/PasswordChanger.h"

#include <memory>
#include <unordered_set>

#include "base/TextCodec.h"
#include "jet/Error.h"
#include "page/DataPage.h"
#include "page/PasswordField.h"
#include "page/SidKey.h"
#include "page/UsageMap.h"
#include "table/RowWriter.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

constexpr int kMaxOverflowHops = 8;

struct SidColumn {
    const char* table;
    const char* column;
};
// Where a Jet 4 database keeps security ids.
constexpr SidColumn kSidColumns[] = {{"MSysACEs", "SID"}, {"MSysObjects", "Owner"}};

// The byte range [first, second) of a variable column within a row; empty when null.
std::pair<size_t, size_t> variableField(const StoredTableDef& def, const StoredColumn& col,
                                        const ByteView& row) {
    const size_t len = row.size();
    const uint16_t colCount = row.u16(0);
    const size_t nm = (size_t(colCount) + 7) / 8;
    row.need(0, 2 + nm);
    if (col.id >= colCount) return {0, 0};
    const uint8_t* mask = row.data() + len - nm;
    if (((mask[col.id >> 3] >> (col.id & 7)) & 1) == 0) return {0, 0};
    if (def.varColumnCount == 0 || len < nm + 4) return {0, 0};
    const uint16_t varCount = row.u16(len - nm - 2);
    if (col.varIndex >= varCount) return {0, 0};
    if (len < nm + 4 + 2 * (size_t(varCount) + 1))
        throwCorrupt("a row of '" + def.name + "' is too short for its variable column table");
    const uint16_t a = row.u16(len - nm - 4 - 2 * col.varIndex);
    const uint16_t b = row.u16(len - nm - 4 - 2 * (col.varIndex + 1));
    if (b < a || b > len) throwCorrupt("a row of '" + def.name + "' has its fields out of order");
    return {a, b};
}

PageRef pageOf(PageSet& pages, uint32_t n) {
    if (n == 0 || n >= pages.pageCount())
        throwCorrupt("a row points to page " + std::to_string(n) + ", which does not exist");
    return std::make_shared<const Page>(n, pages.read(n));
}

// Re-masks every stored value of one SID column in place; SIDs keep their length, so no row
// moves and no index changes.
void remaskColumn(PageSet& pages, Database::Impl& db, const SidColumn& where, uint32_t oldKey,
                  uint32_t newKey) {
    if (!db.findTable(where.table)) return;
    const StoredTableDef& def = db.tableDef(where.table);
    const StoredColumn* col = nullptr;
    for (const StoredColumn& c : def.columns)
        if (namesEqual(c.name, where.column)) col = &c;
    if (!col || col->isFixed() || col->type != ColumnType::Binary) return;

    UsageMap owned = UsageMap::read(db.pager(), def.ownedMap);
    std::unordered_set<uint32_t> done;
    for (uint32_t pageNo : owned.pages()) {
        if (pageNo >= pages.pageCount()) continue;  // a map may reach past the file's end
        PageRef page = pageOf(pages, pageNo);
        if (page->type() != 0x01) continue;
        DataPage dp(page, Format::Jet4);
        if (dp.owner() != def.tdefPage) continue;
        for (uint16_t i = 0; i < dp.rowCount(); ++i) {
            DataPage::Slot s = dp.slot(i);
            if (s.deleted()) continue;
            PageRef hold = page;
            uint32_t at = pageNo, slotNo = i;
            for (int hop = 0; s.overflow(); ++hop) {
                if (hop == kMaxOverflowHops)
                    throwCorrupt("a moved row of '" + def.name + "' points round in a loop");
                uint32_t ptr = hold->view().u32(s.start);
                at = ptr >> 8;
                slotNo = ptr & 0xFF;
                hold = pageOf(pages, at);
                DataPage target(hold, Format::Jet4);
                s = target.slot(static_cast<uint16_t>(slotNo));
                s.raw &= static_cast<uint16_t>(~DataPage::kDeleted & ~DataPage::kOverflow);
            }
            // XOR-ing a value twice would undo it: each stored row is visited once.
            if (!done.insert(at << 8 | slotNo).second)
                throwCorrupt("two rows of '" + def.name + "' share their stored bytes");
            auto [a, b] = variableField(def, *col, hold->view().sub(s.start, s.length()));
            if (b <= a) continue;
            std::vector<uint8_t>& bytes = pages.modify(at);
            SidKey::remask(oldKey, newKey, bytes.data() + s.start + a, b - a);
        }
    }
}

}  // namespace

void PasswordChanger::change(Database::Impl& db, std::string_view oldPassword,
                             std::string_view newPassword) {
    if (db.options().readOnly || !db.writer())
        throw Error(hr::kReadOnly,
                    "The database is open read-only; open it for writing and exclusively to "
                    "set or remove its password.");
    if (!db.options().exclusive)
        throw Error(hr::kLocked,
                    "You must have the database opened for exclusive use to set or remove the "
                    "database password.");
    if (db.pager().isEncoded())
        throw Error(hr::kNotSupported,
                    "The password of an encoded database cannot be changed yet; decode the "
                    "database first.");
    const bool jet3 = db.format() == Format::Jet3;
    const TextCodec& text = db.text();
    // an unusable password is refused before anything
    if (jet3)
        PasswordField::encodeJet3(newPassword, text);
    else
        PasswordField::encode(newPassword);

    db.writer()->changePages([&](PageSet& pages) {
        std::vector<uint8_t> plain = pages.read(0);
        DatabaseHeader::obfuscate(plain.data(), plain.size(), db.format());
        const std::string current =
            jet3 ? PasswordField::readJet3(plain, text) : PasswordField::read(plain);
        if (current != oldPassword)
            throw Error(hr::kAuthFailed,
                        current.empty() ? "Not a valid password: the database has no password, "
                                          "so no old password may be given."
                                        : "Not a valid password: the old password given does "
                                          "not match the database password.");
        if (current == newPassword) return;
        if (jet3) {
            // Access 97 keeps no creation date to mask with; only the header keystream covers
            // the field, and security ids are left as they are.
            PasswordField::storeJet3(plain, newPassword, text);
            DatabaseHeader::obfuscate(plain.data(), plain.size(), Format::Jet3);
            pages.modify(0) = plain;
            return;
        }
        const uint32_t oldKey = SidKey::fold(plain);
        PasswordField::store(plain, newPassword);
        const uint32_t newKey = SidKey::fold(plain);
        if (oldKey != newKey)
            for (const SidColumn& c : kSidColumns)
                remaskColumn(pages, db, c, oldKey, newKey);
        DatabaseHeader::obfuscate(plain.data(), plain.size(), Format::Jet4);
        pages.modify(0) = plain;
    });
}

}  // namespace jet
