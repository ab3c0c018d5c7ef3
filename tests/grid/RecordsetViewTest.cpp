#include "GridFixture.h"
#include "provider/Connection.h"
#include "provider/ProviderError.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "RecordsetViewTest.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"
#include "res/Events.h"

using namespace gridtest;
using tessor::provider::Connection;
using tessor::provider::ProviderError;
namespace ado = tessor::provider::ado;

namespace {

// A table window as the view sees one: a plain object that notes the notices posted to it.
class FrameProbe : public QObject {
public:
    bool event(QEvent* e) override {
        const int wm = res::windowMessage(e->type());
        if (wm == res::WM_RECORD_CHANGED || wm == res::WM_RECORDSET_REPLACED) {
            notices << wm;
            return true;
        }
        return QObject::event(e);
    }
    QList<int> notices;
};

// Answers the next message box with OK and keeps its text; gives up (closing whatever is up)
// after a few seconds so that a failing test cannot hang in the box's event loop.
class MessageCatcher {
public:
    MessageCatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->accept();
            } else if (++m_ticks > 500) {
                m_timer.stop();
            }
        });
        m_timer.start();
    }
    QStringList texts;

private:
    QTimer m_timer;
    int m_ticks = 0;
};

QPoint colHeaderPoint(CDataGrid& grid, int col) {
    QHeaderView* h = grid.horizontalHeader();
    return QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
}

bool fileOpensShared(const QString& path) {
    auto c = Connection::create();
    try {
        c->open(CRecordsetView::ConnectionText(path, {}).toStdString());
        c->close();
        return true;
    } catch (const ProviderError&) {
        return false;
    }
}

}  // namespace

void RecordsetViewTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString RecordsetViewTest::copy(const QString& file, const QString& name) {
    return copyCorpusFile(file, m_dir->path(), name);
}

#define NEED_CORPUS(path) \
    if ((path).isEmpty()) QSKIP("the real databases are not beside this checkout");

void RecordsetViewTest::commandTexts() {
    QCOMPARE(CRecordsetView::CommandText(QStringLiteral("My Cards")),
             QStringLiteral("Select * From [My Cards]"));
    QCOMPARE(CRecordsetView::ConnectionText(QStringLiteral("/d/a.mdb"), {}),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /d/a.mdb"));
    QCOMPARE(CRecordsetView::ConnectionText(QStringLiteral("/d/a.mdb"), QStringLiteral("pw")),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /d/a.mdb;"
                            "Jet OLEDB:Database Password=pw"));
    // What would end or trim a value travels quoted.
    QCOMPARE(CRecordsetView::ConnectionText(QStringLiteral("/d/a;b.mdb"), QStringLiteral(" p\"w")),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source = \"/d/a;b.mdb\";"
                            "Jet OLEDB:Database Password=\" p\"\"w\""));
}

void RecordsetViewTest::opensTableWithBlankInName() {
    const QString path = copy(QStringLiteral("jet4-northwind-statdata.mdb"));
    NEED_CORPUS(path);
    CRecordsetView view;
    view.resize(800, 500);
    view.show();
    view.OnInitialUpdate();
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Order Details"), {}));
    auto rs = view.GetRecordset();
    QVERIFY(rs && rs->isOpen());
    QCOMPARE(rs->recordCount(), 2155L);
    CDataGrid& grid = view.GetGrid();
    QCOMPARE(grid.GetApproxCount(), 2155L);
    QCOMPARE(grid.GetColumns().GetCount(), short(rs->fields().count()));
    for (short c = 0; c < grid.GetColumns().GetCount(); ++c)
        QCOMPARE(grid.GetColumns().GetItem(c).GetCaption(),
                 QString::fromStdString(rs->fields().item(size_t(c)).name()));
    QCOMPARE(grid.model()->index(0, 0).data().toString(), QString::fromStdString(rs->textAt(0, 0)));
    QCOMPARE(grid.GetRow(), 0L);
    QCOMPARE(view.GetPath(), path);
    QCOMPARE(view.GetTable(), QStringLiteral("Order Details"));
    QVERIFY(view.GetConnection()->isOpen());
    QCOMPARE(view.GetConnection()->mode(), ado::kModeShareExclusive);
    QCOMPARE(rs->cursorLocation(), ado::kUseClient);

    // Opening again (as after a change of columns) replaces the recordset's rows in place.
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Orders"), {}));
    QCOMPARE(view.GetRecordset(), rs);
    QCOMPARE(rs->recordCount(), 830L);
    QCOMPARE(grid.GetApproxCount(), 830L);
}

