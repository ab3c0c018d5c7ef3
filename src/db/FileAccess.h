#pragma once

#include <QString>

#include <functional>

// Checks on a database file made before the program opens it.
namespace db {

// True when the file exists, is a regular file that may be written, and nobody holds it: no
// connection of this or another process has it open (such connections keep a lock on it). The
// file is opened for writing, without creating it, locked and closed again at once.
bool TestExclusive(const QString& path);

// Copies `from` to `to` so that the destination is either as it was or the whole copy: the bytes
// go to a temporary file in the destination's folder, which replaces the destination only when
// complete. False when the source cannot be read or the copy cannot be written whole.
// `progress`, when given, is told the bytes copied so far after each piece; when it returns
// false the copy stops, the destination stays as it was, and the result is false.
bool CopyFileWhole(const QString& from, const QString& to,
                   const std::function<bool(qint64 done)>& progress = {});

}  // namespace db
