#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/Value.h"

namespace jet {

// A column to add to a table (Database::createTable, Database::addColumn).
struct NewColumn {
    std::string name;
    ColumnType type = ColumnType::Text;
    // Text: characters (1..255); Binary: bytes (1..255); ignored for other types.
    uint16_t length = 255;
    uint8_t precision = 18;  // Numeric only (1..28)
    uint8_t scale = 0;       // Numeric only (0..precision)
    bool required = false;   // NOT NULL
    // Long: an AutoNumber counter; Guid: filled with a new GUID on insert.
    bool autoNumber = false;
};

// An index to build over a table's rows (Database::createIndex, primary keys).
struct NewIndex {
    struct Column {
        std::string name;
        bool ascending = true;
    };
    std::string name;
    std::vector<Column> columns;  // 1 to 10
    bool primary = false;         // implies unique and no nulls
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;  // nulls refused (DISALLOW NULL)
};

struct NewTable {
    std::string name;
    std::vector<NewColumn> columns;  // may be empty
    std::vector<NewIndex> indexes;   // built after the columns (primary key among them)
};

// What a new database gets (Database::create).
struct NewDatabase {
    std::string password;  // empty: none
};

}  // namespace jet
