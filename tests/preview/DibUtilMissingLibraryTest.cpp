#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <vector>

#include "LoadedLibraries.h"
#include "preview/DibUtil.h"

// This test program has no run path to the picture libraries, as a program whose libraries
// were not installed beside it.
TEST(DibUtilMissingLibrary, DrawingFailsWithTheScalerMessageAndLeavesTheCanvas) {
    ASSERT_EQ(CDibUtil::LoadClassObject(CDibUtil::kScaleRotLibrary), nullptr)
        << "the scaler is reachable; this test needs it absent";
    std::vector<std::uint8_t> pixels(12 * 2, 0x40);
    CDibUtil::Bitmap picture;
    picture.width = 4;
    picture.height = 2;
    picture.widthBytes = 12;
    picture.planes = 1;
    picture.bitsPixel = 24;
    picture.bits = pixels.data();

    QImage canvas(10, 10, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    CDibUtil util;
    EXPECT_EQ(util.DIBShow(&painter, &picture, 0, 0, 8, 4, 0, 0, 4, 2), -2);
    EXPECT_EQ(util.m_nLastError, -2);
    EXPECT_EQ(util.m_strLastError, QStringLiteral("KvScaleRotDll.dll CreateSG3Class fail!"));
    // Unscaled drawing needs the scaler all the same.
    EXPECT_EQ(util.DIBShow(&painter, &picture, 0, 0, 4, 2, 0, 0, 4, 2), -2);
    painter.end();
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(255, 255, 255));
}

TEST(DibUtilMissingLibrary, ReaderIsNotFoundEither) {
    EXPECT_EQ(CDibUtil::LoadClassObject(CDibUtil::kImgIoLibrary), nullptr);
    EXPECT_FALSE(IsLibraryLoaded("libKvImgIO"));
}
