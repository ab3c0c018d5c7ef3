#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

#include "lang/LangText.h"

class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;

namespace tessor::provider {
class Recordset;
}

// The pane beside the record grid that shows the current record's picture: the file named by
// a folder, the text of one column and an extension, read by the image library and fitted into
// a square frame. Nothing it is set to is stored. Used on the user-interface thread only.
class CImagePreviewWnd : public QWidget {
    Q_OBJECT

public:
    // Control identifiers, kept as the controls' object names.
    enum ControlId {
        IDC_PICTURE_FRAME = 1000,
        IDC_EDIT_FOLDER = 1001,
        IDC_COMBO_FIELD = 1002,
        IDC_EDIT_EXT = 1003,
        IDC_BUTTON_BROWSE = 1004,
        IDC_COMBO_EXT = 1005,
        IDC_EDIT_FILENAME = 1035,
    };
    // Frame control size in pixels; the picture goes inside its 2-pixel border.
    static constexpr int kFrameSize = 154;

    // Asks for a folder (owner, title); an empty result means none was chosen.
    using FolderChooser = std::function<QString(QWidget*, const QString&)>;
    // Shows a message to the user (owner, text).
    using MessageSink = std::function<void(QWidget*, const QString&)>;

    explicit CImagePreviewWnd(QWidget* parent = nullptr);
    ~CImagePreviewWnd() override;

    // Takes the table's recordset (shared with the record view), lists its columns keeping the
    // chosen column when one of that name remains, and shows the current record's picture.
    void SetRecordset(std::shared_ptr<tessor::provider::Recordset> pRecordset);
    // Rebuilds the picture for the current record.
    void UpdatePreview();
    // Shows the off-screen picture in the frame.
    void PaintFrame();

    void SetFolderChooser(FolderChooser chooser) { m_folderChooser = std::move(chooser); }
    void SetMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }

    // The picture as it is drawn into the frame, and the frame's inner rectangle in the pane.
    const QImage& OffscreenPicture() const { return m_bitmap; }
    QRect InnerRect() const;
    // The path of the last picture whose loading was attempted.
    const QString& LastPath() const { return m_strLastPath; }

    // Where a picture of width x height goes in a frame of frameWidth x frameHeight: the
    // picture's longer side fills the frame, the other is centred (and may be cut).
    static QRect FitPicture(int nFrameWidth, int nFrameHeight, int nWidth, int nHeight);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void OnBrowse();
    void OnSelchangeComboExt();
    void OnSelchangeComboField();

private:
    void OnInitialUpdate();
    void ReadControls();
    void WriteControls();
    void FillGrey();
    // Reads, decodes and draws the file; false when nothing was drawn.
    bool LoadAndDraw(const QString& strPath);

    std::shared_ptr<tessor::provider::Recordset> m_pRecordset;
    QComboBox* m_comboField = nullptr;     // the table's columns; the selection names the file
    QComboBox* m_comboExt = nullptr;       // the extension choices
    QString m_strFolder;                   // the image folder (edit 1001)
    QString m_strExt;                      // the extension appended to the file name (edit 1003)
    QString m_strFileName;                 // the current record's file name (read-only edit 1035)
    QPainter m_memDC;                      // paints on the off-screen picture
    QImage m_bitmap;                       // the off-screen picture, the frame's inner size
    QPaintDevice* m_pOldBitmap = nullptr;  // what m_memDC painted on before
    QString m_strLastPath;                 // the last path whose loading was attempted

    QFrame* m_frame = nullptr;
    QLineEdit* m_editFolder = nullptr;
    QLineEdit* m_editExt = nullptr;
    QLineEdit* m_editFileName = nullptr;
    QPushButton* m_buttonBrowse = nullptr;
    CLangText m_lang;
    FolderChooser m_folderChooser;
    MessageSink m_messageSink;
};
