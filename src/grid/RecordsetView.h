#pragma once

#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandTarget.h"
#include "grid/DataGrid.h"
#include "lang/LangText.h"
#include "res/Events.h"

class CSearchDlg;

namespace tessor::provider {
class Connection;
class Recordset;
}  // namespace tessor::provider

// The left pane of a table window (form 141): the record grid over the recordset of one table.
// It owns its connection and recordset from OpenRecordset until it is destroyed, holding the
// database file exclusively all that time; it saves what is typed into the grid record by
// record; it runs the table window's commands and answers which are possible, and posts
// its frame a notice when the current record changes (res::WM_RECORD_CHANGED) or the recordset
// was replaced (res::WM_RECORDSET_REPLACED).
//
// Life: construct, SetFrame, OnInitialUpdate, OpenRecordset (again after the table's columns
// changed); destruction unbinds the grid and closes recordset and connection.
class CRecordsetView : public QWidget, public app::CommandTarget {
    Q_OBJECT

public:
    using ConnectionPtr = std::shared_ptr<tessor::provider::Connection>;
    using RecordsetPtr = std::shared_ptr<tessor::provider::Recordset>;

    explicit CRecordsetView(QWidget* parent = nullptr);
    ~CRecordsetView() override;

    // The window the notices go to; none (the default) posts nothing. The frame must outlive
    // the view or be a QObject whose destruction the view can see; a dead frame gets nothing.
    void SetFrame(QObject* frame) { m_pFrame = frame; }
    QObject* GetFrame() const { return m_pFrame; }

    // Sets up the text lookup and makes fresh connection and recordset objects.
    void OnInitialUpdate();
    // (Re)opens the connection, exclusively, and the table's recordset, and binds it to the
    // grid. False, after telling the user the provider's description, when either refuses.
    bool OpenRecordset(const QString& path, const QString& table, const QString& password);
    // The last OpenRecordset was stopped by the user in its progress display: it said nothing
    // and holds no file.
    bool OpenWasCanceled() const { return m_openCanceled; }
    // Tables of this many rows or more show a progress display while they are read.
    static constexpr size_t kOpenProgressRows = 50000;
    // A new reference to the recordset; none before OnInitialUpdate.
    RecordsetPtr GetRecordset() const { return m_pRecordset; }
    // Whether a command group is possible now: 0 sort, 1 add record, 2 delete record, 3 find,
    // 4 copy, 5 cut, 6 paste; any other number is false.
    bool CanDoCommand(int nWhich);

    // Command routing (the table window asks its view first): a command runs here when a
    // handler is set for it and, for a command that one of the CanDoCommand groups decides,
    // while that group is possible.
    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override;
    // Sets (or, with an empty function, removes) the handler of a command. The view sets its
    // own for Add Record, Delete Record, Ascend and Descend.
    void SetCommandHandler(int id, std::function<void()> handler);
    // Whether a handler is set for the command, whatever the state of the table.
    bool HasCommandHandler(int id) const { return m_commands.contains(id); }
    // The CanDoCommand group that decides a command of the menus; -1 for any other.
    static int CommandGroup(int id);

    // Writes the values typed into the grid's current record through the recordset and saves
    // them (a new record is added). On a refusal the provider's description is shown (once
    // control is back in the event loop), the typed values stay in the grid and nothing is
    // saved; false then.
    bool SaveCurrentRecord();

    // The record commands. Add Record puts the cell cursor, editing, on the new-record line
    // (an empty table gets its new record through the recordset). Delete Record asks
    // "Delete Record?" unless the grid's delete key already asked, then deletes the picked
    // rows (or else the current record), all in one change of the file, reads the table again
    // and makes the record before the first deleted one current. Ascend and Descend sort the
    // recordset by the column last picked.
    void OnRecordAdd();
    void OnRecordDelete();
    void OnFieldAscend() { SortBySelCol(false); }
    void OnFieldDescend() { SortBySelCol(true); }

