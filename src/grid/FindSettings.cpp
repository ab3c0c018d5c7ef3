#include "grid/FindSettings.h"

#include <QCoreApplication>
#include <QDir>

#include "lang/IniFile.h"

namespace grid {

namespace {

const QString kSection = QStringLiteral("Find Dialog");

void readInt(const QString& path, const QString& key, int* into) {
    QString text;
    if (!IniFile::readValue(path, kSection, key, &text) || text.isEmpty()) return;
    // As the platform's integer reading does: an optional sign, then the leading digits.
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    long long n = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i)
        n = std::min<long long>(n * 10 + (text[i].unicode() - u'0'), 2147483647LL);
    *into = static_cast<int>(negative ? -n : n);
}

}  // namespace

QString FindSettings::Folder(int versionCode) {
    if (versionCode >= 0 && versionCode <= 3) return QCoreApplication::applicationDirPath();
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    const QString folder = base + QStringLiteral("/Vexa/Corvane");
    // A folder that cannot be made shows when the file is written, which then fails quietly.
    QDir().mkpath(folder);
    return folder;
}

QString FindSettings::FilePath(const QString& folder) {
    return folder + QStringLiteral("/Corvane.ini");
}

void FindSettings::Load(const QString& path) {
    readInt(path, QStringLiteral("Whole"), &whole);
    readInt(path, QStringLiteral("Case"), &matchCase);
    readInt(path, QStringLiteral("Direction"), &direction);
}

bool FindSettings::Save(const QString& path) const {
    return IniFile::writeValue(path, kSection, QStringLiteral("Whole"), QString::number(whole)) &&
           IniFile::writeValue(path, kSection, QStringLiteral("Case"),
                               QString::number(matchCase)) &&
           IniFile::writeValue(path, kSection, QStringLiteral("Direction"),
                               QString::number(direction));
}

}  // namespace grid
