#include "provider/Field.h"
#include "provider/Fields.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"

#include "ImagePreviewWnd.h"

#include "DibUtil.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>
#include <memory>
#include <new>

using tessor::plugin::Bitmap;
using tessor::plugin::ImageReader;
using tessor::plugin::ReaderScratch;

namespace {

const QColor kWhite(255, 255, 255);
const QColor kGrey(125, 125, 125);

const char* const kExtensions[] = {"",     ".jpg", ".bmp", ".tif", ".pcx",
                                   ".png", ".tga", ".gif", ".jpeg"};

// The reader object, given back to its library on every way out.
struct ReaderLease {
    tessor::plugin::PluginObject* object = nullptr;
    ~ReaderLease() { CDibUtil::ReleaseClassObject(object); }
};

QString DefaultChooseFolder(QWidget* pOwner, const QString& strTitle) {
    return QFileDialog::getExistingDirectory(pOwner, strTitle);
}

void DefaultShowMessage(QWidget* pOwner, const QString& strText) {
    QMessageBox::warning(pOwner, QString(), strText);
}

QLabel* MakeLabel(const char* szText, QWidget* pParent) {
    return new QLabel(QString::fromLatin1(szText), pParent);
}

}  // namespace

CImagePreviewWnd::CImagePreviewWnd(QWidget* parent)
    : QWidget(parent), m_folderChooser(DefaultChooseFolder), m_messageSink(DefaultShowMessage) {
    m_frame = new QFrame(this);
    m_frame->setObjectName(QString::number(IDC_PICTURE_FRAME));
    m_frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    m_frame->setLineWidth(1);
    m_frame->setMidLineWidth(0);
    m_frame->setFixedSize(kFrameSize, kFrameSize);

    m_editFolder = new QLineEdit(this);
    m_editFolder->setObjectName(QString::number(IDC_EDIT_FOLDER));
    m_buttonBrowse = new QPushButton(QStringLiteral("Browse"), this);
    m_buttonBrowse->setObjectName(QString::number(IDC_BUTTON_BROWSE));
    m_editFileName = new QLineEdit(this);
    m_editFileName->setObjectName(QString::number(IDC_EDIT_FILENAME));
    m_editFileName->setReadOnly(true);
    m_comboField = new QComboBox(this);
    m_comboField->setObjectName(QString::number(IDC_COMBO_FIELD));
    m_editExt = new QLineEdit(this);
    m_editExt->setObjectName(QString::number(IDC_EDIT_EXT));
    m_comboExt = new QComboBox(this);
    m_comboExt->setObjectName(QString::number(IDC_COMBO_EXT));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeLabel("Image Preview", this));
    layout->addWidget(m_frame, 0, Qt::AlignHCenter);
    auto* grid = new QGridLayout;
    grid->addWidget(MakeLabel("File Folder", this), 0, 0, 1, 2);
    grid->addWidget(m_editFolder, 1, 0);
    grid->addWidget(m_buttonBrowse, 1, 1);
    grid->addWidget(MakeLabel("File Name", this), 2, 0, 1, 2);
    grid->addWidget(m_editFileName, 3, 0);
    grid->addWidget(m_comboField, 3, 1);
    grid->addWidget(MakeLabel("File Extend", this), 4, 0, 1, 2);
    grid->addWidget(m_editExt, 5, 0);
    grid->addWidget(m_comboExt, 5, 1);
    layout->addLayout(grid);
    layout->addStretch(1);

    connect(m_buttonBrowse, &QPushButton::clicked, this, &CImagePreviewWnd::OnBrowse);
    connect(m_comboExt, &QComboBox::activated, this, &CImagePreviewWnd::OnSelchangeComboExt);
    connect(m_comboField, &QComboBox::activated, this, &CImagePreviewWnd::OnSelchangeComboField);

    OnInitialUpdate();
}

CImagePreviewWnd::~CImagePreviewWnd() {
    if (m_memDC.isActive()) m_memDC.end();
    m_pOldBitmap = nullptr;
    m_bitmap = QImage();
    m_pRecordset.reset();
}

void CImagePreviewWnd::OnInitialUpdate() {
    for (const char* szExt : kExtensions)
        m_comboExt->addItem(QString::fromLatin1(szExt));
    m_comboExt->setCurrentIndex(0);

    const QRect inner(0, 0, kFrameSize - 4, kFrameSize - 4);
    QImage reference(1, 1, QImage::Format_RGB32);
    CDibUtil::CreateMemoryPicture(&m_memDC, &reference, &m_bitmap, inner.left(), inner.top(),
                                  inner.right() + 1, inner.bottom() + 1, kWhite, &m_pOldBitmap);

    m_lang.SetIniFile(CLangText::DefaultIniPath());
    m_lang.SetSection(QStringLiteral("Preview Image Dialog"));
    m_lang.TranslateWindow(this);
}

QRect CImagePreviewWnd::InnerRect() const {
    return m_frame->geometry().adjusted(2, 2, -2, -2);
}

QRect CImagePreviewWnd::FitPicture(int nFrameWidth, int nFrameHeight, int nWidth, int nHeight) {
    if (nWidth <= 0 || nHeight <= 0) return {};
    // 64-bit products: a frame and a picture both near the int limit must not overflow.
    if (nWidth > nHeight) {
        const int nDestHeight =
            static_cast<int>(static_cast<long long>(nHeight) * nFrameWidth / nWidth);
        return QRect(0, (nFrameHeight - nDestHeight) / 2, nFrameWidth, nDestHeight);
    }
    const int nDestWidth =
        static_cast<int>(static_cast<long long>(nWidth) * nFrameHeight / nHeight);
    return QRect((nFrameWidth - nDestWidth) / 2, 0, nDestWidth, nFrameHeight);
}