void RecordsetViewTest::holdsFileExclusively() {
    const QString path = copy(QStringLiteral("jet4-2003-mdbreader-nopassword.mdb"));
    NEED_CORPUS(path);
    QVERIFY(fileOpensShared(path));
    CRecordsetView first;
    first.OnInitialUpdate();
    QVERIFY(first.OpenRecordset(path, QStringLiteral("Table1"), {}));
    QVERIFY(!fileOpensShared(path));

    CRecordsetView second;
    second.OnInitialUpdate();
    MessageCatcher catcher;
    QVERIFY(!second.OpenRecordset(path, QStringLiteral("Table1"), {}));
    QCOMPARE(catcher.texts.size(), 1);
    QVERIFY(!catcher.texts[0].isEmpty());
    QVERIFY(!second.GetRecordset()->isOpen());
    QCOMPARE(second.GetGrid().model()->rowCount(), 0);
    // The first view is untouched by the refusal.
    QCOMPARE(first.GetGrid().GetApproxCount(), 3L);
}

void RecordsetViewTest::refusedOpensTellTheProvidersWords() {
    const QString path = copy(QStringLiteral("jet4-2003-mdbreader-nopassword.mdb"));
    NEED_CORPUS(path);
    CRecordsetView view;
    view.OnInitialUpdate();
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Table1"), {}));
    QCOMPARE(view.GetGrid().GetApproxCount(), 3L);

    // A missing table: the provider's description, the connection stays open, the grid bound
    // to nothing that is closed.
    std::string expected;
    {
        MessageCatcher catcher;
        QVERIFY(!view.OpenRecordset(path, QStringLiteral("No Such Table"), {}));
        QCOMPARE(catcher.texts.size(), 1);
        try {
            auto rs = tessor::provider::Recordset::create();
            rs->open("Select * From [No Such Table]", view.GetConnection());
        } catch (const ProviderError& e) {
            expected = e.description();
        }
        QCOMPARE(catcher.texts[0], QString::fromStdString(expected));
    }
    QVERIFY(view.GetConnection()->isOpen());
    QVERIFY(!view.GetRecordset()->isOpen());
    QCOMPARE(view.GetGrid().model()->rowCount(), 0);

    // A file that is not there: the connection stays closed.
    MessageCatcher catcher;
    QVERIFY(!view.OpenRecordset(m_dir->path() + QStringLiteral("/missing.mdb"),
                                QStringLiteral("Table1"), {}));
    QCOMPARE(catcher.texts.size(), 1);
    QVERIFY(!view.GetConnection()->isOpen());
}

void RecordsetViewTest::opensPasswordDatabase() {
    const QString path = copy(QStringLiteral("jet4-2000-mdbreader-password.mdb"));
    NEED_CORPUS(path);
    CRecordsetView view;
    view.OnInitialUpdate();
    {
        MessageCatcher catcher;
        QVERIFY(!view.OpenRecordset(path, QStringLiteral("Table1"), QStringLiteral("wrong")));
        QCOMPARE(catcher.texts.size(), 1);
    }
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Table1"), QStringLiteral("password")));
    QCOMPARE(view.GetPassword(), QStringLiteral("password"));
    QCOMPARE(view.GetGrid().GetApproxCount(), 3L);
}

void RecordsetViewTest::pathWithSemicolonOpens() {
    const QString path =
        copy(QStringLiteral("jet4-accessparser-claroty.mdb"), QStringLiteral("cards; 2024.mdb"));
    NEED_CORPUS(path);
    CRecordsetView view;
    view.OnInitialUpdate();
    QVERIFY(view.OpenRecordset(path, QStringLiteral("ClarotyTable"), {}));
    QCOMPARE(view.GetGrid().GetApproxCount(), 2L);
}

