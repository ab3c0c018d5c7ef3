#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Env.h"
#include "jet/Format.h"
#include "jet/Schema.h"
#include "jet/SchemaChange.h"
#include "jet/Value.h"

namespace jet {

struct OpenOptions {
    bool readOnly = true;
    // Exclusive holds a write lock (fcntl OFD) on the file while open, so every other open of it,
    // in this process or another, is refused; it needs write permission on the file. Shared holds
    // a read lock, which keeps exclusive opens out.
    bool exclusive = false;
    std::string password;  // database password; compared case-sensitively
};

// Where a row lives: data page and slot. For a moved (overflow) row this is its original slot,
// the one indexes point at.
struct RowId {
    uint32_t page = 0;
    uint8_t row = 0;
    bool operator==(const RowId&) const = default;
};

struct TableData {
    TableDef def;
    std::vector<std::vector<Value>> rows;  // each row: one Value per def.columns entry, same order
    std::vector<RowId> rowIds;             // parallel to rows
};

// An open .mdb file. Not thread-safe; one thread at a time. All methods throw jet::Error.
class Database {
public:
    class Impl;  // engine-internal

    // Opens Jet 4 and Jet 3 files, read-only or read-write. Refuses later and
    // non-Access formats (hr::kNotSupported), a missing or wrong password (hr::kAuthFailed),
    // a file locked elsewhere (hr::kLocked) and damaged files (hr::kCorrupt).
    static std::unique_ptr<Database> open(const std::filesystem::path& path,
                                          const OpenOptions& options = {});
    // Opens over a file already open (jet/Env.h): tests and fuzzers pass in-memory files.
    // With a journal store, a journal left by an interrupted change is rolled back first (a
    // read-only open refuses such a file, hr::kLocked) and rows can be changed; without one,
    // row changes are refused.
    static std::unique_ptr<Database> openFile(std::unique_ptr<FileIO> file,
                                              const std::filesystem::path& path,
                                              const OpenOptions& options,
                                              std::shared_ptr<JournalStore> journal = nullptr);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::filesystem::path& path() const;
    Format format() const;
    uint32_t pageSize() const;
    uint32_t pageCount() const;
    uint16_t codePage() const;      // database code page (1252 ...)
    uint32_t sortOrder() const;     // LCID in bits 0..15; Jet 4: sort id byte 2, version byte 3
    DateTime creationDate() const;  // Jet 3 files have none (0)
    bool hasPassword() const;
    bool isEncoded() const;  // pages RC4-encoded with the database key
    bool isReadOnly() const;
    bool isExclusive() const;

    // Every MSysObjects row, in stored order.
    const std::vector<CatalogEntry>& catalog() const;
    // Local tables (user tables, and system tables when asked), in catalog order.
    std::vector<std::string> tableNames(bool includeSystem = false) const;
    // Definition of a local table; name compared case-insensitively. Throws hr::kNotFound.
    // The reference stays valid while the Database lives.
    const TableDef& tableDef(std::string_view name);
    // Definition read from a TDEF page (for tables reached by page, e.g. foreign-key targets).
    const TableDef& tableDefAtPage(uint32_t tdefPage);

    // All live rows, in page/slot order.
    TableData readTable(std::string_view name);
    // Streams the rows without keeping them. The vector passed to the callback is reused between
    // rows; copy what must outlive the call. Return false from the callback to stop.
    using RowCallback = std::function<bool(RowId, const std::vector<Value>&)>;
    void forEachRow(std::string_view name, const RowCallback& callback);

    // Row changes (files opened for writing; Jet 3 text must fit the database's code page). Each call is atomic and durable: it either
    // happens completely or, after a failure or a crash, not at all. `values` holds one Value per
    // tableDef(table).columns entry, in that order. Values a field cannot hold are refused
    // (hr::kInvalidArg) and change nothing; AutoNumber fields take null and get their value here.
    // Adds a record and returns where it lives. With AutoNumbers::KeepGiven an AutoNumber field
    // that is given a value keeps it (rows read back in from an export) and the table's counter
    // moves past it; a null one is still assigned.
    enum class AutoNumbers : uint8_t { Assign, KeepGiven };
    RowId insertRow(std::string_view table, const std::vector<Value>& values,
                    AutoNumbers autoNumbers = AutoNumbers::Assign);
    // Replaces every field of the record (a RowId from readTable/forEachRow/insertRow); the
    // RowId stays valid even when the record has to move to another page.
    void updateRow(std::string_view table, RowId row, const std::vector<Value>& values);
    // Removes the record and frees its long values.
    void deleteRow(std::string_view table, RowId row);
    // Runs body as one change: every row change made inside it (and every schema change) reaches
    // the file together under one journal, or none does. Inside body, reads see the change so
    // far. If anything inside throws, nothing is written and the exception passes on; a refusal
    // that body catches still drops the whole change (transact then throws hr::kFail). Nested
    // calls join the outer change. Holds the file's write lock for its whole run.
    void transact(const std::function<void()>& body);

    // Schema changes (files opened for writing; on Jet 3 a Decimal field is refused,
    // hr::kNotSupported). Each is atomic like a row change and joins a surrounding transact().
    // Refusals (hr::kInvalidArg, hr::kNotFound, ...) carry a clear sentence and change nothing,
    // e.g. "Field 'B' already exists in table 'T'.".
    void createTable(const NewTable& table);
    void dropTable(std::string_view table);
    // Existing rows read the new column as null.
    void addColumn(std::string_view table, const NewColumn& column);
    // Refused for a column that an index uses.
    void dropColumn(std::string_view table, std::string_view column);
    // Builds the index from the existing rows; duplicates or nulls it forbids are refused.
    void createIndex(std::string_view table, const NewIndex& index);
    void dropIndex(std::string_view table, std::string_view index);
    // Sets, changes (both non-empty) or clears (newPassword empty) the database password, the
    // way Access does: page 0's password field and every stored SID (Access 97: the field only,
    // in the code page; a character it cannot hold is refused by name). Needs an exclusive open;
    // a wrong oldPassword is refused (hr::kAuthFailed).
    void changePassword(std::string_view oldPassword, std::string_view newPassword);

    // Writes a new, empty Jet 4 database at path (refused when the file exists).
    static void create(const std::filesystem::path& path, const NewDatabase& options = {});

private:
    friend class DatabaseInternals;  // the engine's own way in, in a private header
    explicit Database(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace jet
