// The find dialog's criteria, run by the recordset's Find over a small table: names with blanks,
// quotes and wildcard characters in the find text are searched as typed.
#include "provider/Recordset.h"
#include "provider/RowStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "SearchCriterionTest.h"
#include "grid/FindSettings.h"
#include "grid/SearchCriterion.h"

using tessor::provider::ColumnInfo;
using tessor::provider::DataType;
using tessor::provider::Recordset;
using tessor::provider::RowStore;
using tessor::provider::Variant;
namespace ado = tessor::provider::ado;

namespace {

const char* const kNames[] = {"Joanna", "O'Brien", "50% * off", "a[b]c", "Ann#1", "ANNA", "x?y"};

std::shared_ptr<Recordset> people() {
    auto store = std::make_unique<RowStore>(std::vector<ColumnInfo>{
        {"Last Name", DataType::VarWChar, 50}, {"Qty", DataType::Integer, 4},
        {"Born", DataType::Date, 8}});
    int32_t n = 0;
    for (const char* name : kNames) {
        const std::vector<Variant> row{Variant(std::string(name)), Variant(++n), Variant::null()};
        store->appendRow(row);
    }
    auto rs = Recordset::create();
    rs->openSnapshot(std::move(store));
    return rs;
}

// Positions (1-based) of the records Find Next visits going down from the first record,
// skipping one each time; "none" when the field is not searched.
QString visited(Recordset& rs, const QString& field, int type, const QString& text, bool whole) {
    const auto crit =
        grid::SearchCriterion::make(field.toStdString(), type, text.toStdString(), whole);
    if (!crit) return QStringLiteral("none");
    QStringList hits;
    rs.moveFirst();
    rs.find(*crit, 0, ado::kSearchForward);
    while (!rs.isEOF()) {
        hits << QString::number(rs.position() + 1);
        rs.find(*crit, 1, ado::kSearchForward);
    }
    return hits.join(QLatin1Char(' '));
}

}  // namespace

void SearchCriterionTest::findsWhatWasTyped_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QString>("found");

    const int text = 202, number = 3, date = 7;
    QTest::newRow("part of a name with a blank, any case")
        << "Last Name" << text << "ann" << false << "1 5 6";
    QTest::newRow("whole field") << "Last Name" << text << "anna" << true << "6";
    QTest::newRow("apostrophe") << "Last Name" << text << "o'b" << false << "2";
    QTest::newRow("apostrophe, whole") << "Last Name" << text << "O'Brien" << true << "2";
    QTest::newRow("star is a star") << "Last Name" << text << "*" << false << "3";
    QTest::newRow("question mark is one") << "Last Name" << text << "?" << false << "7";
    QTest::newRow("hash is no digit") << "Last Name" << text << "#1" << false << "5";
    QTest::newRow("bracket is one") << "Last Name" << text << "[b]" << false << "4";
    QTest::newRow("number") << "Qty" << number << "3" << false << "3";
    QTest::newRow("number ignores whole") << "Qty" << number << "3" << true << "3";
    QTest::newRow("dates are not searched") << "Born" << date << "2000/01/01" << false << "none";
}

void SearchCriterionTest::findsWhatWasTyped() {
    QFETCH(QString, field);
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(bool, whole);
    QFETCH(QString, found);
    auto rs = people();
    QCOMPARE(visited(*rs, field, type, text, whole), found);
}

void SearchCriterionTest::settingsFileKeepsTheOptions() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME"), oldHome = qgetenv("HOME");
    auto restore = qScopeGuard([&] {
        if (oldXdg.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldXdg);
        qputenv("HOME", oldHome);
    });

    // The folder: beside the program for the old consumer systems, else the user's
    // configuration folder, made on the way; ~/.config without XDG_CONFIG_HOME.
    QCOMPARE(grid::FindSettings::Folder(3), QCoreApplication::applicationDirPath());
    qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/xdg")).toUtf8());
    const QString folder = grid::FindSettings::Folder(10);
    QCOMPARE(folder, dir.path() + QStringLiteral("/xdg/Vexa/Corvane"));
    QVERIFY(QFileInfo(folder).isDir());
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", (dir.path() + QStringLiteral("/home")).toUtf8());
    QCOMPARE(grid::FindSettings::Folder(4), dir.path() + QStringLiteral("/home/.config/Vexa/Corvane"));

    // Written and read back; the other lines of the file stay as they were.
    const QString path = grid::FindSettings::FilePath(folder);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("; mine\n[Other]\nWhole=7\n[find dialog]\ncase = 5\n\n[Last]\nX=1\n");
    }
    grid::FindSettings written;
    written.whole = 1;
    written.matchCase = 0;
    written.direction = 0;
    QVERIFY(written.Save(path));
    grid::FindSettings read;
    read.Load(path);
    QCOMPARE(read.whole, 1);
    QCOMPARE(read.matchCase, 0);
    QCOMPARE(read.direction, 0);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()),
             QStringLiteral("; mine\n[Other]\nWhole=7\n[find dialog]\nCase=0\nWhole=1\n"
                            "Direction=0\n\n[Last]\nX=1\n"));
    f.close();

    // Values as the platform reads integers: empty keeps the initial value, no digits is 0.
    {
        QFile g(path);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("[Find Dialog]\nWhole=\nCase=12x\nDirection=down\n");
    }
    grid::FindSettings odd;
    odd.Load(path);
    QCOMPARE(odd.whole, 0);
    QCOMPARE(odd.matchCase, 12);
    QCOMPARE(odd.direction, 0);
    // A missing file changes nothing; a file that cannot be written is no error.
    grid::FindSettings fresh;
    fresh.Load(dir.path() + QStringLiteral("/none.ini"));
    QCOMPARE(fresh.direction, 1);
    QVERIFY(!fresh.Save(dir.path() + QStringLiteral("/no/such/folder/Corvane.ini")));
}