    // The clipboard commands. Each works on the picked rows when rows are picked, else on the
    // picked column when no single cell is current, else on the text of the current cell. The
    // text is the table form of grid::ClipboardText with the values in the value-as-text form.
    // Cut copies, then deletes what it copied: the records through Delete Record, the column
    // through Delete Field, the cell's selected text. Paste writes into the records from the
    // current one on (records), from the first one on (column), or into the cell's selection.
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();

    // Find: opens the view's one find dialog, on the column last picked (else the first) and
    // with the text selected in the current cell; nothing happens while the dialog is open.
    void OnEditFind();
    // The open find dialog, or null.
    CSearchDlg* GetSearchDlg() const;
    // Puts the grid's cell cursor on the recordset's current record, after the recordset was
    // moved behind the grid's back (a search).
    void FollowRecordset();

    // The context menu made by the last right press in the grid; null when that press made none
    // (a single cell was current). Rebuilt on every press.
    QMenu* GetContextMenu() const { return m_contextMenu; }

    // Posts the frame the notice that the recordset was reopened with other columns.
    void NotifyRecordsetReplaced() { PostNotice(res::WM_RECORDSET_REPLACED); }

    CDataGrid& GetGrid() { return m_grid; }
    short GetSelCol() const { return m_selCol; }
    const QString& GetPath() const { return m_strPath; }
    const QString& GetTable() const { return m_strTable; }
    const QString& GetPassword() const { return m_szPassword; }
    // After the database's password was changed on the open connection: later reopens use the
    // new one, and PasswordChanged tells the frame.
    void SetPassword(const QString& password);
    ConnectionPtr GetConnection() const { return m_pConnection; }

    // The texts of the connection and the command OpenRecordset uses.
    static QString ConnectionText(const QString& path, const QString& password);
    static QString CommandText(const QString& table);
    // The description of a provider failure, as the user is shown it: the provider's words.
    static QString ProviderText(const std::exception& e);

signals:
    void PasswordChanged(const QString& password);

protected:
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SortBySelCol(bool descending);
    enum class ClipTarget { Records, Column, Cell };
    ClipTarget ClipboardTarget();
    // The clipboard text of the picked records or of the picked column; nothing (after telling
    // the user) when the provider fails on the way.
    std::optional<std::string> CopyRecordsText();
    std::optional<std::string> CopyColumnText();
    // Copies; false when nothing was copied.
    bool CopyToClipboard(ClipTarget target);
    void PasteLines(long first, size_t firstField, std::vector<std::vector<std::string>> lines,
                    bool stopAtRefusal);
    void OnGridRButtonDown();
    void OnAfterColEdit(short colIndex);
    void OnKeyPress(short* keyAscii);
    void OnBeforeDelete(short* cancel);
    void OnError(short dataError, short* response);
    bool AskYesNo(const QString& key);
    void OnRowColChange(QVariant* lastRow, short lastCol);
    void OnHeadClick(short colIndex);
    void OnAfterDelete();
    void OnAfterColUpdate(short colIndex);
    void PostNotice(int message);
    void ShowMessage(const QString& text);
    void ShowProviderError(const std::exception& e);
    void OnFindSelect(int field, const QString& text);
    void OnFindClosed();

    ConnectionPtr m_pConnection;
    RecordsetPtr m_pRecordset;
    int m_askDelete = 1;            // 1: a delete request asks "Delete Record?" first
    QString m_strPath;              // database file of the shown table
    QString m_strTable;             // the shown table
    CLangText m_lang;               // section "Recordset View"
    QPointer<CSearchDlg> m_searchDlg;  // the modeless find dialog while it exists
    QString m_szPassword;           // database password, empty for none
    CDataGrid m_grid;               // control 1034
    QPointer<QObject> m_pFrame;     // receives the notices
    short m_selCol = -1;            // grid column last picked; -1 none
    int m_deleteConfirmed = 0;      // the user said Yes to a deletion the grid started
    int m_enterPressed = 0;         // Enter went to the grid; the cursor move is still due
    QPointer<QMenu> m_contextMenu;  // the grid's context menu of the last right press
    bool m_binding = false;         // OpenRecordset is putting the grid on the first record
    bool m_openCanceled = false;
    QHash<int, std::function<void()>> m_commands;  // command id -> handler
};
