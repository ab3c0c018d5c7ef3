// The record commands, the grid's events and the context menu of a table view over a database
// the test builds; what the commands leave in the file is read back by other programs.
#include "provider/Recordset.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QScrollBar>
#include <QtTest>

#include <fstream>

#include "catalog/DatabaseImpl.h"
#include "tdef/StoredTableDef.h"
#include "ForeignReaders.h"
#include "Jet4ImageBuilder.h"
#include "ModalDriver.h"
#include "RecordCommandsTest.h"
#include "ViewFixture.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "index/IndexTree.h"
#include "jet/Database.h"
#include "lang/LangText.h"
#include "res/ResourceIds.h"

namespace ado = tessor::provider::ado;

namespace {

using gridtest::answerNext;
using gridtest::colHeaderPoint;
using gridtest::openView;
using gridtest::rowHeaderPoint;

// Words sorted by the database's text order, as its index over them holds them.
const std::vector<std::string> kWords = {
    "zebra",  "Apple", "apple pie", "äpfel", "co-op", "coop", "10", "9",  "_under", "Éclair",
    "eclair", "ab",    "a b",       "a-b",   "Zulu",  "1a",   "ß",  "ss", "MIXED",  "mixed two"};

std::vector<uint8_t> buildImage() {
    using B = jettest::Jet4ImageBuilder;
    using jet::ColumnType;
    using K = jet::IndexKind;
    B b;
    const int customers = 1, orders = 2;  // catalog is 0
    const B::Index pk{"PrimaryKey", {{0, true}}, 0x89, K::Primary};
    // A customer with orders cannot be deleted.
    b.addTable("Customers",
               {{"Id", ColumnType::Long},
                {"Last Name", ColumnType::Text, false, 100},
                {"Tag [x]", ColumnType::Text, false, 50}},
               {pk, B::Index{".rA", {{0, true}}, 0x89, K::Foreign, orders, 1, 1, 0, 0}});
    b.addTable(
        "Orders", {{"OrderId", ColumnType::Long}, {"CustomerId", ColumnType::Long}},
        {pk, B::Index{"CustomersOrders", {{1, true}}, 0x80, K::Foreign, customers, 2, 1, 0, 0}});
    b.addTable("Cards", {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, false, 50}});
    b.addTable("One", {{"A", ColumnType::Text, false, 50}});
    b.addTable("EmptyOne", {{"A", ColumnType::Text, false, 50}});
    b.addTable("EmptyTwo",
               {{"A", ColumnType::Text, false, 50}, {"B", ColumnType::Text, false, 50}});
    b.addTable("Words", {{"Id", ColumnType::Long}, {"Word", ColumnType::Text, false, 100}},
               {B::Index{"WordIdx", {{1, true}}, 0, K::Normal}});
    return b.build();
}

// Picks whole rows through their headers, the first alone, the others with Control.
void pickRows(CDataGrid& grid, const QList<int>& rows) {
    for (int i = 0; i < rows.size(); ++i)
        QTest::mouseClick(grid.verticalHeader()->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::KeyboardModifiers() : Qt::ControlModifier,
                          rowHeaderPoint(grid, rows[i]));
}

// The Id column (the first) of a table as mdbtools' mdb-export and our mdbtool read it;
// mdb-export's answer is empty when mdbtools is missing.
QStringList idsByMdbExport(const QString& path, const QString& table) {
    const jettest::ForeignTable t =
        jettest::readWithMdbExport(path.toStdString(), table.toStdString());
    if (!t.available) return {QStringLiteral("<mdbtools missing>")};
    QStringList ids;
    for (const auto& row : t.rows)
        ids << QString::fromStdString(row.at(0));
    return ids;
}

QStringList idsByMdbtool(const QString& path, const QString& table) {
    QProcess p;
    p.start(QStringLiteral(TESSOR_MDBTOOL), {QStringLiteral("export"), path, table});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {QStringLiteral("<failed>")};
    QStringList lines = QString::fromUtf8(p.readAllStandardOutput())
                            .split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    lines.removeFirst();  // header
    QStringList ids;
    for (const QString& line : lines)
        ids << line.section(QLatin1Char(','), 0, 0).remove(QLatin1Char('"'));
    return ids;
}

QStringList column(CDataGrid& grid, int col) {
    QStringList out;
    for (long r = 0; r < grid.GetApproxCount(); ++r)
        out << grid.model()->index(static_cast<int>(r), col).data().toString();
    return out;
}

