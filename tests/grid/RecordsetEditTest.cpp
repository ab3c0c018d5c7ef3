// Typing into the record grid of a table view, saved through the recordset into a database
// the test builds; the file is read back with a fresh engine open once the view let it go.
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/ValueText.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

#include <fstream>

#include "ModalDriver.h"
#include "RecordsetEditTest.h"
#include "WriteFixture.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetModel.h"
#include "grid/RecordsetView.h"
#include "jet/Database.h"
#include "res/ResourceIds.h"

namespace ado = tessor::provider::ado;

namespace {

// Columns of People (see WriteFixture.h).
constexpr short kId = 0;
constexpr short kShort = 3;
constexpr short kName = 10;
constexpr short kNotes = 12;

QLineEdit* editorOf(CDataGrid& grid) {
    for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) return e;
    return nullptr;
}

// Replaces the whole text of a cell as the user would and leaves the cell (the grid commits).
void typeInto(CDataGrid& grid, long row, short col, const QString& text) {
    grid.SetRow(row);
    grid.SetCol(col);
    grid.SetEditActive(true);
    QLineEdit* editor = editorOf(grid);
    QVERIFY(editor);
    // Typed by key where the test can type it; other letters arrive as input does.
    editor->selectAll();
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(editor, c.toLatin1());
        else
            editor->insert(QString(c));
    }
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor commits and closes from the event loop.
    QTRY_VERIFY(!grid.GetEditActive());
}

std::vector<jet::Value> fileRow(const QString& path, size_t row) {
    auto db = jet::Database::open(path.toStdString());
    jet::TableData data = db->readTable("People");
    return row < data.rows.size() ? data.rows[row] : std::vector<jet::Value>();
}

size_t fileRowCount(const QString& path) {
    return jet::Database::open(path.toStdString())->readTable("People").rows.size();
}

std::string textOf(const jet::Value& v) {
    if (auto p = v.getIf<std::string>()) return *p;
    if (auto p = v.getIf<int16_t>()) return std::to_string(*p);
    if (auto p = v.getIf<int32_t>()) return std::to_string(*p);
    return v.isNull() ? "<null>" : "<other>";
}

std::unique_ptr<CRecordsetView> openView(const QString& path) {
    auto view = std::make_unique<CRecordsetView>();
    view->resize(900, 400);
    view->show();
    view->OnInitialUpdate();
    if (!view->OpenRecordset(path, QStringLiteral("People"), {})) return nullptr;
    return view;
}

}  // namespace

void RecordsetEditTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->path() + QStringLiteral("/people.mdb");
    const std::vector<uint8_t> image = jettest::buildPeopleImage();
    std::ofstream(m_path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    // Two records: Id 1 and 2, Short 0 and 3, Name "name-0" and "name-1".
    jet::OpenOptions rw;
    rw.readOnly = false;
    auto db = jet::Database::open(m_path.toStdString(), rw);
    for (int i = 0; i < 2; ++i)
        db->insertRow("People", jettest::peopleRow(i, 10 + i, 0));
}

void RecordsetEditTest::cellEditLandsInFile() {
    {
        auto view = openView(m_path);
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        auto rs = view->GetRecordset();
        typeInto(grid, 1, kName, QStringLiteral("Zo\u00EB"));
        QVERIFY(!grid.GetEditActive());
        // Saved: the grid's buffer is empty and the row shows what the recordset holds.
        QVERIFY(!grid.GetDataChanged());
        QCOMPARE(grid.RecordModel()->editRow(), -1);
        QCOMPARE(rs->textAt(1, kName), std::string("Zo\xC3\xAB"));
        QCOMPARE(grid.model()->index(1, kName).data().toString(), QStringLiteral("Zo\u00EB"));
        QCOMPARE(rs->editMode(), ado::kEditNone);

        // The stored form shows, not the typed one.
        typeInto(grid, 0, kShort, QStringLiteral(" 41.6 "));
        QCOMPARE(grid.model()->index(0, kShort).data().toString(), QStringLiteral("42"));
    }
    const auto first = fileRow(m_path, 0);
    const auto second = fileRow(m_path, 1);
    QCOMPARE(textOf(second[kName]), std::string("Zo\xC3\xAB"));
    QCOMPARE(textOf(first[kShort]), std::string("42"));
    QCOMPARE(textOf(first[kName]), std::string("name-0"));
    QCOMPARE(fileRowCount(m_path), size_t(2));
}

