// The preview pane where a picture library cannot be found. Built twice: without any run path
// (neither library reachable), and with a run path to a folder that holds only the image reader
// (the reader works, the scaler is missing). TESSOR_READER_REACHABLE says which.

#include "provider/ColumnInfo.h"
#include "provider/Recordset.h"
#include "provider/RowStore.h"
#include "provider/Variant.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

#include "LoadedLibraries.h"
#include "preview/DibUtil.h"
#include "preview/ImagePreviewWnd.h"

#ifndef TESSOR_READER_REACHABLE
#error "TESSOR_READER_REACHABLE must be 0 or 1"
#endif

using tessor::provider::ColumnInfo;
using tessor::provider::DataType;
using tessor::provider::Recordset;
using tessor::provider::RowStore;
using tessor::provider::Variant;

namespace {

const QRgb kGrey = qRgb(125, 125, 125);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

ColumnInfo TextColumn(const char* name) {
    ColumnInfo c;
    c.name = name;
    c.type = DataType::VarWChar;
    c.definedSize = 255;
    return c;
}

template <class T>
T* Control(CImagePreviewWnd& pane, int id) {
    return pane.findChild<T*>(QString::number(id));
}

// Pixels of `picture` inside `area` that are not `colour`.
int CountOther(const QImage& picture, const QRect& area, QRgb colour) {
    int other = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (picture.pixel(x, y) != colour) ++other;
    return other;
}

// What the image reader makes of the file: its first pixel, or 0 when it cannot decode it.
QRgb ReaderFirstPixel(const QString& path) {
    using tessor::plugin::ImageReader;
    CDibUtil::PluginObject* object = CDibUtil::LoadClassObject(CDibUtil::kImgIoLibrary);
    auto* reader = tessor::plugin::pluginCast<ImageReader>(object);
    QRgb first = 0;
    char szPath[tessor::plugin::kReaderPathSize] = {};
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(szPath, encoded.constData(), static_cast<size_t>(encoded.size()));
    tessor::plugin::ReaderScratch scratch1, scratch2;
    tessor::plugin::Bitmap picture;
    if (reader && reader->openImage(szPath, &scratch1, 1, &picture) && picture.height > 0 &&
        picture.widthBytes >= 3) {
        std::vector<std::uint8_t> pixels(static_cast<size_t>(picture.widthBytes) * picture.height);
        picture.bits = pixels.data();
        if (reader->decodeImage(&scratch2, 1, &picture, 0, 0))
            first = qRgb(pixels[2], pixels[1], pixels[0]);
        reader->closeImage();
    }
    CDibUtil::ReleaseClassObject(object);
    return first;
}

}  // namespace

class ImagePreviewMissingLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void existingPicturesStayGreyOnPaneAndScreen();
    void everyChoiceAndRecordLeavesGreyAndNoLibraryLoaded();

private:
    void savePicture(const QString& name, int w, int h, QRgb colour);
    // A pane showing the folder's pictures by the column "Code" with the extension ".png".
    void openPane(CImagePreviewWnd& pane, std::shared_ptr<Recordset> rs);

    QTemporaryDir m_dir;
    QStringList m_messages;
};

void ImagePreviewMissingLibraryTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    // Without this the test would pass with both libraries present and prove nothing.
    CDibUtil::PluginObject* scaler = CDibUtil::LoadClassObject(CDibUtil::kScaleRotLibrary);
    CDibUtil::ReleaseClassObject(scaler);
    QVERIFY2(!scaler, "the scaler is reachable; this test needs it absent");
    CDibUtil::PluginObject* reader = CDibUtil::LoadClassObject(CDibUtil::kImgIoLibrary);
    CDibUtil::ReleaseClassObject(reader);
    QCOMPARE(reader != nullptr, bool(TESSOR_READER_REACHABLE));
    QVERIFY(!IsLibraryLoaded("libKvImgIO"));
}

void ImagePreviewMissingLibraryTest::savePicture(const QString& name, int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = m_dir.filePath(name);
    QVERIFY(image.save(path, "PNG"));
    // The file is a picture the reader takes, when it is there: grey can only come from the
    // missing library.
    if (TESSOR_READER_REACHABLE) QCOMPARE(ReaderFirstPixel(path), colour);
}

void ImagePreviewMissingLibraryTest::openPane(CImagePreviewWnd& pane,
                                              std::shared_ptr<Recordset> rs) {
    pane.resize(260, 420);
    m_messages.clear();
    pane.SetMessageSink([this](QWidget*, const QString& text) { m_messages << text; });
    const QString folder = m_dir.path();
    pane.SetFolderChooser([folder](QWidget*, const QString&) { return folder; });
    Control<QPushButton>(pane, CImagePreviewWnd::IDC_BUTTON_BROWSE)->click();
    auto* ext = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_EXT);
    ext->setCurrentIndex(5);
    emit ext->activated(5);
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_EXT)->text(), QString(".png"));
    pane.SetRecordset(std::move(rs));
}

