#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cstring>
#include <vector>

#include "LoadedLibraries.h"
#include "preview/DibUtil.h"
#include "preview/PlatformFacts.h"

namespace {

// A 24-bit top-down picture owning its pixels.
struct Picture {
    CDibUtil::Bitmap bitmap;
    std::vector<std::uint8_t> pixels;

    Picture(int width, int height, int widthBytes)
        : pixels(static_cast<std::size_t>(height) * widthBytes, 0) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.widthBytes = widthBytes;
        bitmap.planes = 1;
        bitmap.bitsPixel = 24;
        bitmap.bits = pixels.data();
    }
    void set(int x, int y, QRgb c) {
        std::uint8_t* p = &pixels[y * bitmap.widthBytes + 3 * x];
        p[0] = static_cast<std::uint8_t>(qBlue(c));
        p[1] = static_cast<std::uint8_t>(qGreen(c));
        p[2] = static_cast<std::uint8_t>(qRed(c));
    }
};

QRgb Distinct(int x, int y) {
    return qRgb(10 + 60 * x, 20 + 90 * y, 250 - 30 * x - 50 * y);
}

Picture DistinctPicture(int w, int h) {
    Picture p(w, h, CDibUtil::DibRowBytes(w));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.set(x, y, Distinct(x, y));
    return p;
}

QImage WhiteCanvas(int w = 12, int h = 10) {
    QImage canvas(w, h, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    return canvas;
}

const char* const kScalerFile = "libKvScaleRot";

}  // namespace

// Three pixels wide: working rows 10 bytes (even), device rows 12 (multiple of 4); four wide: 12
// and 12. The device copy is bottom row first and keeps each row's tail zero.
TEST(DibUtil, RowSizesAndBottomUpCopy) {
    EXPECT_EQ(CDibUtil::WorkRowBytes(3), 10);
    EXPECT_EQ(CDibUtil::DibRowBytes(3), 12);
    EXPECT_EQ(CDibUtil::WorkRowBytes(4), 12);
    EXPECT_EQ(CDibUtil::DibRowBytes(4), 12);
    EXPECT_EQ(CDibUtil::WorkRowBytes(1), 4);
    EXPECT_EQ(CDibUtil::DibRowBytes(1), 4);

    Picture work(3, 2, CDibUtil::WorkRowBytes(3));
    for (std::size_t i = 0; i < work.pixels.size(); ++i)
        work.pixels[i] = static_cast<std::uint8_t>(i + 1);
    std::vector<std::uint8_t> dib(2 * 12, 0);
    CDibUtil::CopyRowsBottomUp(work.bitmap, dib.data(), 12);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(dib[i], 11 + i) << "first stored row is the picture's last";
        EXPECT_EQ(dib[12 + i], 1 + i);
    }
    EXPECT_EQ(dib[10], 0);
    EXPECT_EQ(dib[11], 0);
    EXPECT_EQ(dib[23], 0);

    // Rows longer than the device row are cut, never written past it.
    Picture wide(3, 2, 16);
    std::memset(wide.pixels.data(), 0x77, wide.pixels.size());
    std::vector<std::uint8_t> exact(2 * 12, 0);
    CDibUtil::CopyRowsBottomUp(wide.bitmap, exact.data(), 12);
    EXPECT_EQ(exact[23], 0x77);
}

TEST(DibUtil, MissingDeviceContextFailsBeforeLoadingAnything) {
    Picture picture = DistinctPicture(3, 2);
    CDibUtil util;
    EXPECT_EQ(util.m_nLastError, 0);
    EXPECT_EQ(util.DIBShow(nullptr, &picture.bitmap, 0, 0, 6, 4, 0, 0, 3, 2), -1);
    EXPECT_EQ(util.m_nLastError, -1);
    EXPECT_EQ(util.m_strLastError, QStringLiteral("DIBShow wrong parameter!"));
    EXPECT_FALSE(IsLibraryLoaded(kScalerFile));
}

