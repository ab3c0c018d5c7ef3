#include "provider/ColumnInfo.h"
#include "provider/Recordset.h"
#include "provider/RowStore.h"
#include "provider/Variant.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "preview/ImagePreviewWnd.h"

using tessor::provider::ColumnInfo;
using tessor::provider::DataType;
using tessor::provider::Recordset;
using tessor::provider::RowStore;
using tessor::provider::Variant;

namespace {

const QRgb kGrey = qRgb(125, 125, 125);
const QRgb kRed = qRgb(255, 0, 0);

std::shared_ptr<Recordset> MakeRecordset(const std::vector<ColumnInfo>& columns,
                                         const std::vector<std::vector<Variant>>& rows) {
    auto store = std::make_unique<RowStore>(columns);
    for (const auto& row : rows)
        store->appendRow(row);
    auto rs = Recordset::create();
    rs->openSnapshot(std::move(store));
    return rs;
}

ColumnInfo Column(const char* name, DataType type = DataType::VarWChar) {
    ColumnInfo c;
    c.name = name;
    c.type = type;
    c.definedSize = type == DataType::VarWChar ? 255 : 8;
    return c;
}

void SavePicture(const QString& path, int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "PNG"));
}

template <class T>
T* Control(CImagePreviewWnd& pane, int id) {
    return pane.findChild<T*>(QString::number(id));
}

void ChooseExtension(CImagePreviewWnd& pane, int index) {
    auto* combo = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_EXT);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void ChooseFolder(CImagePreviewWnd& pane, const QString& folder) {
    pane.SetFolderChooser([folder](QWidget*, const QString& title) {
        return title == QLatin1String("Database Folder") ? folder : QString();
    });
    Control<QPushButton>(pane, CImagePreviewWnd::IDC_BUTTON_BROWSE)->click();
}

bool IsGrey(const QImage& picture) {
    return picture.pixel(0, 0) == kGrey &&
           picture.pixel(picture.width() / 2, picture.height() / 2) == kGrey;
}

}  // namespace

class ImagePreviewWndTest : public QObject {
    Q_OBJECT

private slots:
    void fitKeepsTheLongerSideAndCentres();
    void startsWhiteWithTheExtensionChoices();
    void drawsFolderValueAndExtensionFitted();
    void nullDateAndMissingFilesShowGrey();
    void unchangedPathIsNotLoadedAgain();
    void columnChoiceFollowsTheRecordsetByName();
    void overlongPathIsRefusedNotCut();
    void providerErrorIsShownAndClosedRecordsetNamesNothing();
    void screenShowsTheOffscreenPicture();

private:
    QTemporaryDir m_dir;
};

void ImagePreviewWndTest::fitKeepsTheLongerSideAndCentres() {
    QCOMPARE(CImagePreviewWnd::FitPicture(150, 150, 200, 100), QRect(0, 37, 150, 75));
    QCOMPARE(CImagePreviewWnd::FitPicture(150, 150, 100, 200), QRect(37, 0, 75, 150));
    QCOMPARE(CImagePreviewWnd::FitPicture(150, 150, 30, 30), QRect(0, 0, 150, 150));
    // Only the picture's own orientation decides: slightly wide in a low frame is cut.
    QCOMPARE(CImagePreviewWnd::FitPicture(150, 80, 110, 100), QRect(0, -28, 150, 136));
    QCOMPARE(CImagePreviewWnd::FitPicture(150, 150, 0, 10), QRect());
}

void ImagePreviewWndTest::startsWhiteWithTheExtensionChoices() {
    CImagePreviewWnd pane;
    auto* ext = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_EXT);
    QStringList items;
    for (int i = 0; i < ext->count(); ++i)
        items << ext->itemText(i);
    QCOMPARE(items,
             QStringList({"", ".jpg", ".bmp", ".tif", ".pcx", ".png", ".tga", ".gif", ".jpeg"}));
    QCOMPARE(ext->currentIndex(), 0);
    QCOMPARE(pane.OffscreenPicture().size(), QSize(150, 150));
    QCOMPARE(pane.OffscreenPicture().pixel(75, 75), qRgb(255, 255, 255));
    QVERIFY(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_FILENAME)->isReadOnly());
}

