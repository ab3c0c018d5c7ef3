#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/Database.h"
#include "jet/Format.h"
#include "jet/Schema.h"
#include "jet/Value.h"

namespace jettest {

// Builds small database images byte by byte, independently of the engine's reader, so that the
// reader can be tested on a fresh clone and on precisely damaged files. Jet 4 by default; built
// as Jet 3 (Access 97: 2 KB pages, one-byte row offsets, text in code page 1252) it also holds
// the other system tables and the containers of a real file, and fills every index tree with
// the keys of its rows (numbers, and text of letters, digits and spaces).
class Jet4ImageBuilder {
public:
    struct Column {
        std::string name;
        jet::ColumnType type;
        bool fixed = true;
        uint16_t length = 0;  // 0: the type's natural size
        uint8_t extraFlags = 0;
        uint8_t extFlags = 0;
        uint8_t precision = 0;
        uint8_t scale = 0;
    };
    struct Index {
        std::string name;
        std::vector<std::pair<uint16_t, bool>> columns;  // column id, ascending
        uint8_t flags = 0;
        jet::IndexKind kind = jet::IndexKind::Normal;
        // A relationship: the related table (as addTable numbers it) and its logical index.
        int relatedTable = -1;
        uint8_t fkTableType = 0;  // 1: this table is the primary side, 2: the secondary side
        int32_t relatedIndex = -1;
        uint8_t cascadeUpdates = 0;
        uint8_t cascadeDeletes = 0;  // 0x01 delete, 0x02 set null
    };
    // A stored field: nullopt-like `null`, raw bytes, or a yes/no value.
    struct Cell {
        bool null = true;
        bool flag = false;
        std::vector<uint8_t> bytes;
    };
    struct RowOptions {
        int columnCount = -1;  // store fewer columns, as rows written before ADD COLUMN
        bool deleted = false;
        bool moved = false;       // store the data on another page behind an overflow pointer
        bool noVarTable = false;  // as written before the table had variable columns
    };

