#pragma once

#include <QDialog>

class QLabel;

// The About box: icon, "Tessor Version" and the program's version, the maker's notices, OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // `iniPath` is the translation file; `fileVersion` the version text in its comma form.
    explicit CAboutDlg(const QString& iniPath, const QString& fileVersion,
                       QWidget* parent = nullptr);

    // "1, 0, 0, 16" -> "1.0.0.16": the text is split at its first three commas and each part
    // read as the C library's atoi reads it (leading blanks skipped, no digits gives 0). Parts
    // that a shorter text lacks count as 0; an empty text gives an empty result.
    static QString FormatVersion(const QString& fileVersion);

    QLabel* VersionLabel() const { return m_version; }

private:
    QLabel* m_version = nullptr;  // control 1033
};
