// The find dialog on a record view over a real file: which record each Find Next reaches, what
// it selects in the cell, what it tells the user, and its options kept in the real settings
// file from one table to the next.
#include "provider/Recordset.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <fstream>

#include "Jet4ImageBuilder.h"
#include "SearchDlgTest.h"
#include "ViewFixture.h"
#include "grid/SearchDlg.h"
#include "jet/Database.h"
#include "lang/IniFile.h"
#include "res/ResourceIds.h"

using gridtest::BoxAnswerer;
using gridtest::openView;

namespace {

template <typename W>
W* controlOf(QWidget* dlg, int id) {
    for (W* w : dlg->findChildren<W*>())
        if (w->property("controlId").toInt() == id) return w;
    return nullptr;
}

struct Step {
    const char* what;
    int field;
    const char* text;
    bool up;
    bool whole;
    int row;           // the grid's row afterwards
    const char* told;  // the message shown, or ""
    const char* sel;   // the text selected in the cell afterwards, or "" for none
};

}  // namespace

void SearchDlgTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_CONFIG_HOME", (m_dir->path() + QStringLiteral("/config")).toLocal8Bit());
    m_path = m_dir->path() + QStringLiteral("/people.mdb");
    using B = jettest::Jet4ImageBuilder;
    using jet::ColumnType;
    B b;
    b.addTable("People", {{"Last Name", ColumnType::Text, false, 50},
                          {"Qty", ColumnType::Long},
                          {"Born", ColumnType::DateTime}});
    b.addTable("Other", {{"A", ColumnType::Text, false, 50}});
    const std::vector<uint8_t> image = b.build();
    std::ofstream(m_path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    jet::OpenOptions rw;
    rw.readOnly = false;
    auto db = jet::Database::open(m_path.toStdString(), rw);
    db->transact([&] {
        int32_t qty = 0;
        for (const char* name : {"Bob", "Joanna", "O'Brien", "ANNA", "Zed"})
            db->insertRow("People", {std::string(name), ++qty, jet::Value()});
        db->insertRow("Other", {std::string("x")});
    });
}

void SearchDlgTest::findNextWalksTheRecords() {
    auto view = openView(m_path, QStringLiteral("People"));
    QVERIFY(view);
    CDataGrid& grid = view->GetGrid();
    QVERIFY(view->OnCommand(res::ID_EDIT_FIND));
    CSearchDlg* dlg = view->GetSearchDlg();
    QVERIFY(dlg && dlg->isVisible() && !dlg->isModal());
    // One dialog per view.
    QVERIFY(view->OnCommand(res::ID_EDIT_FIND));
    QCOMPARE(view->GetSearchDlg(), dlg);
    QComboBox* fields = dlg->FieldCombo();
    QCOMPARE(fields->count(), 3);
    QCOMPARE(fields->itemText(0), QStringLiteral("Last Name"));
    QCOMPARE(fields->currentIndex(), 0);
    QVERIFY(!controlOf<QLineEdit>(dlg, res::IDC_REPLACE_TEXT)->isVisibleTo(dlg));
    QVERIFY(!controlOf<QCheckBox>(dlg, res::IDC_MATCH_CASE)->isVisibleTo(dlg));

    const QString cant = QStringLiteral("Can't find any record");
    BoxAnswerer boxes;
    // Each step starts where the one before it left the grid; the grid starts on Bob.
    const Step steps[] = {
        {"part of a name, any case", 0, "ann", false, false, 1, "", "ann"},
        {"the next hit", 0, "ann", false, false, 3, "", "ANN"},
        {"none after the last: the last record", 0, "ann", false, false, 4, "Can't find any record", ""},
        {"and again", 0, "ann", false, false, 4, "Can't find any record", ""},
        {"up", 0, "ann", true, false, 3, "", "ANN"},
        {"up again", 0, "ann", true, false, 1, "", "ann"},
        {"none before the first: the first record", 0, "ann", true, false, 0, "Can't find any record", ""},
        {"an apostrophe", 0, "o'b", false, false, 2, "", "O'B"},
        {"whole field", 0, "anna", false, true, 3, "", ""},
        {"a number field", 1, "5", false, false, 4, "", ""},
        {"a number field, backwards", 1, "2", true, false, 1, "", ""},
        {"a bad number: the provider's words, nothing moves", 1, "abc", false, false, 1, "*", ""},
        {"a date field is not searched", 2, "2000/01/01", false, false, 1, "", ""},
    };
    for (const Step& s : steps) {
        fields->setCurrentIndex(s.field);
        dlg->FindEdit()->setText(QString::fromUtf8(s.text));
        controlOf<QRadioButton>(dlg, s.up ? res::IDC_DIRECTION_UP : res::IDC_DIRECTION_DOWN)
            ->setChecked(true);
        controlOf<QCheckBox>(dlg, res::IDC_MATCH_WHOLE)->setChecked(s.whole);
        QTest::mouseClick(controlOf<QPushButton>(dlg, res::IDC_FIND_NEXT), Qt::LeftButton);
        const QStringList told = boxes.take();
        const QString what = QString::fromUtf8(s.what);
        QVERIFY2(grid.GetRow() == s.row, qPrintable(what + QStringLiteral(": row ") +
                                                    QString::number(grid.GetRow())));
        QCOMPARE(view->GetRecordset()->position(), s.row);
        const QString expected = QString::fromUtf8(s.told);
        if (expected == QLatin1String("*"))
            QVERIFY2(told.size() == 1 && !told[0].isEmpty() && told[0] != cant, qPrintable(what));
        else
            QVERIFY2(told == (expected.isEmpty() ? QStringList() : QStringList{expected}),
                     qPrintable(what + QStringLiteral(": ") + told.join(QLatin1Char('|'))));
        if (*s.sel) {
            QVERIFY2(grid.GetEditActive(), qPrintable(what));
            QCOMPARE(grid.GetSelText(), QString::fromUtf8(s.sel));
        }
    }
}

