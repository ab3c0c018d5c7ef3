#include "schema/CatalogRows.h"

#include <ctime>
#include <optional>

#include "index/IndexKeyEncoder.h"
#include "jet/Error.h"
#include "tdef/StoredTableDef.h"

namespace jet {

namespace {

constexpr const char* kObjects = "MSysObjects";
constexpr const char* kAces = "MSysACEs";
constexpr int16_t kTableType = 1;
// What Access grants on a table to each account it inherits from the Tables container
// (dbSecFullAccess with every right), when no other user table shows what to copy.
constexpr int32_t kFullAccess = 0x000FFFFF;

DateTime now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    DateTime::Parts p;
    p.year = local.tm_year + 1900;
    p.month = local.tm_mon + 1;
    p.day = local.tm_mday;
    p.hour = local.tm_hour;
    p.minute = local.tm_min;
    p.second = local.tm_sec;
    return DateTime::fromParts(p);
}

int32_t asInt(const Value& v) {
    if (auto p = v.getIf<int32_t>()) return *p;
    if (auto p = v.getIf<int16_t>()) return *p;
    return 0;
}

}  // namespace

int CatalogRows::column(const StoredTableDef& def, const char* name) const {
    for (size_t i = 0; i < def.columns.size(); ++i)
        if (namesEqual(def.columns[i].name, name)) return static_cast<int>(i);
    throwCorrupt(std::string("the system table ") + def.name + " lacks its " + name + " column");
}

void CatalogRows::addTable(const std::string& name, uint32_t tdefPage,
                           const std::vector<uint8_t>& properties) {
    const StoredTableDef& sys = implOf(m_db).tableDef(kObjects);
    const int cId = column(sys, "Id"), cParent = column(sys, "ParentId"),
              cName = column(sys, "Name"), cType = column(sys, "Type"),
              cFlags = column(sys, "Flags"), cCreate = column(sys, "DateCreate"),
              cUpdate = column(sys, "DateUpdate"), cOwner = column(sys, "Owner");
    // The owner a new table gets: that of the tables already there (the account that made the
    // database), else that of the database object itself.
    Value owner, dbOwner;
    std::vector<int32_t> userTables;
    m_db.forEachRow(kObjects, [&](RowId, const std::vector<Value>& row) {
        const int32_t type = asInt(row[cType]);
        const uint32_t flags = static_cast<uint32_t>(asInt(row[cFlags]));
        if (type == kTableType && flags == 0 && asInt(row[cParent]) == kTablesContainer) {
            if (owner.isNull()) owner = row[cOwner];
            userTables.push_back(asInt(row[cId]));
        }
        if (type == 2 && dbOwner.isNull()) dbOwner = row[cOwner];
        return true;
    });
    if (owner.isNull()) owner = dbOwner;

    std::vector<Value> row(sys.columns.size());
    const DateTime stamp = now();
    row[cId] = static_cast<int32_t>(tdefPage);
    row[cParent] = kTablesContainer;
    row[cName] = name;
    row[cType] = static_cast<int16_t>(kTableType);
    row[cFlags] = int32_t(0);
    row[cCreate] = stamp;
    row[cUpdate] = stamp;
    row[cOwner] = owner;
    if (!properties.empty()) row[column(sys, "LvProp")] = properties;
    m_writer.insert(kObjects, row);

    // Permissions: the same accounts and rights as an existing user table has, else every
    // account of the Tables container with full rights.
    const CatalogEntry* aceTable = implOf(m_db).findTable(kAces);
    if (!aceTable) return;
    const StoredTableDef& aces = implOf(m_db).tableDef(kAces);
    const int cObject = column(aces, "ObjectId"), cAcm = column(aces, "ACM");
    std::vector<std::vector<Value>> copied;
    for (int32_t source : userTables) {
        m_db.forEachRow(kAces, [&](RowId, const std::vector<Value>& r) {
            if (asInt(r[cObject]) == source) copied.push_back(r);
            return true;
        });
        if (!copied.empty()) break;
    }
    if (copied.empty()) {
        m_db.forEachRow(kAces, [&](RowId, const std::vector<Value>& r) {
            if (asInt(r[cObject]) != kTablesContainer) return true;
            std::vector<Value> x = r;
            x[cAcm] = kFullAccess;
            copied.push_back(std::move(x));
            return true;
        });
    }
    for (std::vector<Value>& r : copied) {
        r[cObject] = static_cast<int32_t>(tdefPage);
        for (size_t i = 0; i < aces.columns.size(); ++i)
            if (aces.columns[i].type == ColumnType::Bool && r[i].isNull()) r[i] = false;
        m_writer.insert(kAces, r);
    }
}

