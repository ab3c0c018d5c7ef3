#pragma once

#include <QString>

namespace grid {

// The find dialog's three options, kept per user in "Corvane.ini", section "Find Dialog":
// "Whole" (match whole field), "Case" (match case; stored, no effect on the search) and
// "Direction" (0 up, 1 down), each a decimal integer.
struct FindSettings {
    int whole = 0;
    int matchCase = 0;
    int direction = 1;

    // The folder of the file for a version code of CDibUtil::GetWindowsVersion: the
    // executable's folder for the codes 0 to 3; else the user's configuration folder
    // ($XDG_CONFIG_HOME, or ~/.config without it) followed by "Vexa/Corvane", made when missing.
    static QString Folder(int versionCode);
    static QString FilePath(const QString& folder);

    // A key that is missing or empty keeps the value it has; any other value counts by its
    // leading digits (none: 0). A file that cannot be read changes nothing.
    void Load(const QString& path);
    // False when the file could not be written; nothing else happens then.
    bool Save(const QString& path) const;
};

}  // namespace grid
