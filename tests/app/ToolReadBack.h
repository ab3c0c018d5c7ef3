#pragma once

// Running this project's mdbtool from a Qt test, and reading a table back with it and with the
// foreign readers.

#include <QProcess>
#include <QStringList>
#include <QtTest>

#include "ForeignReaders.h"

namespace toolcheck {

struct Tool {
    int rc = -1;
    QString out;
};

inline Tool mdbtool(QStringList args, const QString& password = {}) {
    if (!password.isEmpty()) args << QStringLiteral("--password") << password;
    QProcess p;
    p.start(QStringLiteral(TESSOR_MDBTOOL), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

// The file must pass the integrity check, and the foreign readers that are installed must read
// `table` with the header `columns`.
inline void checkReadBack(const QString& path, const QString& table, const QStringList& columns) {
    QCOMPARE(mdbtool({QStringLiteral("check"), path}).rc, 0);
    for (auto reader : {&jettest::readWithMdbExport, &jettest::readWithMdbReader}) {
        const jettest::ForeignTable t = reader(path.toStdString(), table.toStdString());
        if (!t.available) continue;
        QVERIFY2(t.ok, t.output.c_str());
        QStringList header;
        for (const std::string& h : t.header)
            header << QString::fromStdString(h);
        QCOMPARE(header, columns);
    }
}

}  // namespace toolcheck