void ImagePreviewWndTest::drawsFolderValueAndExtensionFitted() {
    QVERIFY(m_dir.isValid());
    SavePicture(m_dir.filePath("A001.png"), 40, 20, kRed);
    SavePicture(m_dir.filePath("B002.png"), 20, 40, qRgb(0, 0, 255));
    auto rs = MakeRecordset(
        {Column("Id", DataType::Integer), Column("Code")},
        {{Variant(int32_t(1)), Variant("A001")}, {Variant(int32_t(2)), Variant("B002.png")}});
    CImagePreviewWnd pane;
    ChooseFolder(pane, m_dir.path());
    pane.SetRecordset(rs);
    auto* field = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_FIELD);
    QCOMPARE(field->count(), 2);
    QCOMPARE(field->currentIndex(), 0);
    // First column, no extension: folder/1 does not exist.
    QCOMPARE(pane.LastPath(), m_dir.path() + "/1");
    QVERIFY(IsGrey(pane.OffscreenPicture()));

    field->setCurrentIndex(1);
    emit field->activated(1);
    ChooseExtension(pane, 5);
    QCOMPARE(pane.LastPath(), m_dir.path() + "/A001.png");
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_FILENAME)->text(),
             QString("A001"));
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_EXT)->text(), QString(".png"));
    const QImage& shown = pane.OffscreenPicture();
    QCOMPARE(shown.pixel(75, 36), kGrey);
    QCOMPARE(shown.pixel(75, 37), kRed);
    QCOMPARE(shown.pixel(0, 111), kRed);
    QCOMPARE(shown.pixel(149, 111), kRed);
    QCOMPARE(shown.pixel(75, 112), kGrey);

    // A value that already ends in the extension works with the empty choice.
    rs->moveNext();
    ChooseExtension(pane, 0);
    QCOMPARE(pane.LastPath(), m_dir.path() + "/B002.png");
    QCOMPARE(shown.pixel(36, 75), kGrey);
    QCOMPARE(pane.OffscreenPicture().pixel(37, 75), qRgb(0, 0, 255));
    QCOMPARE(pane.OffscreenPicture().pixel(111, 75), qRgb(0, 0, 255));
    QCOMPARE(pane.OffscreenPicture().pixel(112, 75), kGrey);
}

void ImagePreviewWndTest::nullDateAndMissingFilesShowGrey() {
    SavePicture(m_dir.filePath(".png"), 10, 10, kRed);
    SavePicture(m_dir.filePath("X.png"), 10, 10, kRed);
    tessor::provider::Date date{39569.5729166667};  // 2008-05-01 13:45:00
    auto rs = MakeRecordset(
        {Column("Code"), Column("When", DataType::Date)},
        {{Variant("X"), Variant(date)}, {Variant::null(), Variant(tessor::provider::Date{0.0})}});
    CImagePreviewWnd pane;
    ChooseFolder(pane, m_dir.path());
    ChooseExtension(pane, 5);
    pane.SetRecordset(rs);
    QCOMPARE(pane.OffscreenPicture().pixel(75, 75), kRed);

    auto* field = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_FIELD);
    field->setCurrentIndex(1);
    emit field->activated(1);
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_FILENAME)->text(),
             QString("2008/05/01 13:45:00"));
    QVERIFY(IsGrey(pane.OffscreenPicture()));

    // Null: folder, separator and extension; the file ".png" exists there and is drawn.
    rs->moveNext();
    field->setCurrentIndex(0);
    emit field->activated(0);
    QCOMPARE(pane.LastPath(), m_dir.path() + "/.png");
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_FILENAME)->text(), QString());
    QCOMPARE(pane.OffscreenPicture().pixel(75, 75), kRed);

    // Past the last record there is no file name at all: the bare folder plus extension.
    rs->moveNext();
    pane.UpdatePreview();
    QCOMPARE(pane.LastPath(), m_dir.path() + ".png");
    QVERIFY(IsGrey(pane.OffscreenPicture()));

    // Not a picture at all.
    QFile junk(m_dir.filePath("junk.png"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    auto rs2 = MakeRecordset({Column("Code")}, {{Variant("junk")}});
    pane.SetRecordset(rs2);
    QCOMPARE(pane.LastPath(), m_dir.path() + "/junk.png");
    QVERIFY(IsGrey(pane.OffscreenPicture()));
}

void ImagePreviewWndTest::unchangedPathIsNotLoadedAgain() {
    SavePicture(m_dir.filePath("same.png"), 10, 10, kRed);
    auto rs = MakeRecordset({Column("Code")}, {{Variant("same")}, {Variant("same")}});
    CImagePreviewWnd pane;
    ChooseFolder(pane, m_dir.path());
    ChooseExtension(pane, 5);
    pane.SetRecordset(rs);
    QCOMPARE(pane.OffscreenPicture().pixel(5, 5), kRed);
    // Were the file read again it would be missing now and the frame grey.
    QVERIFY(QFile::remove(m_dir.filePath("same.png")));
    rs->moveNext();
    pane.UpdatePreview();
    QCOMPARE(pane.LastPath(), m_dir.path() + "/same.png");
    QCOMPARE(pane.OffscreenPicture().pixel(5, 5), kRed);
}

void ImagePreviewWndTest::columnChoiceFollowsTheRecordsetByName() {
    // With no folder and no record the path is empty: it names no file, so none is opened.
    QTest::failOnWarning(QRegularExpression("file name", QRegularExpression::CaseInsensitiveOption));
    CImagePreviewWnd pane;
    auto* field = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_FIELD);
    pane.SetRecordset(MakeRecordset({Column("Id"), Column("Code"), Column("code")},
                                    {{Variant("1"), Variant("2"), Variant("3")}}));
    QCOMPARE(pane.LastPath(), QString("/1"));
    field->setCurrentIndex(1);
    pane.SetRecordset(MakeRecordset({Column("code"), Column("Other"), Column("Code")}, {}));
    QCOMPARE(pane.LastPath(), QString());
    QCOMPARE(field->count(), 3);
    QCOMPARE(field->currentText(), QString("Code"));
    QCOMPARE(field->currentIndex(), 2);
    pane.SetRecordset(MakeRecordset({Column("A"), Column("B")}, {}));
    QCOMPARE(field->currentIndex(), 0);
    pane.SetRecordset(nullptr);
    QCOMPARE(field->count(), 0);
}

