#pragma once

#include <functional>
#include <string_view>

#include "catalog/DatabaseImpl.h"
#include "jet/SchemaChange.h"
#include "page/PageSet.h"
#include "table/RowWriter.h"
#include "tdef/StoredTableDef.h"

namespace jet {

// The schema changes of an open database, each one change under the row writer's journal
// (joining a surrounding transact): everything is checked before anything is written, and a
// refusal or failure leaves the file as it was. Afterwards the catalog and the cached
// definitions are read again. On an Access 97 database tables and indexes are made and
// dropped in its own layout (names in the code page); fields are not added or dropped yet.
class SchemaEditor {
public:
    explicit SchemaEditor(Database& db);

    void createTable(const NewTable& table);
    void dropTable(std::string_view table);
    void addColumn(std::string_view table, const NewColumn& column);
    void dropColumn(std::string_view table, std::string_view column);
    void createIndex(std::string_view table, const NewIndex& index);
    void dropIndex(std::string_view table, std::string_view index);

private:
    // Runs body as one change and reads the catalog again, also when it fails.
    void run(const std::function<void()>& body);
    // A user table's definition, refusing system tables.
    const StoredTableDef& userTable(std::string_view table);
    // The definition as this change sees it, to be changed and written back.
    StoredTableDef fresh(const StoredTableDef& def);
    void rewriteRows(const std::string& table);
    void buildIndex(const std::string& table, const NewIndex& index);
    uint32_t sortOrder() const;
    // The code page Access 97 columns record; 0 for a Jet 4 database.
    uint16_t jet3CodePage() const;
    // Refuses, naming the character, a name an Access 97 database's code page cannot hold.
    void checkStorable(const std::string& name, const char* what) const;

    Database& m_db;
    Database::Impl& m_impl;
    RowWriter& m_writer;
};

}  // namespace jet