void CatalogRows::changedTable(uint32_t tdefPage, const std::function<void(PropertyBlob&)>& edit,
                               bool mustEdit) {
    const StoredTableDef& sys = implOf(m_db).tableDef(kObjects);
    const int cId = column(sys, "Id"), cType = column(sys, "Type"), cName = column(sys, "Name"),
              cUpdate = column(sys, "DateUpdate"), cProps = column(sys, "LvProp");
    std::optional<std::pair<RowId, std::vector<Value>>> found;
    m_db.forEachRow(kObjects, [&](RowId rowId, const std::vector<Value>& row) {
        const int32_t id32 = asInt(row[cId]);
        if (id32 > 0 && (uint32_t(id32) & 0x00FFFFFF) == tdefPage &&
            asInt(row[cType]) == kTableType) {
            found.emplace(rowId, row);
            return false;
        }
        return true;
    });
    if (!found)
        throwCorrupt("the table at page " + std::to_string(tdefPage) + " has no catalog row");
    std::vector<Value>& row = found->second;
    const std::string* name = row[cName].getIf<std::string>();
    const std::string table = "table '" + (name ? *name : std::string()) + "'";
    const Value before = row[cProps];
    if (edit) {
        const std::vector<uint8_t>* stored = row[cProps].getIf<std::vector<uint8_t>>();
        std::optional<PropertyBlob> blob =
            PropertyBlob::parse(stored ? *stored : std::vector<uint8_t>{},
                                m_db.format() == Format::Jet3 ? &implOf(m_db).text() : nullptr);
        if (blob) {
            edit(*blob);
            std::vector<uint8_t> bytes = blob->bytes();
            row[cProps] = bytes.empty() ? Value() : Value(std::move(bytes));
        } else if (mustEdit) {
            throw Error(hr::kNotSupported,
                        "The properties of " + table +
                            " are stored in a form this program cannot change, so its field "
                            "rules cannot be changed either.");
        }
    }
    // A catalog in a sort order whose index keys this engine cannot build takes no changed row:
    // the design change stands without a new date, unless it needs the properties changed.
    const std::string why = index::IndexKeyEncoder::tableCannotEncodeReason(
        sys, m_db.format(), implOf(m_db).header().sortOrder);
    if (!why.empty()) {
        if (!(row[cProps] == before))
            throw Error(hr::kNotSupported, "The field properties of " + table +
                                               " cannot be changed: " + why +
                                               (why.back() == '.' ? "" : "."));
        return;
    }
    row[cUpdate] = now();
    m_writer.forgetRules();  // the row holds the table's property blob
    m_writer.update(kObjects, found->first, row);
}

void CatalogRows::removeTable(uint32_t tdefPage) {
    auto removeWhere = [&](const char* table, const char* idColumn, bool tablesOnly) {
        if (!implOf(m_db).findTable(table)) return;
        const StoredTableDef& def = implOf(m_db).tableDef(table);
        const int cId = column(def, idColumn);
        const int cType = tablesOnly ? column(def, "Type") : -1;
        std::vector<RowId> doomed;
        m_db.forEachRow(table, [&](RowId id, const std::vector<Value>& row) {
            if ((static_cast<uint32_t>(asInt(row[cId])) & 0x00FFFFFF) == tdefPage &&
                asInt(row[cId]) > 0 && (cType < 0 || asInt(row[cType]) == kTableType))
                doomed.push_back(id);
            return true;
        });
        for (RowId id : doomed)
            m_writer.remove(table, id);
    };
    removeWhere(kObjects, "Id", true);
    removeWhere(kAces, "ObjectId", false);
}

bool CatalogRows::inRelationship(const std::string& table) {
    const char* kRelationships = "MSysRelationships";
    if (!implOf(m_db).findTable(kRelationships)) return false;
    const StoredTableDef& def = implOf(m_db).tableDef(kRelationships);
    const int cObject = column(def, "szObject"), cReferenced = column(def, "szReferencedObject");
    bool found = false;
    m_db.forEachRow(kRelationships, [&](RowId, const std::vector<Value>& row) {
        for (int c : {cObject, cReferenced})
            if (auto s = row[c].getIf<std::string>(); s && namesEqual(*s, table)) found = true;
        return !found;
    });
    return found;
}

}  // namespace jet