void SearchDlgTest::optionsFollowTheUserAcrossTables() {
    const QString ini = m_dir->path() + QStringLiteral("/config/Vexa/Corvane/Corvane.ini");
    {
        auto view = openView(m_path, QStringLiteral("People"));
        QVERIFY(view);
        // The find text is what is selected in the cell when the command comes.
        view->GetGrid().SetRow(1);
        view->GetGrid().SetSelStart(1);
        view->GetGrid().SetSelLength(3);
        QVERIFY(view->OnCommand(res::ID_EDIT_FIND));
        CSearchDlg* dlg = view->GetSearchDlg();
        QVERIFY(dlg);
        QCOMPARE(dlg->FindEdit()->text(), QStringLiteral("oan"));
        QVERIFY(controlOf<QRadioButton>(dlg, res::IDC_DIRECTION_DOWN)->isChecked());
        controlOf<QRadioButton>(dlg, res::IDC_DIRECTION_UP)->setChecked(true);
        controlOf<QCheckBox>(dlg, res::IDC_MATCH_WHOLE)->setChecked(true);
        QTest::keyClick(dlg, Qt::Key_Escape);
        QVERIFY(!view->GetSearchDlg());
        QTRY_VERIFY(!dlg->isVisible());
    }
    QString value;
    QVERIFY(IniFile::readValue(ini, QStringLiteral("Find Dialog"), QStringLiteral("Direction"),
                               &value));
    QCOMPARE(value, QStringLiteral("0"));
    QVERIFY(IniFile::readValue(ini, QStringLiteral("Find Dialog"), QStringLiteral("Whole"),
                               &value));
    QCOMPARE(value, QStringLiteral("1"));

    // Another table, in another view: the options come back. A dialog still open when its view
    // goes writes them too.
    {
        auto view = openView(m_path, QStringLiteral("Other"));
        QVERIFY(view);
        QVERIFY(view->OnCommand(res::ID_EDIT_FIND));
        CSearchDlg* dlg = view->GetSearchDlg();
        QVERIFY(dlg);
        QVERIFY(controlOf<QRadioButton>(dlg, res::IDC_DIRECTION_UP)->isChecked());
        QVERIFY(controlOf<QCheckBox>(dlg, res::IDC_MATCH_WHOLE)->isChecked());
        QCOMPARE(dlg->FieldCombo()->itemText(0), QStringLiteral("A"));
        controlOf<QRadioButton>(dlg, res::IDC_DIRECTION_DOWN)->setChecked(true);
    }
    QVERIFY(IniFile::readValue(ini, QStringLiteral("Find Dialog"), QStringLiteral("Direction"),
                               &value));
    QCOMPARE(value, QStringLiteral("1"));
}