// Sizes that would divide by zero or make the copy read past the caller's rows.
TEST(DibUtil, UnusablePicturesAndSizesAreRefused) {
    Picture picture = DistinctPicture(3, 2);
    Picture shortRows(3, 2, 8);
    Picture wrongDepth = DistinctPicture(3, 2);
    wrongDepth.bitmap.bitsPixel = 32;
    QImage canvas = WhiteCanvas();
    QPainter painter(&canvas);
    CDibUtil util;
    EXPECT_EQ(util.DIBShow(&painter, nullptr, 0, 0, 3, 2, 0, 0, 3, 2), -2);
    EXPECT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 0, 3, 2, 0, 0, 0, 2), -2);
    EXPECT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 0, 0, 2, 0, 0, 3, 2), -2);
    EXPECT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 0, 3, -2, 0, 0, 3, 2), -2);
    EXPECT_EQ(util.DIBShow(&painter, &shortRows.bitmap, 0, 0, 3, 2, 0, 0, 3, 2), -2);
    EXPECT_EQ(util.DIBShow(&painter, &wrongDepth.bitmap, 0, 0, 3, 2, 0, 0, 3, 2), -2);
    EXPECT_EQ(util.m_strLastError, QStringLiteral("DIBShow wrong parameter!"));
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_FALSE(IsLibraryLoaded(kScalerFile));
}

TEST(DibUtil, SameSizeDrawsEveryPixelInPlaceAndUnloadsTheScaler) {
    Picture picture = DistinctPicture(3, 2);
    QImage canvas = WhiteCanvas();
    QPainter painter(&canvas);
    CDibUtil util;
    ASSERT_EQ(util.DIBShow(&painter, &picture.bitmap, 2, 1, 3, 2, 0, 0, 3, 2), 1)
        << util.m_strLastError.toStdString();
    painter.end();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(canvas.pixel(2 + x, 1 + y), Distinct(x, y)) << x << "," << y;
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(5, 1), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(2, 0), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(2, 3), qRgb(255, 255, 255));
    EXPECT_FALSE(IsLibraryLoaded(kScalerFile));
}

// Source rectangles count from the picture's top although the device rows count from the bottom.
TEST(DibUtil, SourceRectanglePicksThatPartOfThePicture) {
    Picture picture = DistinctPicture(4, 3);
    QImage canvas = WhiteCanvas();
    QPainter painter(&canvas);
    CDibUtil util;
    ASSERT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 0, 2, 2, 2, 0, 2, 2), 1);
    ASSERT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 5, 4, 1, 0, 2, 4, 1), 1);
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), Distinct(2, 0));
    EXPECT_EQ(canvas.pixel(1, 1), Distinct(3, 1));
    EXPECT_EQ(canvas.pixel(2, 0), qRgb(255, 255, 255));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(canvas.pixel(x, 5), Distinct(x, 2)) << x;
    EXPECT_EQ(canvas.pixel(0, 6), qRgb(255, 255, 255));
}

TEST(DibUtil, ShrinkingAveragesAndEnlargingInterpolates) {
    Picture blocks(4, 2, 12);
    const QRgb left = qRgb(200, 0, 100), right = qRgb(0, 200, 40);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            blocks.set(x, y, x < 2 ? left : right);
    blocks.set(0, 0, qRgb(0, 0, 100));  // one pixel of the left block darker in red
    QImage canvas = WhiteCanvas(20, 6);
    QPainter painter(&canvas);
    CDibUtil util;
    ASSERT_EQ(util.DIBShow(&painter, &blocks.bitmap, 1, 1, 2, 1, 0, 0, 4, 2), 1)
        << util.m_strLastError.toStdString();
    Picture pair(2, 1, 8);
    pair.set(0, 0, qRgb(0, 0, 0));
    pair.set(1, 0, qRgb(240, 240, 240));
    ASSERT_EQ(util.DIBShow(&painter, &pair.bitmap, 0, 4, 16, 1, 0, 0, 2, 1), 1);
    painter.end();

    EXPECT_NEAR(qRed(canvas.pixel(1, 1)), 150, 1);
    EXPECT_NEAR(qBlue(canvas.pixel(1, 1)), 100, 1);
    EXPECT_NEAR(qGreen(canvas.pixel(2, 1)), 200, 1);
    EXPECT_EQ(canvas.pixel(3, 1), qRgb(255, 255, 255));

    int steps = 0;
    for (int x = 1; x < 16; ++x) {
        EXPECT_GE(qGreen(canvas.pixel(x, 4)), qGreen(canvas.pixel(x - 1, 4)));
        if (canvas.pixel(x, 4) != canvas.pixel(x - 1, 4)) ++steps;
    }
    EXPECT_GE(steps, 6) << "enlarged picture shows blocks instead of a ramp";
}

