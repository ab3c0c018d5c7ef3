// libFuzzer target: any bytes as a translation file (DB_ML.ini). Reading must not fail on any of
// them, and a value written into the file must be the value read back afterwards, whatever the
// file held around it.
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lang/IniFile.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// In memory: the writer syncs the file to disk on every commit.
const QString& scratchPath() {
    static const QString path =
        QStringLiteral("/dev/shm/ini_read_fuzz.%1.ini").arg(QString::number(::getpid()));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString& path = scratchPath();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QString value;
    IniFile::readValue(path, QStringLiteral("Language"), QStringLiteral("Name"), &value);
    IniFile::readValue(path, QStringLiteral("1033"), QStringLiteral("1"), &value);
    IniFile::readValue(path, QStringLiteral("x"), QString(), &value);

    // Set a key, then read it: the file's other lines may hold anything.
    const QString written = QStringLiteral("New value \u00e9");
    check(IniFile::writeValue(path, QStringLiteral("Language"), QStringLiteral("Name"), written));
    QString back;
    check(IniFile::readValue(path, QStringLiteral("language"), QStringLiteral("NAME"), &back));
    check(back == written);
    QFile::remove(path);
    return 0;
}
