#pragma once

#include <QString>

// A window that shows one table of a database file in the main window's client area.
namespace app {

class TableWindow {
public:
    virtual ~TableWindow() = default;

    // Shows `table` of the database at `path`, opened with `password` (empty for none).
    // Returns 0 when there is nothing to show it in.
    virtual int OpenTable(const QString& path, const QString& table, const QString& password) = 0;
};

}  // namespace app