void CImagePreviewWnd::SetRecordset(std::shared_ptr<tessor::provider::Recordset> pRecordset) {
    m_pRecordset = std::move(pRecordset);
    const QString strRemembered =
        m_comboField->currentIndex() >= 0 ? m_comboField->currentText() : QString();
    m_comboField->clear();
    if (!m_pRecordset) return;

    int nSelect = 0;
    try {
        const tessor::provider::Fields& fields = m_pRecordset->fields();
        const size_t nCount = fields.count();
        bool bFound = false;
        for (size_t i = 0; i < nCount; ++i) {
            const QString strName = QString::fromStdString(fields.item(i).name());
            m_comboField->addItem(strName);
            if (!bFound && !strRemembered.isNull() && strName == strRemembered) {
                nSelect = static_cast<int>(i);
                bFound = true;
            }
        }
    } catch (const tessor::provider::ProviderError& e) {
        m_messageSink(this, QString::fromStdString(e.description()));
    }
    m_comboField->setCurrentIndex(m_comboField->count() > 0 ? nSelect : -1);
    UpdatePreview();
}

void CImagePreviewWnd::FillGrey() {
    if (m_memDC.isActive()) m_memDC.fillRect(m_bitmap.rect(), kGrey);
}

void CImagePreviewWnd::UpdatePreview() {
    QString strPath = m_strFolder;
    bool bNamed = false;
    const int nSel = m_comboField->currentIndex();
    if (m_pRecordset && nSel >= 0) {
        try {
            const tessor::provider::Fields& fields = m_pRecordset->fields();
            if (fields.count() > 0 && !m_pRecordset->isBOF() && !m_pRecordset->isEOF()) {
                // The one value-as-text rule: dates as "%Y/%m/%d %H:%M:%S", null and the zero
                // date empty, text unchanged.
                m_strFileName =
                    QString::fromStdString(fields.item(static_cast<size_t>(nSel)).text());
                strPath += QLatin1Char('/') + m_strFileName;
                bNamed = true;
            }
        } catch (const tessor::provider::ProviderError& e) {
            FillGrey();
            m_messageSink(this, QString::fromStdString(e.description()));
            PaintFrame();
            return;
        }
    }
    if (!bNamed) m_strFileName.clear();
    WriteControls();
    strPath += m_strExt;

    // An unchanged path keeps the picture already drawn rather than leaving the frame grey.
    if (strPath == m_strLastPath) return;
    m_strLastPath = strPath;
    FillGrey();
    LoadAndDraw(strPath);
    PaintFrame();
}

bool CImagePreviewWnd::LoadAndDraw(const QString& strPath) {
    // No folder and no record: the path names no file.
    if (strPath.isEmpty()) return false;
    {
        QFile file(strPath);
        if (!file.open(QIODevice::ReadOnly)) return false;
    }
    ReaderLease lease;
    lease.object = CDibUtil::LoadClassObject(CDibUtil::kImgIoLibrary);
    ImageReader* pReader = tessor::plugin::pluginCast<ImageReader>(lease.object);
    if (!pReader) return false;

    // The reader takes the path in a fixed field; a longer one is refused rather than cut,
    // since a cut path would name another file.
    const QByteArray encoded = QFile::encodeName(strPath);
    if (encoded.size() >= static_cast<qsizetype>(tessor::plugin::kReaderPathSize) ||
        encoded.contains('\0'))
        return false;
    char szPath[tessor::plugin::kReaderPathSize] = {};
    std::memcpy(szPath, encoded.constData(), static_cast<size_t>(encoded.size()));

    ReaderScratch first;
    Bitmap picture;
    if (!pReader->openImage(szPath, &first, 1, &picture)) return false;
    if (picture.width <= 0 || picture.height <= 0 || picture.bitsPixel != 24 ||
        picture.widthBytes < 3 * static_cast<long long>(picture.width) ||
        static_cast<long long>(picture.widthBytes) * picture.height > CDibUtil::kMaxBufferBytes)
        return false;
    std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[static_cast<size_t>(
        static_cast<long long>(picture.widthBytes) * picture.height)]());
    if (!pixels) return false;
    picture.bits = pixels.get();

    ReaderScratch second;
    const int nDecoded = pReader->decodeImage(&second, 1, &picture, 0, 0);
    pReader->closeImage();
    if (!nDecoded) return false;

    const QRect dest =
        FitPicture(m_bitmap.width(), m_bitmap.height(), picture.width, picture.height);
    CDibUtil util;
    util.DIBShow(&m_memDC, &picture, dest.x(), dest.y(), dest.width(), dest.height(), 0, 0,
                 picture.width, picture.height);
    return true;
}

void CImagePreviewWnd::PaintFrame() {
    update(InnerRect());
}

void CImagePreviewWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(InnerRect().topLeft(), m_bitmap);
}

void CImagePreviewWnd::ReadControls() {
    m_strFolder = m_editFolder->text();
    m_strExt = m_editExt->text();
    m_strFileName = m_editFileName->text();
}

void CImagePreviewWnd::WriteControls() {
    m_editFolder->setText(m_strFolder);
    m_editExt->setText(m_strExt);
    m_editFileName->setText(m_strFileName);
}

void CImagePreviewWnd::OnBrowse() {
    ReadControls();
    const QString strFolder = m_folderChooser(this, QStringLiteral("Database Folder"));
    if (strFolder.isEmpty()) return;
    m_strFolder = strFolder;
    WriteControls();
    UpdatePreview();
}

void CImagePreviewWnd::OnSelchangeComboExt() {
    ReadControls();
    m_strExt = m_comboExt->currentText();
    WriteControls();
    UpdatePreview();
}

void CImagePreviewWnd::OnSelchangeComboField() {
    UpdatePreview();
}