void ImagePreviewWndTest::overlongPathIsRefusedNotCut() {
    // A path over 255 bytes whose first 255 bytes name a readable picture too.
    QString folder = m_dir.path();
    while (folder.size() < 240)
        folder += "/" + QString(40, QChar('d'));
    QVERIFY(QDir().mkpath(folder));
    const QString name = QString(300 - folder.size(), QChar('p'));
    SavePicture(folder + "/" + name + ".png", 10, 10, kRed);
    QVERIFY(QFile::exists(folder + "/" + name + ".png"));
    auto rs = MakeRecordset({Column("Code")}, {{Variant(name.toStdString())}});
    CImagePreviewWnd pane;
    ChooseFolder(pane, folder);
    ChooseExtension(pane, 5);
    pane.SetRecordset(rs);
    QCOMPARE(pane.LastPath(), folder + "/" + name + ".png");
    QVERIFY(IsGrey(pane.OffscreenPicture()));
}

// The recordset's columns change under the pane before it is handed over again: reading the
// chosen column fails, and the provider's own text is shown.
void ImagePreviewWndTest::providerErrorIsShownAndClosedRecordsetNamesNothing() {
    auto rs = MakeRecordset({Column("Id"), Column("Code")}, {{Variant("1"), Variant("A")}});
    CImagePreviewWnd pane;
    QStringList messages;
    pane.SetMessageSink([&messages](QWidget*, const QString& text) { messages << text; });
    ChooseFolder(pane, m_dir.path());
    pane.SetRecordset(rs);
    auto* field = Control<QComboBox>(pane, CImagePreviewWnd::IDC_COMBO_FIELD);
    field->setCurrentIndex(1);
    emit field->activated(1);
    QCOMPARE(pane.LastPath(), m_dir.path() + "/A");
    QVERIFY(messages.isEmpty());

    rs->close();
    auto store = std::make_unique<RowStore>(std::vector<ColumnInfo>{Column("Id")});
    store->appendRow(std::vector<Variant>{Variant("2")});
    rs->openSnapshot(std::move(store));
    pane.UpdatePreview();
    QCOMPARE(messages.size(), 1);
    QVERIFY(!messages[0].isEmpty());
    QCOMPARE(pane.LastPath(), m_dir.path() + "/A");

    rs->close();
    pane.UpdatePreview();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(pane.LastPath(), m_dir.path());
    QCOMPARE(Control<QLineEdit>(pane, CImagePreviewWnd::IDC_EDIT_FILENAME)->text(), QString());
}

void ImagePreviewWndTest::screenShowsTheOffscreenPicture() {
    SavePicture(m_dir.filePath("shown.png"), 30, 30, kRed);
    auto rs = MakeRecordset({Column("Code")}, {{Variant("shown")}});
    CImagePreviewWnd pane;
    pane.resize(260, 420);
    ChooseFolder(pane, m_dir.path());
    ChooseExtension(pane, 5);
    pane.SetRecordset(rs);
    const QImage screen = pane.grab().toImage();
    const QRect inner = pane.InnerRect();
    QCOMPARE(inner.size(), QSize(150, 150));
    QCOMPARE(screen.pixel(inner.center()), kRed);
    QCOMPARE(screen.pixel(inner.topLeft()), kRed);
    QVERIFY(screen.pixel(inner.topLeft() - QPoint(2, 2)) != kRed);
}

QTEST_MAIN(ImagePreviewWndTest)
#include "ImagePreviewWndTest.moc"
