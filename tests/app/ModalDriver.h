#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `handle` on the next modal window that appears (a dialog or message box shown with
// exec()), from inside its event loop. The handler must close it. Gives up after `timeoutMs`,
// closing whatever modal window is up, so a failed test cannot hang in exec().
inline void onNextModal(std::function<void(QWidget*)> handle, int timeoutMs = 5000) {
    QWidget* before = QApplication::activeModalWidget();
    // Owned by the application, so a timer still waiting when the program ends goes with it.
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, before, handle, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != before && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
            return;
        }
        *waited += 10;
        if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (modal) modal->close();
        }
    });
    timer->start();
}
