#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "app/CommandStateSource.h"
#include "app/CommandTarget.h"
#include "app/TableWindow.h"

class CImagePreviewWnd;
class CMainFrame;
class CRecordsetView;
class QSplitter;

// One window per opened table: the record view on the left (three quarters of the width) and
// the picture preview on the right, side by side in a splitter. It opens the table in both
// panes, passes the record view's notices on to the preview, and runs Close, Save (nothing)
// and Save As (a copy of the database file, which the window then goes on with). Commands it
// does not run itself go to the record view.
class CChildFrame : public QWidget,
                    public app::TableWindow,
                    public app::CommandTarget,
                    public app::CommandStateSource {
    Q_OBJECT

public:
    // Asks for the file to save a copy as (owner, filter); an empty result is a cancel.
    using SaveChooser = std::function<QString(QWidget* parent, const QString& filter)>;

    // `mainFrame` is told when this window goes away; `iniPath` is the translation file.
    CChildFrame(CMainFrame* mainFrame, const QString& iniPath);
    ~CChildFrame() override;

    // Shows the table in both panes and takes the table's name as title. 0 without a view.
    int OpenTable(const QString& path, const QString& table, const QString& password) override;

    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override;
    bool CanDoCommand(int nWhich) override;

    // Save As copies the file; from this size on it shows how far it is and can be stopped.
    static constexpr qint64 kSaveProgressBytes = qint64(16) << 20;

    void OnFileSaveAs();
    void SetSaveChooser(SaveChooser chooser) { m_chooseSaveFile = std::move(chooser); }

    CRecordsetView* GetView() const { return m_pView; }
    CImagePreviewWnd* GetPreview() const { return m_pPreview; }
    QSplitter* GetSplitter() const { return m_wndSplitter; }
    const QString& GetPath() const { return m_szPath; }
    const QString& GetTable() const { return m_szTable; }
    const QString& GetPassword() const { return m_szPassword; }

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void OnCreateClient();
    void SwitchPane(bool next);

    QSplitter* m_wndSplitter = nullptr;
    CRecordsetView* m_pView = nullptr;       // pane (0,0)
    CImagePreviewWnd* m_pPreview = nullptr;  // pane (0,1)
    QString m_szPath;                        // database file shown
    QString m_szTable;                       // table shown
    QString m_szPassword;                    // database password, empty for none
    QString m_strIniPath;
    QPointer<CMainFrame> m_pMainFrame;
    SaveChooser m_chooseSaveFile;
    bool m_bPlaced = false;  // the first show has sized the window
};