QLineEdit* editorOf(CDataGrid& grid) {
    for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) return e;
    return nullptr;
}

// Texts of a menu's items, "-" for a separator, "(off)" after a greyed one.
QStringList itemsOf(const QMenu* menu) {
    QStringList items;
    if (!menu) return items;
    for (const QAction* a : menu->actions())
        items << (a->isSeparator()
                      ? QStringLiteral("-")
                      : a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)")));
    return items;
}

}  // namespace

void RecordCommandsTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->path() + QStringLiteral("/shop.mdb");
    const std::vector<uint8_t> image = buildImage();
    std::ofstream(m_path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    jet::OpenOptions rw;
    rw.readOnly = false;
    auto db = jet::Database::open(m_path.toStdString(), rw);
    db->transact([&] {
        const char* names[] = {"Smith", "jones", "Adams"};
        const char* tags[] = {"b", "c", "a"};
        for (int c = 1; c <= 3; ++c)
            db->insertRow("Customers",
                          {int32_t(c), std::string(names[c - 1]), std::string(tags[c - 1])});
        // Only the second customer has an order.
        db->insertRow("Orders", {int32_t(100), int32_t(2)});
        for (int i = 1; i <= 12; ++i)
            db->insertRow("Cards", {int32_t(i), "card " + std::to_string(i)});
        for (const char* a : {"x", "y", "z"})
            db->insertRow("One", {std::string(a)});
        for (size_t i = 0; i < kWords.size(); ++i)
            db->insertRow("Words", {int32_t(i + 1), kWords[i]});
    });
}

