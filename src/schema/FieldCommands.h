#pragma once

#include <QString>
#include <QStringList>

class CRecordsetView;
class QWidget;

namespace tessor::provider {
class Connection;
}

// The table-design commands of a table window: Modify Field, Delete Field, Primary Key, Add
// Print Info Fields and Set Password. Each runs its statements on the view's connection, one by
// one, each one whole or not at all, and shows a refusal as the provider's own description.
namespace schema {

// Sets the view's handlers of the five commands.
void InstallCommands(CRecordsetView* view);

void OnModifyField(CRecordsetView* view);
void OnDeleteField(CRecordsetView* view);
void OnPrimaryKey(CRecordsetView* view);
void OnAddPrintInfo(CRecordsetView* view);
void OnSetPassword(CRecordsetView* view);

// What the table's design says about its columns, read from the connection's schema rowsets.
// Names are compared exactly.
// The first column of the table's "PrimaryKey" constraint; empty when there is none.
QString PrimaryKeyColumn(tessor::provider::Connection& connection, const QString& table);
// Every column an index of the table names, one entry per index column.
QStringList IndexColumns(tessor::provider::Connection& connection, const QString& table);
// Every column of the table that a relationship uses, on either side.
QStringList RelationshipColumns(tessor::provider::Connection& connection, const QString& table);

// Runs the statements in order, as one change. A refusal is shown (as the provider's
// description, over `parent`) and the others still take effect, unless allOrNothing, when the
// first refusal leaves everything as it was. A change that cannot be written (a full disk) is
// shown and changes nothing. With `rows` at or above a few thousand, a progress dialog shows
// while they run, since each one rewrites every record. Returns how many took effect.
int RunStatements(QWidget* parent, tessor::provider::Connection& connection,
                  const QStringList& statements, long rows, bool allOrNothing = false);

}  // namespace schema
