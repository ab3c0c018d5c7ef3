#pragma once

namespace tessor::provider {

// The numbers callers pass and test, as the application has always used them.
namespace ado {
// Object state (bit 1 = open)
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;
// Connection mode
inline constexpr int kModeUnknown = 0;
inline constexpr int kModeRead = 1;
inline constexpr int kModeReadWrite = 3;
inline constexpr int kModeShareExclusive = 12;
// Cursor location, type, lock type, command options
inline constexpr int kUseServer = 2;
inline constexpr int kUseClient = 3;
inline constexpr int kOpenStatic = 3;
inline constexpr int kLockReadOnly = 1;
inline constexpr int kLockPessimistic = 2;
inline constexpr long kCmdUnspecified = -1;
inline constexpr long kCmdText = 1;
inline constexpr long kCmdTable = 2;
inline constexpr long kCmdTableDirect = 512;
// Execute option: the statement returns no records
inline constexpr long kExecuteNoRecords = 128;
// Move start, find direction
inline constexpr int kBookmarkCurrent = 0;
inline constexpr int kBookmarkFirst = 1;
inline constexpr int kBookmarkLast = 2;
inline constexpr int kSearchForward = 1;
inline constexpr int kSearchBackward = -1;
// Which records a delete affects
inline constexpr int kAffectCurrent = 1;
// Edit mode of a recordset
inline constexpr int kEditNone = 0;
inline constexpr int kEditInProgress = 1;
inline constexpr int kEditAdd = 2;
// Schema rowsets
inline constexpr int kSchemaConstraintColumnUsage = 6;
inline constexpr int kSchemaIndexes = 12;
inline constexpr int kSchemaTables = 20;
inline constexpr int kSchemaForeignKeys = 27;
}  // namespace ado

}  // namespace tessor::provider