void RecordsetEditTest::refusedValueShowsProvidersWordsAndChangesNothing() {
    {
        auto view = openView(m_path);
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        auto rs = view->GetRecordset();
        QStringList shown;
        onNextModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box) shown << box->text();
            w->close();
        });
        typeInto(grid, 1, kShort, QStringLiteral("lots"));
        QTRY_COMPARE(shown.size(), 1);
        // The provider's own description, naming the field and the value.
        std::string expected;
        try {
            tessor::provider::ValueText::fromText("lots", rs->columns()[kShort]);
        } catch (const tessor::provider::ProviderError& e) {
            expected = e.description();
        }
        QVERIFY(!expected.empty());
        QCOMPARE(shown[0], QString::fromStdString(expected));
        // The typed text waits in the grid for mending; the recordset has nothing pending.
        QVERIFY(grid.GetDataChanged());
        QCOMPARE(grid.model()->index(1, kShort).data().toString(), QStringLiteral("lots"));
        QCOMPARE(rs->textAt(1, kShort), std::string("3"));
        QCOMPARE(rs->editMode(), ado::kEditNone);

        // Leaving the row drops the typed text; the stored value shows again.
        grid.SetRow(0);
        QCOMPARE(grid.model()->index(1, kShort).data().toString(), QStringLiteral("3"));
        // AutoNumbers are the database's: a refusal too.
        shown.clear();
        onNextModal([&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) shown << box->text();
            w->close();
        });
        typeInto(grid, 0, kId, QStringLiteral("77"));
        QTRY_COMPARE(shown.size(), 1);
        QVERIFY(shown[0].contains(QStringLiteral("AutoNumber")));
        QCOMPARE(rs->textAt(0, kId), std::string("1"));
    }
    QCOMPARE(textOf(fileRow(m_path, 1)[kShort]), std::string("3"));
    QCOMPARE(textOf(fileRow(m_path, 0)[kId]), std::string("1"));
}

void RecordsetEditTest::typingIntoNewRecordLineAddsRecord() {
    {
        auto view = openView(m_path);
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        auto rs = view->GetRecordset();
        grid.SetRow(grid.GetApproxCount());
        grid.SetCol(kName);
        QCOMPARE(grid.GetAddNewMode(), CDataGrid::dbgAddNewCurrent);
        QCOMPARE(view->CanDoCommand(2), false);
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_N);
        QLineEdit* editor = editorOf(grid);
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("ewbie"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!grid.GetEditActive());

        // A record now, in the row typed into, numbered by the database, the line below it.
        QCOMPARE(rs->recordCount(), 3L);
        QCOMPARE(grid.GetApproxCount(), 3L);
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(grid.GetRow(), 2L);
        QCOMPARE(grid.GetAddNewMode(), CDataGrid::dbgNoAddNew);
        QVERIFY(!grid.GetDataChanged());
        QCOMPARE(grid.model()->index(2, kName).data().toString(), QStringLiteral("newbie"));
        QCOMPARE(grid.model()->index(2, kId).data().toString(), QStringLiteral("3"));
        QCOMPARE(rs->bookmark(), 3L);

        // A further cell of the same record changes it; no second record is made.
        typeInto(grid, 2, kShort, QStringLiteral("5"));
        QCOMPARE(rs->recordCount(), 3L);
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(rs->textAt(2, kShort), std::string("5"));
    }
    QCOMPARE(fileRowCount(m_path), size_t(3));
    const auto added = fileRow(m_path, 2);
    QCOMPARE(textOf(added[kId]), std::string("3"));
    QCOMPARE(textOf(added[kName]), std::string("newbie"));
    QCOMPARE(textOf(added[kShort]), std::string("5"));
}

