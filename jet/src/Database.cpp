#include "jet/Database.h"

#include <vector>

#include "catalog/DatabaseImpl.h"
#include "jet/Error.h"
#include "jet/Reopen.h"
#include "page/PosixFile.h"
#include "row/TableScanner.h"
#include "table/RowWriter.h"
#include "tx/Journal.h"
#include "tx/PosixJournalStore.h"

namespace jet {

std::unique_ptr<Database> Database::open(const std::filesystem::path& path,
                                         const OpenOptions& options) {
    return openFile(PosixFile::open(path, options.readOnly, options.exclusive), path, options,
                    std::make_shared<PosixJournalStore>(path));
}

std::unique_ptr<Database> Database::openFile(std::unique_ptr<FileIO> file,
                                             const std::filesystem::path& path,
                                             const OpenOptions& options,
                                             std::shared_ptr<JournalStore> journal) {
    if (journal) Journal::recover(*file, *journal, options.readOnly);
    uint64_t size = file->size();
    std::vector<uint8_t> first(static_cast<size_t>(std::min<uint64_t>(size, 4096)));
    file->read(0, first.data(), first.size());
    DatabaseHeader header = DatabaseHeader::parse(first.data(), first.size());
    if (!header.password.empty()) {
        if (options.password.empty())
            throw Error(hr::kAuthFailed,
                        "The database is protected by a password; no password was given.");
        if (options.password != header.password)
            throw Error(hr::kAuthFailed,
                        "Not a valid password: the password given does not "
                        "match the database password.");
    }
    auto pager = std::make_unique<Pager>(std::move(file), header.format, header.databaseKey);
    if (pager->pageCount() < 3)
        throw Error(hr::kCorrupt, "The database is damaged: the file holds only " +
                                      std::to_string(pager->pageCount()) +
                                      " pages, too few for its system tables.");
    auto impl = std::make_unique<Impl>(path, options, std::move(header), std::move(pager));
    impl->loadCatalog();
    if (!options.readOnly) {
        impl->startChanges(std::move(journal));
        impl->writer() = std::make_shared<RowWriter>(*impl, *impl->changes());
    }
    return std::unique_ptr<Database>(new Database(std::move(impl)));
}

Database::Database(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Database::~Database() = default;

const std::filesystem::path& Database::path() const {
    return m_impl->path();
}
Format Database::format() const {
    return m_impl->format();
}
uint32_t Database::pageSize() const {
    return m_impl->pager().pageSize();
}
uint32_t Database::pageCount() const {
    return m_impl->pager().pageCount();
}
uint16_t Database::codePage() const {
    return m_impl->header().codePage;
}
uint32_t Database::sortOrder() const {
    return m_impl->header().sortOrder;
}
DateTime Database::creationDate() const {
    return DateTime{m_impl->header().creationDate};
}
bool Database::hasPassword() const {
    return !m_impl->header().password.empty();
}
bool Database::isEncoded() const {
    return m_impl->header().databaseKey != 0;
}
bool Database::isReadOnly() const {
    return m_impl->options().readOnly;
}
bool Database::isExclusive() const {
    return m_impl->options().exclusive;
}

const std::vector<CatalogEntry>& Database::catalog() const {
    return m_impl->catalog();
}

std::vector<std::string> Database::tableNames(bool includeSystem) const {
    std::vector<std::string> names;
    for (const auto& e : m_impl->catalog()) {
        if (e.kind == ObjectKind::UserTable || (includeSystem && e.kind == ObjectKind::SystemTable))
            names.push_back(e.name);
    }
    return names;
}

const TableDef& Database::tableDef(std::string_view name) {
    return m_impl->described(name);
}

const TableDef& Database::tableDefAtPage(uint32_t tdefPage) {
    return m_impl->describedAtPage(tdefPage);
}

TableData Database::readTable(std::string_view name) {
    TableData data;
    data.def = tableDef(name);
    forEachRow(name, [&](RowId id, const std::vector<Value>& row) {
        data.rows.push_back(row);
        data.rowIds.push_back(id);
        return true;
    });
    return data;
}

void Database::forEachRow(std::string_view name, const RowCallback& callback) {
    const StoredTableDef& def = m_impl->tableDef(name);
    TableScanner(m_impl->pager(), m_impl->text(), def).scan(callback);
}

bool writeFailed(Database& db) {
    ChangeRunner* changes = implOf(db).changes();
    if (!changes) return false;
    // The runner refuses every change after a failed write with hr::kIoError, and only then.
    try {
        changes->checkWritable();
    } catch (const Error& e) {
        return e.code() == hr::kIoError;
    }
    return false;
}

const std::string& currentPassword(Database& db) {
    return implOf(db).header().password;
}

}  // namespace jet
