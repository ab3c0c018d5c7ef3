#pragma once

#include <QEvent>
#include <QString>
#include <QStringList>
#include <QWizard>
#include <QWizardPage>

#include <functional>

#include "lang/LangText.h"
#include "res/Events.h"

class QButtonGroup;
class QLineEdit;
class QListWidget;
class QPushButton;
class CNewSheet;

// The five pages of the new-database wizard. Each page binds its own text lookup to its section
// whenever it becomes the current page, translates itself and sets the wizard's caption.
class CWizardPage : public QWizardPage {
    Q_OBJECT

public:
    CWizardPage(const QString& section, const QString& captionKey, int resourceId);

    // Page activation: translation under the page's section and the sheet's caption.
    void OnSetActive(CNewSheet* sheet);

protected:
    CNewSheet* Sheet() const;
    void ShowMessage(const QString& key);
    // The page's label, path edit and Browse button, laid out as the path pages show them; the
    // edit's text goes to *value when editing ends.
    QLineEdit* AddPathRow(const QString& label, int editId, int browseId, QString* value,
                          const std::function<void()>& onBrowse);
    // Browse: the sheet's file chooser; a chosen path goes to *value and the edit.
    void BrowseInto(QLineEdit* pathEdit, QString* value, bool save, const QString& filter,
                    const QString& suffix);
    CLangText m_lang;

private:
    QString m_strSection;
    QString m_strCaptionKey;
};

// Step 1: the path of the new database file.
class CNewPage : public CWizardPage {
    Q_OBJECT

public:
    CNewPage();
    QString m_strPath;
    bool validatePage() override;
    void OnBrowse();

    QLineEdit* PathEdit() const { return m_edit; }

private:
    QLineEdit* m_edit;  // 1007
};

// Step 2: the name of the table.
class CTablePage : public CWizardPage {
    Q_OBJECT

public:
    CTablePage();
    QString m_strTableName = QStringLiteral("Table1");
    bool validatePage() override;

    QLineEdit* NameEdit() const { return m_edit; }

private:
    QLineEdit* m_edit;  // 1009
};

// Step 3: columns from a template (0) or typed in by hand (1).
class CMethodPage : public CWizardPage {
    Q_OBJECT

public:
    CMethodPage();
    int m_nMethod = 0;
    bool validatePage() override;
    int nextId() const override;

    QButtonGroup* Methods() const { return m_group; }

private:
    QButtonGroup* m_group;  // 1010, 1011
};

// Step 4, template mode: the card-design template file.
class CTemplatePage : public CWizardPage {
    Q_OBJECT

public:
    CTemplatePage();
    QString m_strTemplatePath;
    bool validatePage() override;
    int nextId() const override { return -1; }
    void OnBrowse();

    QLineEdit* PathEdit() const { return m_edit; }

private:
    QLineEdit* m_edit;  // 1012
};

// Step 4, by hand: the list of field names, in the order the columns get them.
class CFieldPage : public CWizardPage {
    Q_OBJECT

public:
    CFieldPage();
    QListWidget* m_listFields;  // 1014, unsorted
    bool validatePage() override;
    int nextId() const override { return -1; }

    // The name New proposes: "Field<n>" for the first n from the list's size up that no entry
    // holds (compared exactly).
    QString ProposedName() const;
    void OnNew();
    void OnRename();
    void OnDelete();
};

// The new-database wizard. Finish on a step-4 page sends the create request to the sheet, which
// makes the file and its table at once, before the wizard closes.
class CNewSheet : public QWizard {
    Q_OBJECT

public:
    enum PageIndex { kNewPage = 0, kTablePage, kMethodPage, kTemplatePage, kFieldPage };
    // The create request (WM_NEWDB_CREATE); its mode is 0 (template) or 1 (field list).
    class CreateEvent : public QEvent {
    public:
        explicit CreateEvent(int mode)
            : QEvent(res::eventType(res::WM_NEWDB_CREATE)), m_nMode(mode) {}
        int m_nMode;
    };

    // `appDir` holds DB_ML.ini, DB/Template.mdb and Layout/.
    explicit CNewSheet(const QString& appDir, QWidget* parent = nullptr);

    QString m_strDbPath;      // the created file, set once the template copy is in place
    int m_bCreateFailed = 0;  // 1: the new file is not to be opened
    // The pages, owned by the sheet as its children.
    CNewPage* m_newPage;
    CTablePage* m_tablePage;
    CMethodPage* m_methodPage;
    CTemplatePage* m_templatePage;
    CFieldPage* m_fieldPage;
    CLangText m_lang;  // section "New Sheet"

    const QString& AppDir() const { return m_strAppDir; }
    QString IniPath() const { return m_strAppDir + QStringLiteral("/DB_ML.ini"); }

    // Makes the database: mode 0 from the template file, 1 from the field list.
    void CreateDatabase(int mode);

    // Sends the create request and returns when the creation is over.
    void SendCreate(int mode);

    // The file dialogs the Browse buttons run (open or save, filter, default suffix); tests
    // replace them. An empty result is a cancel.
    using FileChooser = std::function<QString(QWidget* parent, bool save, const QString& filter,
                                              const QString& suffix)>;
    FileChooser m_chooseFile;

protected:
    bool event(QEvent* e) override;

private:
    // The names of the template's variable objects, made unique and cleaned, in column order;
    // false when the template gives none (the reason has been shown when there is one).
    bool TemplateColumns(QStringList& names);
    void ShowMessage(const QString& text);

    QString m_strAppDir;
};
