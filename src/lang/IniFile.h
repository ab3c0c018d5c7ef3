#pragma once

#include <QString>

// Reads one value from an INI file with the matching rules of the platform's profile-string
// reader, which translators' files are written for:
//  - section names and keys are matched without regard to letter case;
//  - a key is everything before the first "=" of its line (blanks around it do not count);
//  - the value is the rest of the line without leading and trailing blanks, and a value
//    enclosed in a pair of matching quotation marks (" or ') loses them;
//  - lines starting with ";" are comments; the file is UTF-8, a byte-order mark is ignored.
// Nothing is cached: every call reads the file as it is now.
class IniFile {
public:
    // The value of `key` in `section`, or no value (std::nullopt-like: found = false) when the
    // file, the section or the key does not exist or cannot be read.
    static bool readValue(const QString& path, const QString& section, const QString& key,
                          QString* value);

    // Sets `key` in `section` to `value`, matching section and key as readValue does: the
    // key's line is replaced where it is, or the key is added at the end of its section, or the
    // section at the end of the file; every other line stays as it was. The file is made when
    // it does not exist and replaced as a whole, so a failed write leaves the old one. False
    // when it cannot be read or written.
    static bool writeValue(const QString& path, const QString& section, const QString& key,
                           const QString& value);
};
