// Copy, Cut and Paste of a table view: the clipboard's table text, and what pasting leaves in
// the file as the engine and mdbtool read it back.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#include <fstream>

#include "ClipboardTest.h"
#include "GridFixture.h"
#include "ViewFixture.h"
#include "Jet4ImageBuilder.h"
#include "ModalDriver.h"
#include "grid/ClipboardText.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "jet/Database.h"
#include "jet/SchemaChange.h"
#include "res/ResourceIds.h"

using grid::ClipboardText;
using Lines = std::vector<ClipboardText::Line>;
Q_DECLARE_METATYPE(Lines)

namespace {

using gridtest::colHeaderPoint;
using gridtest::openView;
using gridtest::rowHeaderPoint;

std::vector<uint8_t> buildImage() {
    using B = jettest::Jet4ImageBuilder;
    using jet::ColumnType;
    B b;
    b.addTable("People", {{"Name", ColumnType::Text, false, 50},
                          {"Age", ColumnType::Long},
                          {"Born", ColumnType::DateTime},
                          {"Note", ColumnType::Memo, false}},
               {B::Index{"PrimaryKey", {{0, true}}, 0x89, jet::IndexKind::Primary}});
    return b.build();
}

jet::DateTime at(int y, int mo, int d, int h, int mi, int s) {
    return jet::DateTime::fromParts({y, mo, d, h, mi, s});
}

void clickRowHeader(CDataGrid& grid, int row, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(grid.verticalHeader()->viewport(), Qt::LeftButton, mods,
                      rowHeaderPoint(grid, row));
}

void clickColHeader(CDataGrid& grid, int col) {
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(grid, col));
}

QString clip() {
    return QGuiApplication::clipboard()->text();
}

// The table's rows as mdbtool exports them (CSV), header first.
QStringList exported(const QString& path, const QString& table) {
    QProcess p;
    p.start(QStringLiteral(TESSOR_MDBTOOL), {QStringLiteral("export"), path, table});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {QStringLiteral("<failed>")};
    return QString::fromUtf8(p.readAllStandardOutput())
        .split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
}

// The table's rows as the engine reads them, each as its fields' texts joined by '|'.
QStringList rowsOf(const QString& path, const QString& table) {
    auto view = openView(path, table);
    if (!view) return {QStringLiteral("<failed>")};
    auto rs = view->GetRecordset();
    QStringList out;
    for (long r = 0; r < rs->recordCount(); ++r) {
        QStringList fields;
        for (size_t f = 0; f < rs->columns().size(); ++f)
            fields << QString::fromStdString(rs->textAt(r, f));
        out << fields.join(QLatin1Char('|'));
    }
    return out;
}

}  // namespace

void ClipboardTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->path() + QStringLiteral("/people.mdb");
    const std::vector<uint8_t> image = buildImage();
    std::ofstream(m_path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    jet::OpenOptions rw;
    rw.readOnly = false;
    auto db = jet::Database::open(m_path.toStdString(), rw);
    db->transact([&] {
        db->insertRow("People", {std::string("Ann"), int32_t(42), at(2008, 3, 15, 14, 5, 9),
                                 jet::Value()});
        db->insertRow("People", {std::string("Bob"), jet::Value(), jet::DateTime{0.0},
                                 std::string("tab\there\r\nand a line")});
        db->insertRow("People", {std::string("Cid"), int32_t(-7), at(1999, 12, 31, 0, 0, 0),
                                 std::string("it's")});
        db->insertRow("People", {std::string("Dee"), int32_t(0), jet::Value(), jet::Value()});
    });
}

void ClipboardTest::textForm_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QString>("joined");  // what the lines join to again
    QTest::addColumn<QString>("cell");    // what one cell takes of the text

    QTest::newRow("two records") << "a\tb\r\nc\td" << Lines{{"a", "b"}, {"c", "d"}}
                                 << "a\tb\r\nc\td" << "a";
    QTest::newRow("final CR LF starts no line")
        << "a\tb\r\nc\td\r\n" << Lines{{"a", "b"}, {"c", "d"}} << "a\tb\r\nc\td" << "a";
    QTest::newRow("empty text is one empty piece") << "" << Lines{{""}} << "" << "";
    QTest::newRow("leading empty values of a column")
        << "\r\n\r\nx" << Lines{{""}, {""}, {"x"}} << "\r\n\r\nx" << "";
    QTest::newRow("empty last field") << "Ann\t42\t2008/03/15 14:05:09\t"
                                      << Lines{{"Ann", "42", "2008/03/15 14:05:09", ""}}
                                      << "Ann\t42\t2008/03/15 14:05:09\t" << "Ann";
    QTest::newRow("lone LF ends a line too")
        << "x\ny\n" << Lines{{"x"}, {"y"}} << "x\r\ny" << "x";
    QTest::newRow("lone CR is text") << "a\rb" << Lines{{"a\rb"}} << "a\rb" << "a";
    // A memo holding TAB and a line break goes out unchanged and comes back cut.
    QTest::newRow("memo with TAB and line break")
        << "tab\there\r\nand" << Lines{{"tab", "here"}, {"and"}} << "tab\there\r\nand" << "tab";
    QTest::newRow("cell stops at the line break")
        << QStringLiteral("one\r\ntwo\tthree") << Lines{{"one"}, {"two", "three"}}
        << "one\r\ntwo\tthree" << "one";
    QTest::newRow("UTF-8 passes") << QStringLiteral("Grüße\t東京")
                                  << Lines{{"Grüße", "東京"}} << QStringLiteral("Grüße\t東京")
                                  << QStringLiteral("Grüße");
}

