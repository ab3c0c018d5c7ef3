#include "lang/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v'; }

QStringView trimBlanks(QStringView s) {
    qsizetype begin = 0, end = s.size();
    while (begin < end && isBlank(s[begin])) ++begin;
    while (end > begin && isBlank(s[end - 1])) --end;
    return s.sliced(begin, end - begin);
}

QString unquote(QStringView value) {
    if (value.size() >= 2) {
        QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.sliced(1, value.size() - 2).toString();
    }
    return value.toString();
}

// One line as both reading and writing see it, so that a key written is the key read.
struct Line {
    enum Kind { Other, Section, Entry } kind = Other;
    QStringView name;  // Section: its name; Entry: its key (both without blanks around)
    QStringView rest;  // Entry: everything after the "="
};

Line classify(QStringView line) {
    // A byte-order mark (at the start of the file, or wherever an editor left one) is ignored.
    if (!line.isEmpty() && line.front() == QChar(0xFEFF)) line = line.sliced(1);
    Line out;
    const QStringView trimmed = trimBlanks(line);
    if (trimmed.isEmpty() || trimmed.front() == u';') return out;
    if (trimmed.front() == u'[') {
        const qsizetype close = trimmed.indexOf(u']');
        out.kind = Line::Section;
        out.name = trimBlanks(close < 0 ? trimmed.sliced(1) : trimmed.sliced(1, close - 1));
        return out;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) return out;
    out.kind = Line::Entry;
    out.name = trimBlanks(line.first(eq));
    out.rest = line.sliced(eq + 1);
    return out;
}

}  // namespace

bool IniFile::readValue(const QString& path, const QString& section, const QString& key,
                        QString* value) {
    if (path.isEmpty() || section.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QString text = QString::fromUtf8(file.readAll());  // a leading BOM becomes U+FEFF

    bool inSection = false;
    for (QStringView raw : QStringView(text).split(u'\n')) {
        const Line line = classify(raw);
        if (line.kind == Line::Section) {
            inSection = line.name.compare(section, Qt::CaseInsensitive) == 0;
        } else if (line.kind == Line::Entry && inSection &&
                   line.name.compare(key, Qt::CaseInsensitive) == 0) {
            *value = unquote(trimBlanks(line.rest));
            return true;
        }
    }
    return false;
}

bool IniFile::writeValue(const QString& path, const QString& section, const QString& key,
                         const QString& value) {
    if (path.isEmpty() || section.isEmpty() || key.isEmpty()) return false;
    QStringList lines;
    {
        QFile file(path);
        if (file.exists()) {
            if (!file.open(QIODevice::ReadOnly)) return false;
            lines = QString::fromUtf8(file.readAll()).split(u'\n');
            if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
        }
    }
    const QString entry = key + u'=' + value;
    bool inSection = false;
    qsizetype sectionEnd = -1;  // the line after the section's last entry
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line line = classify(lines[i]);
        if (line.kind == Line::Section) {
            inSection = line.name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        const QStringView trimmed = trimBlanks(lines[i]);
        if (!trimmed.isEmpty() && trimmed.front() != u';') sectionEnd = i + 1;
        if (line.kind != Line::Entry || line.name.compare(key, Qt::CaseInsensitive) != 0)
            continue;
        lines[i] = entry;
        sectionEnd = -2;
        break;
    }
    if (sectionEnd >= 0) {
        lines.insert(sectionEnd, entry);
    } else if (sectionEnd == -1) {
        lines << u'[' + section + u']' << entry;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = (lines.join(u'\n') + u'\n').toUtf8();
    if (out.write(bytes) != bytes.size()) return false;
    return out.commit();
}