// The fitted size of a wide picture in a square frame, as the preview pane draws it.
TEST(DibUtil, FittedWidePictureFillsOnlyItsBand) {
    Picture wide(200, 100, CDibUtil::DibRowBytes(200));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            wide.set(x, y, qRgb(0, 0, 255));
    QImage canvas(150, 150, QImage::Format_RGB32);
    canvas.fill(qRgb(125, 125, 125));
    QPainter painter(&canvas);
    CDibUtil util;
    ASSERT_EQ(util.DIBShow(&painter, &wide.bitmap, 0, 37, 150, 75, 0, 0, 200, 100), 1);
    painter.end();
    EXPECT_EQ(canvas.pixel(75, 36), qRgb(125, 125, 125));
    EXPECT_EQ(canvas.pixel(0, 37), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(149, 111), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(75, 112), qRgb(125, 125, 125));
}

TEST(DibUtil, InactiveDeviceFailsTheTransferAndKeepsTheErrorAfterLaterSuccess) {
    Picture picture = DistinctPicture(3, 2);
    QPainter idle;
    CDibUtil util;
    EXPECT_EQ(util.DIBShow(&idle, &picture.bitmap, 0, 0, 6, 4, 0, 0, 3, 2), -2);
    EXPECT_EQ(util.m_strLastError, QStringLiteral("StretchDIBits fail!"));
    EXPECT_FALSE(IsLibraryLoaded(kScalerFile));

    QImage canvas = WhiteCanvas();
    QPainter painter(&canvas);
    EXPECT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 0, 3, 2, 0, 0, 3, 2), 1);
    EXPECT_EQ(util.m_nLastError, -2);
    EXPECT_EQ(util.m_strLastError, QStringLiteral("StretchDIBits fail!"));
}

// A destination so large that the working picture would be gigabytes is refused, not allocated.
TEST(DibUtil, HugeDestinationIsRefusedAsMemoryFailure) {
    Picture picture = DistinctPicture(2, 2);
    QImage canvas = WhiteCanvas();
    QPainter painter(&canvas);
    CDibUtil util;
    EXPECT_EQ(util.DIBShow(&painter, &picture.bitmap, 0, 0, 2000000000, 2000000000, 0, 0, 2, 2),
              -2);
    EXPECT_EQ(util.m_strLastError, QStringLiteral("DIBShow allocate memory fail!"));
    EXPECT_FALSE(IsLibraryLoaded(kScalerFile));
}

TEST(DibUtil, LoaderGivesObjectsAndReleaseUnloadsTheirLibrary) {
    using tessor::plugin::ImageReader;
    using tessor::plugin::Scaler;
    ASSERT_FALSE(IsLibraryLoaded(kScalerFile));
    CDibUtil::PluginObject* scaler = CDibUtil::LoadClassObject(CDibUtil::kScaleRotLibrary);
    ASSERT_NE(scaler, nullptr);
    EXPECT_TRUE(IsLibraryLoaded(kScalerFile));
    EXPECT_NE(scaler->moduleHandle(), nullptr);
    EXPECT_NE(tessor::plugin::pluginCast<Scaler>(scaler), nullptr);
    EXPECT_EQ(tessor::plugin::pluginCast<ImageReader>(scaler), nullptr);

    CDibUtil::PluginObject* reader = CDibUtil::LoadClassObject(CDibUtil::kImgIoLibrary);
    ASSERT_NE(reader, nullptr);
    EXPECT_NE(tessor::plugin::pluginCast<ImageReader>(reader), nullptr);

    CDibUtil::ReleaseClassObject(scaler);
    EXPECT_FALSE(IsLibraryLoaded(kScalerFile));
    EXPECT_TRUE(IsLibraryLoaded("libKvImgIO"));
    CDibUtil::ReleaseClassObject(reader);
    EXPECT_FALSE(IsLibraryLoaded("libKvImgIO"));
    CDibUtil::ReleaseClassObject(nullptr);

    // Loaded again after unloading, the library works as before.
    scaler = CDibUtil::LoadClassObject(CDibUtil::kScaleRotLibrary);
    ASSERT_NE(scaler, nullptr);
    int w = 0, h = 0;
    tessor::plugin::pluginCast<Scaler>(scaler)->setTarget(7, 9, 0, &w, &h);
    EXPECT_EQ(w, 7);
    CDibUtil::ReleaseClassObject(scaler);
}

TEST(DibUtil, LoaderRefusesMissingNamesLibrariesAndExports) {
    EXPECT_EQ(CDibUtil::LoadClassObject(nullptr), nullptr);
    EXPECT_EQ(CDibUtil::LoadClassObject(""), nullptr);
    EXPECT_EQ(CDibUtil::LoadClassObject("libKvNoSuchLibrary.so"), nullptr);
    // A real library without the export.
    EXPECT_EQ(CDibUtil::LoadClassObject("libz.so.1"), nullptr);
}