void RecordsetViewTest::canDoCommandStates() {
    const QString path = copy(QStringLiteral("jet4-northwind-statdata.mdb"));
    NEED_CORPUS(path);
    CRecordsetView view;
    view.resize(800, 500);
    view.show();
    view.OnInitialUpdate();
    QCOMPARE(view.CanDoCommand(1), true);  // even with nothing open
    QCOMPARE(view.CanDoCommand(2), false);
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Shippers"), {}));
    CDataGrid& grid = view.GetGrid();

    // No column picked since the open: no sorting.
    QCOMPARE(view.CanDoCommand(0), false);
    QCOMPARE(view.CanDoCommand(1), true);
    QCOMPARE(view.CanDoCommand(2), true);
    QCOMPARE(view.CanDoCommand(3), true);
    QCOMPARE(view.CanDoCommand(7), false);
    QCOMPARE(view.CanDoCommand(-1), false);
    // Copy and cut want a selected text of the current cell.
    grid.SetCol(1);
    QVERIFY(!grid.GetSelText().isEmpty());
    QCOMPARE(view.CanDoCommand(4), true);
    QCOMPARE(view.CanDoCommand(5), true);
    QApplication::clipboard()->setText(QStringLiteral("x"));
    QCOMPARE(view.CanDoCommand(6), true);
    QApplication::clipboard()->clear();
    QCOMPARE(view.CanDoCommand(6), false);

    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(grid, 1));
    QCOMPARE(view.GetSelCol(), short(1));
    QCOMPARE(view.CanDoCommand(0), true);
    // A picked column copies and pastes whole.
    QCOMPARE(grid.GetCol(), short(-1));
    QCOMPARE(view.CanDoCommand(4), true);
    QCOMPARE(view.CanDoCommand(6), true);

    // A cell move takes the picked column back to the current one.
    grid.SetRow(1);
    QCOMPARE(view.GetSelCol(), grid.GetCol());

    // On the new-record line: no delete, no find, no copy; adding always works.
    grid.SetRow(grid.GetApproxCount());
    QCOMPARE(grid.GetAddNewMode(), CDataGrid::dbgAddNewCurrent);
    QCOMPARE(view.CanDoCommand(1), true);
    QCOMPARE(view.CanDoCommand(2), false);
    QCOMPARE(view.CanDoCommand(3), false);
    QCOMPARE(view.CanDoCommand(4), false);
    QCOMPARE(view.CanDoCommand(6), false);
    grid.SetRow(0);
    QCOMPARE(view.CanDoCommand(2), true);
    QCOMPARE(view.CanDoCommand(3), true);
}

void RecordsetViewTest::canDoCommandOnEmptyTable() {
    const QString path = copy(QStringLiteral("jet4-2000-jackcess-bigindex.mdb"));
    NEED_CORPUS(path);
    CRecordsetView view;
    view.resize(600, 400);
    view.show();
    view.OnInitialUpdate();
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Table1"), {}));
    CDataGrid& grid = view.GetGrid();
    QCOMPARE(grid.GetApproxCount(), 0L);
    QVERIFY(grid.GetColumns().GetCount() > 0);
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      colHeaderPoint(grid, 0));
    QCOMPARE(view.GetSelCol(), short(0));
    QCOMPARE(view.CanDoCommand(0), false);
    QCOMPARE(view.CanDoCommand(1), true);
    QCOMPARE(view.CanDoCommand(2), false);
    QCOMPARE(view.CanDoCommand(3), false);
}

void RecordsetViewTest::noticesReachFrame() {
    const QString path = copy(QStringLiteral("jet4-northwind-statdata.mdb"));
    NEED_CORPUS(path);
    auto* frame = new FrameProbe;
    CRecordsetView view;
    view.resize(800, 500);
    view.show();
    view.SetFrame(frame);
    view.OnInitialUpdate();
    QVERIFY(view.OpenRecordset(path, QStringLiteral("Customers"), {}));
    // Binding puts the grid on the first record: the preview must follow.
    QTRY_COMPARE(frame->notices, QList<int>({res::WM_RECORD_CHANGED}));
    frame->notices.clear();

    view.GetGrid().SetRow(5);
    // Posted, not sent: nothing has arrived before the event loop runs.
    QCOMPARE(frame->notices.size(), 0);
    QTRY_COMPARE(frame->notices, QList<int>({res::WM_RECORD_CHANGED}));
    // By then the recordset stands on the grid's record, for the preview to read.
    QCOMPARE(view.GetRecordset()->position(), 5L);

    view.NotifyRecordsetReplaced();
    QTRY_COMPARE(frame->notices.size(), 2);
    QCOMPARE(frame->notices[1], res::WM_RECORDSET_REPLACED);

    // A frame that is gone gets nothing, and the view goes on.
    delete frame;
    view.GetGrid().SetRow(6);
    view.NotifyRecordsetReplaced();
    QTest::qWait(20);
    QCOMPARE(view.GetGrid().GetRow(), 6L);
}

void RecordsetViewTest::gridFillsView() {
    CRecordsetView view;
    view.resize(500, 300);
    view.show();
    view.OnInitialUpdate();
    QCOMPARE(view.GetGrid().geometry(), QRect(0, 0, 500, 300));
    view.resize(731, 222);
    QCOMPARE(view.GetGrid().geometry(), QRect(0, 0, 731, 222));
}

void RecordsetViewTest::destroyReleasesFile() {
    const QString path = copy(QStringLiteral("jet4-2003-mdbreader-nopassword.mdb"));
    NEED_CORPUS(path);
    std::shared_ptr<tessor::provider::Recordset> kept;
    {
        CRecordsetView view;
        view.OnInitialUpdate();
        QVERIFY(view.OpenRecordset(path, QStringLiteral("Table1"), {}));
        kept = view.GetRecordset();
        QVERIFY(!fileOpensShared(path));
    }
    // The preview's reference outlives the view, closed; the file is free again.
    QVERIFY(kept);
    QVERIFY(!kept->isOpen());
    QVERIFY(fileOpensShared(path));
}