void RecordCommandsTest::deleteRecordRemovesExactlyThePickedRows() {
    QStringList asked;
    {
        auto view = openView(m_path, QStringLiteral("Cards"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        auto rs = view->GetRecordset();
        // Rows 3, 9 and 5 (1-based), picked in that order.
        pickRows(grid, {2, 8, 4});
        QCOMPARE(grid.GetSelBookmarks().GetCount(), 3L);

        answerNext(QMessageBox::No, &asked);
        QVERIFY(view->OnCommand(res::ID_RECORD_DELETE));
        QCOMPARE(asked, QStringList({QStringLiteral("Delete Record?")}));
        QCOMPARE(rs->recordCount(), 12L);

        answerNext(QMessageBox::Yes, &asked);
        QVERIFY(view->OnCommand(res::ID_RECORD_DELETE));
        QCOMPARE(asked.size(), 2);
        QCOMPARE(column(grid, 0), QStringList({"1", "2", "4", "6", "7", "8", "10", "11", "12"}));
        // The record before the first picked one is current.
        QCOMPARE(rs->position(), 1L);
        QCOMPARE(grid.GetRow(), 1L);

        // Without picked rows the current record goes, after its own question.
        grid.SetRow(0);
        answerNext(QMessageBox::Yes, &asked);
        QVERIFY(view->OnCommand(res::ID_RECORD_DELETE));
        QCOMPARE(asked.size(), 3);
        QCOMPARE(column(grid, 0).first(), QStringLiteral("2"));
        QCOMPARE(rs->textAt(rs->position(), 0), std::string("2"));
    }
    const QStringList left = {"2", "4", "6", "7", "8", "10", "11", "12"};
    QCOMPARE(idsByMdbtool(m_path, QStringLiteral("Cards")), left);
    const QStringList foreign = idsByMdbExport(m_path, QStringLiteral("Cards"));
    if (foreign != QStringList({QStringLiteral("<mdbtools missing>")})) QCOMPARE(foreign, left);
}

void RecordCommandsTest::gridDeleteKeyAsksOnce() {
    QStringList asked;
    {
        auto view = openView(m_path, QStringLiteral("Cards"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        pickRows(grid, {5, 1});
        grid.setFocus();
        answerNext(QMessageBox::Yes, &asked);
        QTest::keyClick(&grid, Qt::Key_Delete);
        // One question, though both the grid and Delete Record would ask.
        QTRY_COMPARE(grid.GetApproxCount(), 10L);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(column(grid, 0),
                 QStringList({"1", "3", "4", "5", "7", "8", "9", "10", "11", "12"}));

        pickRows(grid, {0});
        answerNext(QMessageBox::No, &asked);
        QTest::keyClick(&grid, Qt::Key_Delete);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(grid.GetApproxCount(), 10L);
    }
    QCOMPARE(idsByMdbtool(m_path, QStringLiteral("Cards")).size(), 10);
}

void RecordCommandsTest::refusedDeletionKeepsTheOnesBeforeIt() {
    QStringList asked;
    QStringList told;
    {
        auto view = openView(m_path, QStringLiteral("Customers"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        pickRows(grid, {0, 1, 2});
        answerNext(QMessageBox::Yes, &asked);
        // The refusal is told after the deletion; it is answered from the event loop.
        QTimer::singleShot(0, [&] { answerNext(QMessageBox::Ok, &told); });
        QVERIFY(view->OnCommand(res::ID_RECORD_DELETE));
        QTRY_COMPARE(told.size(), 1);
        // From the highest down: the third went, the second has an order and stays, and the
        // first was not tried.
        QVERIFY2(told[0].contains(QStringLiteral("related records")), qPrintable(told[0]));
        QCOMPARE(column(grid, 0), QStringList({"1", "2"}));
        QCOMPARE(view->GetRecordset()->recordCount(), 2L);
    }
    QCOMPARE(idsByMdbtool(m_path, QStringLiteral("Customers")), QStringList({"1", "2"}));
    QCOMPARE(idsByMdbtool(m_path, QStringLiteral("Orders")), QStringList({"100"}));
    const QStringList foreign = idsByMdbExport(m_path, QStringLiteral("Customers"));
    if (foreign != QStringList({QStringLiteral("<mdbtools missing>")}))
        QCOMPARE(foreign, QStringList({"1", "2"}));
}

void RecordCommandsTest::addRecordOpensTheNewRecordLine() {
    {
        auto view = openView(m_path, QStringLiteral("Cards"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        grid.SetCol(1);
        QVERIFY(view->OnCommand(res::ID_RECORD_ADD));
        QCOMPARE(grid.GetRow(), 12L);
        QCOMPARE(grid.GetCol(), short(0));
        QCOMPARE(grid.GetAddNewMode(), CDataGrid::dbgAddNewCurrent);
        QVERIFY(grid.GetEditActive());
        QCOMPARE(view->GetRecordset()->recordCount(), 12L);
    }
    {
        auto view = openView(m_path, QStringLiteral("EmptyTwo"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        QVERIFY(view->OnCommand(res::ID_RECORD_ADD));
        // The empty table's new record starts in the recordset.
        QCOMPARE(view->GetRecordset()->editMode(), ado::kEditAdd);
        QCOMPARE(grid.GetRow(), 0L);
        QCOMPARE(grid.GetCol(), short(0));
        QLineEdit* editor = editorOf(grid);
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("first"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(view->GetRecordset()->recordCount(), 1L);
    }
    QCOMPARE(idsByMdbtool(m_path, QStringLiteral("EmptyTwo")), QStringList({"first"}));
}

void RecordCommandsTest::enterAndWheelMoveTheCursor() {
    auto view = openView(m_path, QStringLiteral("Customers"));
    QVERIFY(view);
    CDataGrid& grid = view->GetGrid();
    auto typeAndEnter = [&](long row, short col, const QString& text) {
        grid.SetRow(row);
        grid.SetCol(col);
        grid.SetEditActive(true);
        QLineEdit* editor = editorOf(grid);
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!grid.GetEditActive());
    };
    // In the last column Enter goes to the first column of the next row.
    typeAndEnter(0, 2, QStringLiteral("t"));
    QCOMPARE(grid.GetRow(), 1L);
    QCOMPARE(grid.GetCol(), short(0));
    // Elsewhere one column to the right.
    typeAndEnter(1, 1, QStringLiteral("Brown"));
    QCOMPARE(grid.GetRow(), 1L);
    QCOMPARE(grid.GetCol(), short(2));
    QCOMPARE(view->GetRecordset()->textAt(1, 1), std::string("Brown"));
    // On a cell without an editor Enter moves at once.
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Return);
    QCOMPARE(grid.GetRow(), 2L);
    QCOMPARE(grid.GetCol(), short(0));
    QVERIFY(!grid.GetEditActive());

    // Narrow, so that columns hide at the right: the move scrolls them into view, and the
    // wrap to the next row scrolls back to the first column.
    view->resize(grid.verticalHeader()->width() + grid.columnWidth(0) + 20, 300);
    QTRY_VERIFY(grid.GetVisibleCols() < 3);
    typeAndEnter(0, 0, QStringLiteral("7"));
    QCOMPARE(grid.GetCol(), short(1));
    QVERIFY(grid.GetLeftCol() > 0);
    grid.SetCol(2);
    typeAndEnter(0, 2, QStringLiteral("u"));
    QCOMPARE(grid.GetRow(), 1L);
    QCOMPARE(grid.GetCol(), short(0));
    QCOMPARE(grid.GetLeftCol(), short(0));

    // One notch towards the user: one row down, whatever the platform's step.
    view->resize(400, grid.verticalHeader()->defaultSectionSize() * 2 + 40);
    QScrollBar* bar = grid.verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(0);
    const QPoint at = grid.viewport()->rect().center();
    QWheelEvent down(at, grid.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &down);
    QCOMPARE(bar->value(), 1);
    QWheelEvent up(at, grid.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &up);
    QCOMPARE(bar->value(), 0);
}

void RecordCommandsTest::contextMenuFollowsWhatIsPicked() {
    enum class Pick { Cell, Rows, Column };
    const QStringList none;
    // Cutting a column ends in Delete Field, so it is off while that is.
    const QStringList rowItems = {"Add Record", "Delete Record", "-", "Cut", "Copy", "Paste"};
    const QStringList oneField = {"Descent Sort", "Ascent Sort", "-", "Cut (off)",
                                  "Copy",         "Paste",       "-", "Primary Key (off)"};
    const QStringList threeFields = {
        "Descent Sort", "Ascent Sort", "-",     "Delete Field (off)", "-", "Cut (off)",
        "Copy",         "Paste",       "-",     "Primary Key (off)"};
    const QStringList emptyTwo = {"Delete Field (off)", "-", "Primary Key (off)"};
    const struct {
        const char* table;
        Pick pick;
        QStringList items;
    } cases[] = {
        {"Cards", Pick::Cell, none},      {"Cards", Pick::Rows, rowItems},
        {"One", Pick::Column, oneField},  {"Customers", Pick::Column, threeFields},
        {"EmptyOne", Pick::Column, none}, {"EmptyTwo", Pick::Column, emptyTwo},
    };
    for (const auto& c : cases) {
        const QString table = QString::fromLatin1(c.table);
        auto view = openView(m_path, table);
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        QWidget* target = grid.viewport();
        QPoint at = grid.visualRect(grid.model()->index(0, 0)).center();
        if (c.pick == Pick::Rows) {
            pickRows(grid, {1});
            target = grid.verticalHeader()->viewport();
            at = rowHeaderPoint(grid, 1);
        } else if (c.pick == Pick::Column) {
            target = grid.horizontalHeader()->viewport();
            at = colHeaderPoint(grid, 0);
            QTest::mouseClick(target, Qt::LeftButton, {}, at);
        }
        QPoint shownAt;
        bool looked = false;
        QTimer::singleShot(50, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                shownAt = popup->pos();
                popup->close();
            }
            looked = true;
        });
        QTest::mouseClick(target, Qt::RightButton, {}, at);
        QTRY_VERIFY(looked);
        QCOMPARE(itemsOf(view->GetContextMenu()), c.items);
        if (!c.items.isEmpty()) QCOMPARE(shownAt, target->mapToGlobal(at));
        // The press did not take the pick away.
        if (c.pick == Pick::Rows) QCOMPARE(grid.GetSelBookmarks().GetCount(), 1L);
        if (c.pick == Pick::Column) QCOMPARE(grid.GetCol(), short(-1));
    }

    // The texts are looked up in section "Recordset View" of the translation file beside the
    // program, on every press.
    {
        auto view = openView(m_path, QStringLiteral("One"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        const QString ini = CLangText::DefaultIniPath();
        QVERIFY(!QFile::exists(ini));
        {
            QFile file(ini);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Recordset View]\nAscent Sort=Tri croissant\n[Menu]\nCut=Couper\n");
        }
        const auto removeIni = qScopeGuard([&] { QFile::remove(ini); });
        QWidget* header = grid.horizontalHeader()->viewport();
        QTest::mouseClick(header, Qt::LeftButton, {}, colHeaderPoint(grid, 0));
        bool looked = false;
        QTimer::singleShot(50, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            looked = true;
        });
        QTest::mouseClick(header, Qt::RightButton, {}, colHeaderPoint(grid, 0));
        QTRY_VERIFY(looked);
        QCOMPARE(itemsOf(view->GetContextMenu()).mid(0, 4),
                 QStringList({"Descent Sort", "Tri croissant", "-", "Cut (off)"}));
    }

    // A chosen item runs its command, and the press that opened the menu does not undo it:
    // Add Record from the menu of a picked row, pressed on one of its cells.
    {
        auto cards = openView(m_path, QStringLiteral("Cards"));
        QVERIFY(cards);
        CDataGrid& g = cards->GetGrid();
        pickRows(g, {3});
        bool added = false;
        QTimer::singleShot(50, [&] {
            added = true;
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!popup) return;
            for (QAction* a : popup->actions())
                if (a->data().toInt() == res::ID_RECORD_ADD)
                    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(a).center());
        });
        QTest::mouseClick(g.viewport(), Qt::RightButton, {},
                          g.visualRect(g.model()->index(3, 1)).center());
        QTRY_VERIFY(added);
        QTRY_COMPARE(g.GetRow(), 12L);
        QCOMPARE(g.GetCol(), short(0));
        QVERIFY(g.GetEditActive());
    }

    // Ascent Sort on Customers' Last Name.
    auto view = openView(m_path, QStringLiteral("Customers"));
    QVERIFY(view);
    CDataGrid& grid = view->GetGrid();
    QWidget* header = grid.horizontalHeader()->viewport();
    QTest::mouseClick(header, Qt::LeftButton, {}, colHeaderPoint(grid, 1));
    bool chosen = false;
    QTimer::singleShot(50, [&] {
        chosen = true;
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!popup) return;
        for (QAction* a : popup->actions())
            if (a->data().toInt() == res::ID_FIELD_ASCEND)
                QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(a).center());
    });
    QTest::mouseClick(header, Qt::RightButton, {}, colHeaderPoint(grid, 1));
    QTRY_VERIFY(chosen);
    QTRY_COMPARE(column(grid, 1), QStringList({"Adams", "jones", "Smith"}));
}

void RecordCommandsTest::sortsByNamesWithBlanksAndBracketsInTheDatabasesOrder() {
    // The Ids of Words in the order of the index over Word, read before the view holds the file.
    QStringList indexOrder;
    {
        auto db = jet::Database::open(m_path.toStdString());
        jet::TableData data = db->readTable("Words");
        std::map<std::pair<uint32_t, uint8_t>, int32_t> idAt;
        for (size_t i = 0; i < data.rows.size(); ++i)
            idAt[{data.rowIds[i].page, data.rowIds[i].row}] = data.rows[i][0].as<int32_t>();
        const jet::StoredTableDef& def = jet::implOf(*db).tableDef("Words");
        QCOMPARE(def.realIndexes.size(), size_t(1));
        jet::index::IndexTree tree(jet::implOf(*db).pager(), def.realIndexes[0].firstPage,
                                   def.tdefPage);
        for (const jet::index::IndexEntry& e : tree.readEntries())
            indexOrder << QString::number(idAt.at({e.row.page, e.row.row}));
    }
    QCOMPARE(indexOrder.size(), int(kWords.size()));
    {
        auto view = openView(m_path, QStringLiteral("Words"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        QVERIFY(!view->CanDoCommand(0));
        QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                          colHeaderPoint(grid, 1));
        QCOMPARE(view->GetSelCol(), short(1));
        QVERIFY(view->OnCommand(res::ID_FIELD_ASCEND));
        QCOMPARE(column(grid, 0), indexOrder);
        // The picked column stays picked for the next sort.
        QCOMPARE(view->GetSelCol(), short(1));
        QVERIFY(view->OnCommand(res::ID_FIELD_DESCEND));
        QStringList reversed(indexOrder.rbegin(), indexOrder.rend());
        QCOMPARE(column(grid, 0).first(), reversed.first());
        QCOMPARE(column(grid, 0).last(), reversed.last());
    }
    auto view = openView(m_path, QStringLiteral("Customers"));
    QVERIFY(view);
    CDataGrid& grid = view->GetGrid();
    auto rs = view->GetRecordset();
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(grid, 1));
    QVERIFY(view->OnCommand(res::ID_FIELD_ASCEND));
    QCOMPARE(QString::fromStdString(rs->sort()), QStringLiteral("[Last Name] ASC"));
    QCOMPARE(column(grid, 1), QStringList({"Adams", "jones", "Smith"}));
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(grid, 2));
    QVERIFY(view->OnCommand(res::ID_FIELD_DESCEND));
    QCOMPARE(QString::fromStdString(rs->sort()), QStringLiteral("[Tag [x]]] DESC"));
    QCOMPARE(column(grid, 2), QStringList({"c", "b", "a"}));
}