namespace {

class FakeFacts : public PlatformFacts {
public:
    FakeFacts(unsigned platform, unsigned major, unsigned minor, bool wow64, bool exWorks = true)
        : m_info{platform, major, minor}, m_wow64(wow64), m_exWorks(exWorks) {}
    bool QueryVersionEx(VersionInfo& info) const override {
        if (m_exWorks) info = m_info;
        return m_exWorks;
    }
    bool QueryVersion(VersionInfo& info) const override {
        info = m_info;
        return true;
    }
    bool HasWow64Probe() const override { return m_hasProbe; }
    bool RunsUnderWow64() const override { return m_wow64; }
    bool m_hasProbe = true;

private:
    VersionInfo m_info;
    bool m_wow64;
    bool m_exWorks;
};

}  // namespace

TEST(DibUtil, VersionCodeTable) {
    struct Row {
        unsigned platform, major, minor;
        bool wow64;
        int code;
    } rows[] = {
        {1, 4, 90, false, 3}, {1, 4, 0, false, 1},   {1, 4, 9, false, 1}, {1, 4, 10, false, 2},
        {1, 4, 91, true, 2},  {2, 10, 0, false, 10}, {2, 6, 0, true, 11}, {2, 6, 1, false, 10},
        {2, 5, 1, true, 9},   {2, 5, 0, true, 9},    {2, 5, 2, false, 8}, {2, 5, 3, false, 8},
        {2, 5, 1, false, 6},  {2, 5, 0, false, 5},   {2, 4, 0, true, 4},  {2, 3, 51, false, 0},
        {0, 6, 0, false, 0},  {3, 10, 0, false, 0},
    };
    for (const Row& r : rows) {
        FakeFacts facts(r.platform, r.major, r.minor, r.wow64);
        EXPECT_EQ(CDibUtil(facts).GetWindowsVersion(), r.code)
            << r.platform << " " << r.major << "." << r.minor << (r.wow64 ? " wow64" : "");
    }
    // The basic record answers when the extended one is refused.
    FakeFacts basicOnly(2, 5, 1, false, false);
    EXPECT_EQ(CDibUtil(basicOnly).GetWindowsVersion(), 6);
    // Without the probe nothing counts as WOW64.
    FakeFacts noProbe(2, 6, 0, true);
    noProbe.m_hasProbe = false;
    EXPECT_FALSE(CDibUtil(noProbe).IsWow64());
    EXPECT_EQ(CDibUtil(noProbe).GetWindowsVersion(), 10);
}

TEST(DibUtil, ThisSystemReportsTheCurrentFamily) {
    const int expected = (sizeof(void*) == 4 && CDibUtil().IsWow64()) ? 11 : 10;
    EXPECT_EQ(CDibUtil().GetWindowsVersion(), expected);
    if (sizeof(void*) == 8) {
        EXPECT_FALSE(CDibUtil().IsWow64());
    }
}

TEST(DibUtil, MemoryPictureIsFilledAndReportsThePreviousDevice) {
    QImage reference(1, 1, QImage::Format_RGB32);
    QImage first;
    QPainter memDC;
    QPaintDevice* old = reinterpret_cast<QPaintDevice*>(1);
    ASSERT_TRUE(CDibUtil::CreateMemoryPicture(&memDC, &reference, &first, 10, 20, 30, 25,
                                              QColor(255, 255, 255), &old));
    EXPECT_EQ(old, nullptr);
    EXPECT_TRUE(memDC.isActive());
    EXPECT_EQ(first.size(), QSize(20, 5));
    EXPECT_EQ(first.format(), QImage::Format_RGB32);

    QImage second;
    ASSERT_TRUE(CDibUtil::CreateMemoryPicture(&memDC, &reference, &second, 0, 0, 4, 3,
                                              QColor(125, 125, 125), &old));
    EXPECT_EQ(old, &first);
    EXPECT_EQ(memDC.device(), &second);
    memDC.end();
    EXPECT_EQ(first.pixel(19, 4), qRgb(255, 255, 255));
    EXPECT_EQ(second.pixel(3, 2), qRgb(125, 125, 125));

    QImage empty;
    EXPECT_FALSE(CDibUtil::CreateMemoryPicture(&memDC, &reference, &empty, 5, 5, 5, 9, Qt::white));
    EXPECT_FALSE(CDibUtil::CreateMemoryPicture(&memDC, &reference, &empty, 9, 0, 5, 9, Qt::white));
    EXPECT_FALSE(CDibUtil::CreateMemoryPicture(nullptr, &reference, &empty, 0, 0, 5, 9, Qt::white));
    EXPECT_TRUE(empty.isNull());
}