void ClipboardTest::textForm() {
    QFETCH(QString, text);
    QFETCH(Lines, lines);
    QFETCH(QString, joined);
    QFETCH(QString, cell);
    const std::string utf8 = text.toStdString();
    QCOMPARE(ClipboardText::split(utf8), lines);
    QCOMPARE(QString::fromStdString(ClipboardText::join(lines)), joined);
    QCOMPARE(QString::fromStdString(std::string(ClipboardText::cellPiece(utf8))), cell);
}

void ClipboardTest::copyAndCutPickRecordsColumnOrCell() {
    auto view = openView(m_path, QStringLiteral("People"));
    QVERIFY(view);
    CDataGrid& grid = view->GetGrid();
    auto rs = view->GetRecordset();
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    // Records in the order picked: text, number, date and null as the engine writes them; the
    // zero date is empty; a memo goes out unchanged.
    clickRowHeader(grid, 2);
    clickRowHeader(grid, 0, Qt::ControlModifier);
    clickRowHeader(grid, 1, Qt::ControlModifier);
    QVERIFY(view->OnCommand(res::ID_EDIT_COPY));
    QCOMPARE(clip(), QStringLiteral("Cid\t-7\t1999/12/31 00:00:00\tit's\r\n"
                                    "Ann\t42\t2008/03/15 14:05:09\t\r\n"
                                    "Bob\t\t\ttab\there\r\nand a line"));

    // A column from the first record to the last, null values as empty lines.
    clickColHeader(grid, 2);
    QCOMPARE(grid.GetCol(), short(-1));
    QVERIFY(view->OnCommand(res::ID_EDIT_COPY));
    QCOMPARE(clip(), QStringLiteral("2008/03/15 14:05:09\r\n\r\n1999/12/31 00:00:00\r\n"));
    // Cutting a column would delete the field; without that command there is no cut.
    QVERIFY(!view->HandlesCommand(res::ID_EDIT_CUT));

    // The selected text of the cell being edited.
    grid.SetRow(2);
    grid.SetCol(3);
    grid.SetSelStart(0);
    grid.SetSelLength(2);
    QVERIFY(view->OnCommand(res::ID_EDIT_CUT));
    QCOMPARE(clip(), QStringLiteral("it"));
    QCOMPARE(grid.GetSelText(), QString());
    grid.SetEditActive(false);
    QCOMPARE(QString::fromStdString(rs->textAt(2, 3)), QStringLiteral("'s"));

    // Cut records: copied, then gone after the question.
    QStringList told;
    clickRowHeader(grid, 3);
    gridtest::answerNext(QMessageBox::Yes, &told);
    QVERIFY(view->OnCommand(res::ID_EDIT_CUT));
    QCOMPARE(told, QStringList({QStringLiteral("Delete Record?")}));
    QCOMPARE(clip(), QStringLiteral("Dee\t0\t\t"));
    QCOMPARE(rs->recordCount(), 3L);
}

void ClipboardTest::pasteWritesRecordsAndReportsRefusals() {
    {
        auto view = openView(m_path, QStringLiteral("People"));
        QVERIFY(view);
        // From the picked record on: the first line has a piece too many; the second a name
        // the key refuses; the third a piece the number field refuses; the fourth has no record
        // left and is dropped.
        clickRowHeader(view->GetGrid(), 1);
        QCOMPARE(view->GetRecordset()->position(), 1L);
        QGuiApplication::clipboard()->setText(
            QStringLiteral("Cy\t8\t\t\textra\r\nAnn\t1\r\n"
                           "Di\tmany\t2001/02/03 04:05:06\tnote\r\nnone\r\n"));
        QStringList told;
        gridtest::answerNext(QMessageBox::Ok, &told);
        QVERIFY(view->OnCommand(res::ID_EDIT_PASTE));
        QCOMPARE(told.size(), 1);
        const QStringList said = told[0].split(QLatin1Char('\n'));
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[0].startsWith(QStringLiteral("Line 2: ")), qPrintable(said[0]));
        QVERIFY2(said[1].startsWith(QStringLiteral("Line 3: ")), qPrintable(said[1]));
        QCOMPARE(view->GetRecordset()->position(), 3L);
    }
    // What the file holds: the refused number left as it was, the rest of its record written;
    // the refused record unchanged; nothing added.
    QCOMPARE(rowsOf(m_path, QStringLiteral("People")),
             QStringList({QStringLiteral("Ann|42|2008/03/15 14:05:09|"),
                          QStringLiteral("Cy|8||"),
                          QStringLiteral("Cid|-7|1999/12/31 00:00:00|it's"),
                          QStringLiteral("Di|0|2001/02/03 04:05:06|note")}));
}

