#pragma once

#include "provider/Connection.h"
#include "provider/ConnectionString.h"
#include "provider/Constants.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "app/TableWindow.h"
#include "db/FileAccess.h"
#include "res/Events.h"

// A table window as OpenDatabase hands over to: it takes what it is given and holds the file
// the way the record view does, with an exclusive connection, until it is closed.
class HoldingTableWindow : public QWidget, public app::TableWindow {
public:
    explicit HoldingTableWindow(QWidget* mainFrame) : m_mainFrame(mainFrame) {}
    ~HoldingTableWindow() override {
        if (m_connection) m_connection->close();
        if (!m_mainFrame) return;
        QEvent closed(res::eventType(res::WM_CHILD_CLOSED));
        QCoreApplication::sendEvent(m_mainFrame, &closed);
    }

    int OpenTable(const QString& path, const QString& table, const QString& password) override {
        m_path = path;
        m_table = table;
        m_password = password;
        const std::string secret = password.toStdString();
        const std::string text = tessor::provider::ConnectionString::format(
            path.toStdString(), password.isEmpty() ? nullptr : &secret);
        m_connection = tessor::provider::Connection::create();
        m_connection->setMode(tessor::provider::ado::kModeShareExclusive);
        m_connection->open(text, {}, {}, -1);
        setWindowTitle(table);
        return 1;
    }

    QString m_path, m_table, m_password;

private:
    std::shared_ptr<tessor::provider::Connection> m_connection;
    QPointer<QWidget> m_mainFrame;
};
