#pragma once

#include <QString>

class QComboBox;
class QListWidget;
class QWidget;

// The run-time translation of user-visible texts. The English text is the key; the translation
// comes from the current section of an INI file (normally DB_ML.ini beside the executable), and
// a missing file, section, key or an empty value yields the key itself. The file is read afresh
// at every lookup, so an edited file takes effect for the next window or message translated.
// Only the user-interface thread uses it.
class CLangText {
public:
    // Longest text, in characters, that a lookup reads or returns; longer texts are cut.
    static constexpr int kMaxText = 1023;

    CLangText() = default;

    // "DB_ML.ini" in the executable's folder: where the program's translations live.
    static QString DefaultIniPath();

    // Stores the path whatever it is; true when it is not empty and the file can be opened.
    bool SetIniFile(const QString& path);
    // Stores the section name; true when it is not empty.
    bool SetSection(const QString& name);

    // The translation of `key`, or the key (cut to kMaxText) when there is none.
    QString GetText(const QString& key);
    // The text produced by the last lookup.
    const QString& Result() const { return m_strResult; }

    // Translates the window's title, its controls and its menu bar. Always returns 0.
    int TranslateWindow(QWidget* window);
    // Translates a combo box's items in place, keeping positions and item data; true when the
    // previous selection could be restored.
    bool TranslateComboBox(QComboBox* combo);
    // The same for a list box.
    bool TranslateListBox(QListWidget* list);
    // Translates a menu tree (a QMenu or QMenuBar) in place, depth first, an item before its
    // sub-menu; `owner`, which may be null, is the window whose menu bar is redrawn.
    void TranslateMenu(QWidget* menu, QWidget* owner);

    // Told the section and key of every lookup with a key, before it is made; none by default.
    // The tool that lists the keys for translators (tools/langkeys) watches the program with it.
    using LookupObserver = void (*)(const QString& section, const QString& key);
    static void SetLookupObserver(LookupObserver observer) { s_observer = observer; }

    const QString& IniFile() const { return m_strIniPath; }
    const QString& Section() const { return m_strSection; }

private:
    void TranslateControl(QWidget* child);

    QString m_strIniPath;  // full path of the translation file; empty until set
    QString m_strSection;  // current section; empty until set
    QString m_strResult;   // text of the last lookup
    static inline LookupObserver s_observer = nullptr;
};