void RecordsetEditTest::longAndMultiLineMemosSurviveTheEditor() {
    const std::string longMemo(40000, 'q');
    {
        jet::OpenOptions rw;
        rw.readOnly = false;
        auto db = jet::Database::open(m_path.toStdString(), rw);
        jet::TableData data = db->readTable("People");
        std::vector<jet::Value> row = data.rows[0];
        row[kNotes] = jet::Value(longMemo);
        db->updateRow("People", data.rowIds[0], row);
        row = data.rows[1];
        row[kNotes] = jet::Value(std::string("first\r\nsecond"));
        db->updateRow("People", data.rowIds[1], row);
    }
    {
        auto view = openView(m_path);
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        QSignalSpy updates(&grid, &CDataGrid::AfterColUpdate);
        // Opened and left without a change: nothing is written.
        for (long row : {0L, 1L}) {
            grid.SetRow(row);
            grid.SetCol(kNotes);
            grid.SetEditActive(true);
            QVERIFY(editorOf(grid));
            QTest::keyClick(editorOf(grid), Qt::Key_Return);
            QTRY_VERIFY(!grid.GetEditActive());
        }
        QCOMPARE(updates.count(), 0);
        // One character added to the long memo: all of it is saved. (Enter moved the cursor on
        // to the next cell.)
        grid.SetRow(0);
        grid.SetCol(kNotes);
        grid.SetEditActive(true);
        QLineEdit* editor = editorOf(grid);
        QVERIFY(editor);
        editor->end(false);
        QTest::keyClick(editor, Qt::Key_Z);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(updates.count(), 1);
    }
    QCOMPARE(textOf(fileRow(m_path, 0)[kNotes]), longMemo + "z");
    QCOMPARE(textOf(fileRow(m_path, 1)[kNotes]), std::string("first\r\nsecond"));
}

void RecordsetEditTest::commandsRouteWhileTheirGroupIsPossible() {
    auto view = openView(m_path);
    QVERIFY(view);
    CDataGrid& grid = view->GetGrid();
    int deletes = 0;
    int modifies = 0;
    // Without its handler Find is not handled, however possible.
    view->SetCommandHandler(res::ID_EDIT_FIND, {});
    QVERIFY(view->CanDoCommand(3));
    QVERIFY(!view->HandlesCommand(res::ID_EDIT_FIND));
    QVERIFY(!view->OnCommand(res::ID_EDIT_FIND));
    view->SetCommandHandler(res::ID_RECORD_DELETE, [&] { ++deletes; });
    view->SetCommandHandler(res::ID_FIELD_MODIFY, [&] { ++modifies; });
    QCOMPARE(CRecordsetView::CommandGroup(res::ID_RECORD_DELETE), 2);
    QCOMPARE(CRecordsetView::CommandGroup(res::ID_FIELD_MODIFY), -1);

    grid.SetRow(1);
    QVERIFY(view->HandlesCommand(res::ID_RECORD_DELETE));
    QVERIFY(view->OnCommand(res::ID_RECORD_DELETE));
    QCOMPARE(deletes, 1);
    // On the new-record line Delete Record is not possible: not handled, not run.
    grid.SetRow(grid.GetApproxCount());
    QVERIFY(!view->HandlesCommand(res::ID_RECORD_DELETE));
    QVERIFY(!view->OnCommand(res::ID_RECORD_DELETE));
    QCOMPARE(deletes, 1);
    // A command no group decides runs whenever it has a handler.
    QVERIFY(view->OnCommand(res::ID_FIELD_MODIFY));
    QCOMPARE(modifies, 1);
    view->SetCommandHandler(res::ID_FIELD_MODIFY, {});
    QVERIFY(!view->HandlesCommand(res::ID_FIELD_MODIFY));
}