void ClipboardTest::pasteColumnStopsAtTheFirstRefusal() {
    {
        auto view = openView(m_path, QStringLiteral("People"));
        QVERIFY(view);
        CDataGrid& grid = view->GetGrid();
        clickColHeader(grid, 1);
        // One value a line, up to the line's first TAB; the final line break adds no line.
        QGuiApplication::clipboard()->setText(QStringLiteral("1\r\n2\tignored\r\n3\r\n"));
        QVERIFY(view->OnCommand(res::ID_EDIT_PASTE));
        QCOMPARE(view->GetSelCol(), short(1));
        QCOMPARE(view->GetGrid().GetCol(), short(-1));
        QCOMPARE(view->GetRecordset()->position(), 0L);

        // A refusal ends the column there: the value before it is kept, none after it written.
        QGuiApplication::clipboard()->setText(QStringLiteral("10\r\nx\r\n30"));
        QStringList told;
        gridtest::answerNext(QMessageBox::Ok, &told);
        QVERIFY(view->OnCommand(res::ID_EDIT_PASTE));
        QCOMPARE(told.size(), 1);
        QVERIFY(told[0].startsWith(QStringLiteral("Line 2: ")));
    }
    QStringList ages;
    for (const QString& row : rowsOf(m_path, QStringLiteral("People")))
        ages << row.section(QLatin1Char('|'), 1, 1);
    QCOMPARE(ages, QStringList({"10", "2", "3", "0"}));
}

void ClipboardTest::customersRoundTrip() {
    const QString path = gridtest::copyCorpusFile(QStringLiteral("jet4-northwind-statdata.mdb"),
                                                  m_dir->path());
    if (path.isEmpty()) QSKIP("the corpus is not beside this checkout");
    constexpr int kRecords = 1000;
    {
        // Customers grows to 1,000 records from its own, each with a key of its own; an empty
        // copy of the table gets as many records without values.
        jet::OpenOptions rw;
        rw.readOnly = false;
        auto db = jet::Database::open(path.toStdString(), rw);
        // A line break inside a value would cut its record in two on the way back (the text
        // has no quoting): such values are made one line first.
        std::vector<std::vector<jet::Value>> rows;
        std::vector<std::pair<jet::RowId, std::vector<jet::Value>>> broken;
        db->forEachRow("Customers", [&](jet::RowId id, const std::vector<jet::Value>& values) {
            rows.push_back(values);
            bool changed = false;
            for (jet::Value& v : rows.back())
                if (auto* s = std::get_if<std::string>(&v.v))
                    for (size_t at; (at = s->find("\r\n")) != std::string::npos; changed = true)
                        s->replace(at, 2, " ");
            if (changed) broken.emplace_back(id, rows.back());
            return true;
        });
        QVERIFY(!broken.empty());
        for (const auto& [id, values] : broken)
            db->updateRow("Customers", id, values);
        QVERIFY(!rows.empty());
        jet::NewTable copy{"Customers Copy", {}, {}};
        for (const jet::ColumnDef& c : db->tableDef("Customers").columns)
            copy.columns.push_back({c.name, c.type, static_cast<uint16_t>(c.length / 2)});
        db->transact([&] {
            for (int i = static_cast<int>(rows.size()); i < kRecords; ++i) {
                std::vector<jet::Value> values = rows[static_cast<size_t>(i) % rows.size()];
                values[0] = std::string("Z") + std::to_string(10000 + i).substr(1);
                db->insertRow("Customers", values);
            }
            db->createTable(copy);
            const std::vector<jet::Value> blank(copy.columns.size());
            for (int i = 0; i < kRecords; ++i)
                db->insertRow("Customers Copy", blank);
        });
    }
    {
        auto from = openView(path, QStringLiteral("Customers"));
        QVERIFY(from);
        QCOMPARE(from->GetRecordset()->recordCount(), long(kRecords));
        clickRowHeader(from->GetGrid(), 0);
        clickRowHeader(from->GetGrid(), kRecords - 1, Qt::ShiftModifier);
        QVERIFY(from->OnCommand(res::ID_EDIT_COPY));
    }
    {
        auto to = openView(path, QStringLiteral("Customers Copy"));
        QVERIFY(to);
        clickRowHeader(to->GetGrid(), 0);
        // Answers a box that should not come, and goes with this scope, so it cannot take
        // the box of a later test.
        gridtest::BoxAnswerer boxes;
        QVERIFY(to->OnCommand(res::ID_EDIT_PASTE));
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('\n'))));
    }
    QStringList source = exported(path, QStringLiteral("Customers"));
    const QStringList copied = exported(path, QStringLiteral("Customers Copy"));
    QCOMPARE(copied.size(), kRecords + 1);
    QCOMPARE(copied, source.mid(0, kRecords + 1));
}