    static Cell null() { return {}; }
    static Cell yes(bool v) { return Cell{false, v, {}}; }
    static Cell raw(std::vector<uint8_t> b) { return Cell{false, false, std::move(b)}; }
    static Cell i16(int16_t v);
    static Cell i32(int32_t v);
    static Cell i64(int64_t v);
    static Cell f64(double v);
    static Cell f32(float v);
    static Cell utf16(const std::u16string& s);
    // Compressed form: FF FE then one byte per character (all characters must be < U+0100).
    static Cell compressed(const std::string& latin1);
    // Jet 3 text: the bytes as given, in the code page (Windows-1252).
    static Cell codePage(const std::string& bytes) {
        return raw(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }

    explicit Jet4ImageBuilder(jet::Format format = jet::Format::Jet4);

    // Returns the table number used by addRow(); columns get ids in the given order.
    int addTable(const std::string& name, std::vector<Column> columns,
                 std::vector<Index> indexes = {});
    void addRow(int table, std::vector<Cell> cells) {
        addRow(table, std::move(cells), RowOptions());
    }
    void addRow(int table, std::vector<Cell> cells, RowOptions options);
    // Adds an MSysObjects row that is no local table (query, linked table...).
    void addCatalogRow(const std::string& name, int16_t type, uint32_t flags = 0);
    // Long values of a Memo/OLE column, stored on LVAL pages of that column; returns the
    // 12-byte descriptor to put in the row. A looping chain ends by pointing at its start.
    static Cell longValueInline(const std::vector<uint8_t>& data);
    Cell longValueSingle(int table, const std::string& column, const std::vector<uint8_t>& data);
    Cell longValueChain(int table, const std::string& column, const std::vector<uint8_t>& data,
                        size_t chunk, bool loop = false);

    void setPassword(const std::u16string& password) { m_password = password; }
    void setDatabaseKey(uint32_t key) { m_key = key; }
    void setCreationDate(double d) { m_created = d; }
    // Stores a property blob (MSysObjects.LvProp) with the table's catalog row.
    void setTableProperties(int table, std::vector<uint8_t> blob) {
        m_tables[table].properties = std::move(blob);
    }
    // Makes the table's page maps (and the database's free-page map) reach this many pages, so
    // that the table can grow that far (the maps otherwise reach just past the built file).
    void setMapReach(int table, uint32_t pages) { m_tables[table].mapReach = pages; }
    // Overrides the row count stored in a table's definition.
    void setStoredRowCount(int table, uint32_t count) { m_tables[table].storedCount = count; }
    // The last AutoNumber value the table's definition says was issued (default: its row count).
    void setLastAutoNumber(int table, uint32_t value) { m_tables[table].lastAutoNumber = value; }

    std::vector<uint8_t> build();
    // The image built and written to a file at `path`, opened there for writing.
    std::unique_ptr<jet::Database> buildFile(const std::string& path);

    // Page numbers, valid after build().
    uint32_t tdefPage(int table) const { return m_tables[table].tdefPage; }
    uint32_t dataPage(int table) const { return m_tables[table].dataPage; }
    uint32_t lvalPage(int table, const std::string& column) const;

    static constexpr uint32_t kPageSize = 4096;  // of a Jet 4 image
    uint32_t pageSize() const { return m_pageSize; }
    jet::Format format() const { return m_format; }

private:
    struct Table {
        std::string name;
        std::vector<Column> columns;
        std::vector<Index> indexes;
        std::vector<std::pair<std::vector<Cell>, RowOptions>> rows;
        std::map<std::string, uint32_t> lvalPages;  // column → its LVAL page
        uint32_t tdefPage = 0;
        uint32_t dataPage = 0;
        uint32_t overflowPage = 0;
        int64_t storedCount = -1;
        int64_t lastAutoNumber = -1;
        uint32_t mapReach = 0;
        bool system = false;
        std::vector<uint8_t> properties;
    };
    struct CatalogRow {
        std::string name;
        int32_t id;
        int16_t type;
        uint32_t flags;
    };

    bool jet3() const { return m_format == jet::Format::Jet3; }
    uint32_t allocPage();
    std::vector<uint8_t>& page(uint32_t n) { return m_pages[n]; }
    void initDataPage(std::vector<uint8_t>& p, uint32_t owner) const;
    // Adds a row to a data page; returns its slot number.
    uint8_t addToPage(std::vector<uint8_t>& p, const std::vector<uint8_t>& row,
                      uint16_t flags = 0) const;
    std::vector<uint8_t> encodeRow(const Table& t, const std::vector<Cell>& cells,
                                   const RowOptions& options) const;
    // The entry key of a row in an index (null when the index leaves the row out).
    bool indexKey(const Table& t, const Index& x, const std::vector<Cell>& cells,
                  std::vector<uint8_t>& key) const;
    // An index leaf holding the given (key, row pointer) entries.
    void writeLeaf(uint32_t leaf, uint32_t owner, std::vector<std::vector<uint8_t>> entries);
    void writeTdef(const Table& t, uint32_t ownedMap, uint32_t freeMap,
                   const std::vector<uint32_t>& indexMaps, const std::vector<uint32_t>& indexRoots,
                   const std::vector<uint32_t>& distinctKeys,
                   const std::map<uint16_t, uint32_t>& lvMaps, uint32_t rowCount);
    uint32_t addMap(const std::vector<uint32_t>& pages, uint32_t reach = 0);
    uint32_t lvalPageFor(int table, const std::string& column);
    void writeHeader();

    jet::Format m_format;
    uint32_t m_pageSize;
    uint32_t m_countAt;  // where a data page keeps its row count; the row offsets follow
    std::vector<std::vector<uint8_t>> m_pages;
    std::vector<Table> m_tables;
    std::vector<CatalogRow> m_extraCatalog;
    std::u16string m_password;
    uint32_t m_key = 0;
    double m_created = 40000.5;
    uint32_t m_mapPage = 3;
};

// An Access 97 file as the Jet 3 write tests take it when they run without the corpus: tables
// "Kunden" (a field of every Access 97 type; a primary key, a text index and a two-field
// index; long values inline, on one page and chained; a deleted and a moved record), "Notizen"
// (AutoNumber, text, memo) and "Posten" (numbers under a non-unique index), with the system
// tables, containers and catalog indexes Access 97 writes, optionally a password.
std::vector<uint8_t> builtAccess97Image(const std::u16string& password = u"");

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v);
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v);
uint16_t get16(const std::vector<uint8_t>& b, size_t at);
uint32_t get32(const std::vector<uint8_t>& b, size_t at);

}  // namespace jettest
