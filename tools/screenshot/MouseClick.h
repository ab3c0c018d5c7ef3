#pragma once

// Driving the real program's windows from the tools that picture it and list its texts.

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

// A press and a release of `button` at `at` of `widget`, as the mouse sends them.
inline void Click(QWidget* widget, const QPoint& at, Qt::MouseButton button) {
    const QPoint global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}