void ImagePreviewMissingLibraryTest::existingPicturesStayGreyOnPaneAndScreen() {
    savePicture("A001.png", 40, 20, kRed);
    savePicture("B002.png", 20, 40, kBlue);
    auto store = std::make_unique<RowStore>(std::vector<ColumnInfo>{TextColumn("Code")});
    store->appendRow(std::vector<Variant>{Variant("A001")});
    store->appendRow(std::vector<Variant>{Variant("B002")});
    auto rs = Recordset::create();
    rs->openSnapshot(std::move(store));

    CImagePreviewWnd pane;
    const QRect all = pane.OffscreenPicture().rect();
    QCOMPARE(CountOther(pane.OffscreenPicture(), all, kWhite), 0);
    openPane(pane, rs);

    // The path names a file that exists and decodes, yet nothing may be drawn over the grey.
    QCOMPARE(pane.LastPath(), m_dir.filePath("A001.png"));
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_FILENAME)->text(),
             QString("A001"));
    QCOMPARE(pane.OffscreenPicture().size(), QSize(150, 150));
    QCOMPARE(CountOther(pane.OffscreenPicture(), all, kGrey), 0);
    QImage screen = pane.grab().toImage();
    QCOMPARE(CountOther(screen, pane.InnerRect(), kGrey), 0);

    rs->moveNext();
    pane.UpdatePreview();
    QCOMPARE(pane.LastPath(), m_dir.filePath("B002.png"));
    QCOMPARE(CountOther(pane.OffscreenPicture(), all, kGrey), 0);
    screen = pane.grab().toImage();
    QCOMPARE(CountOther(screen, pane.InnerRect(), kGrey), 0);

    // A failed load is not the user's to hear about.
    QVERIFY(m_messages.isEmpty());
    QVERIFY(!IsLibraryLoaded("libKvImgIO"));
    QVERIFY(!IsLibraryLoaded("libKvScaleRot"));
}

// Every way into an update: extensions, columns, records past the end, a new recordset and
// none. Each leaves the frame grey and gives the reader back.
void ImagePreviewMissingLibraryTest::everyChoiceAndRecordLeavesGreyAndNoLibraryLoaded() {
    savePicture("C003.png", 30, 30, kRed);
    savePicture("C003", 30, 30, kBlue);
    savePicture(".png", 10, 10, kRed);
    auto store =
        std::make_unique<RowStore>(std::vector<ColumnInfo>{TextColumn("Code"), TextColumn("File")});
    store->appendRow(std::vector<Variant>{Variant("C003"), Variant("C003.png")});
    store->appendRow(std::vector<Variant>{Variant::null(), Variant("C003")});
    auto rs = Recordset::create();
    rs->openSnapshot(std::move(store));

    CImagePreviewWnd pane;
    openPane(pane, rs);
    const QRect all = pane.OffscreenPicture().rect();
    auto* ext = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_EXT);
    auto* field = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_FIELD);
    QStringList tried;
    for (int record = 0; record < 3; ++record) {
        for (int f = 0; f < field->count(); ++f) {
            field->setCurrentIndex(f);
            emit field->activated(f);
            for (int e = 0; e < ext->count(); ++e) {
                ext->setCurrentIndex(e);
                emit ext->activated(e);
                tried << pane.LastPath();
                QVERIFY2(CountOther(pane.OffscreenPicture(), all, kGrey) == 0,
                         qPrintable(pane.LastPath()));
            }
        }
        if (!rs->isEOF()) rs->moveNext();
        pane.UpdatePreview();
    }
    // The existing pictures were among the paths tried.
    QVERIFY(tried.contains(m_dir.filePath("C003.png")));
    QVERIFY(tried.contains(m_dir.filePath("C003")));
    QVERIFY(tried.contains(m_dir.filePath(".png")));

    pane.SetRecordset(nullptr);
    rs->moveFirst();
    pane.SetRecordset(rs);
    QCOMPARE(CountOther(pane.OffscreenPicture(), all, kGrey), 0);
    // Grabbed first: the grab lays the pane out, which places the frame.
    const QImage screen = pane.grab().toImage();
    QCOMPARE(CountOther(screen, pane.InnerRect(), kGrey), 0);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(!IsLibraryLoaded("libKvImgIO"));
    QVERIFY(!IsLibraryLoaded("libKvScaleRot"));
}

QTEST_MAIN(ImagePreviewMissingLibraryTest)
#include "ImagePreviewMissingLibraryTest.moc"
