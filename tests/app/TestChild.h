#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include "app/CommandStateSource.h"
#include "app/CommandTarget.h"
#include "res/Events.h"

// A table window as the main window sees one: it routes commands, answers CanDoCommand and
// tells the main window when it goes away.
class TestChild : public QWidget, public app::CommandTarget, public app::CommandStateSource {
public:
    explicit TestChild(QWidget* mainFrame) : m_mainFrame(mainFrame) {}
    ~TestChild() override {
        if (!m_mainFrame) return;
        QEvent closed(res::eventType(res::WM_CHILD_CLOSED));
        QCoreApplication::sendEvent(m_mainFrame, &closed);
    }

    bool OnCommand(int id) override {
        if (!handled.contains(id)) return false;
        ran.append(id);
        return true;
    }
    bool HandlesCommand(int id) const override { return handled.contains(id); }
    bool CanDoCommand(int n) override { return possible.contains(n); }

    QSet<int> handled;
    QSet<int> possible;
    QList<int> ran;

private:
    QPointer<QWidget> m_mainFrame;
};
