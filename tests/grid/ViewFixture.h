#pragma once

// Helpers for tests that drive a record view over a real file: opening it, pointing at the
// grid's headers, answering the message boxes it shows.
#include <QAbstractButton>
#include <QHeaderView>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <utility>

#include "ModalDriver.h"
#include "grid/DataGrid.h"
#include "grid/RecordsetView.h"

namespace gridtest {

inline std::unique_ptr<CRecordsetView> openView(const QString& path, const QString& table) {
    auto view = std::make_unique<CRecordsetView>();
    view->resize(900, 400);
    view->show();
    view->OnInitialUpdate();
    if (!view->OpenRecordset(path, table, {})) return nullptr;
    return view;
}

inline QPoint rowHeaderPoint(CDataGrid& grid, int row) {
    grid.scrollTo(grid.model()->index(row, 0));
    QHeaderView* h = grid.verticalHeader();
    return QPoint(h->width() / 2, h->sectionViewportPosition(row) + h->sectionSize(row) / 2);
}

inline QPoint colHeaderPoint(CDataGrid& grid, int col) {
    QHeaderView* h = grid.horizontalHeader();
    return QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
}

// Answers the next message box with `button` and records its text; any other modal window
// is closed.
inline void answerNext(QMessageBox::StandardButton button, QStringList* texts) {
    onNextModal([button, texts](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            w->close();
            return;
        }
        *texts << box->text();
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->close();
    });
}

// Answers every message box that comes up while it lives with OK, keeping their texts.
class BoxAnswerer {
public:
    BoxAnswerer() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            texts << box->text();
            if (QAbstractButton* b = box->button(QMessageBox::Ok))
                b->click();
            else
                box->close();
        });
        m_timer.start();
    }
    // The texts that came since the last call.
    QStringList take() { return std::exchange(texts, {}); }

    QStringList texts;

private:
    QTimer m_timer;
};

}  // namespace gridtest
