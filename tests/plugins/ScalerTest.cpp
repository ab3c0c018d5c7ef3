#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "PluginLoader.h"

using tessor::plugin::Bitmap;
using tessor::plugin::Scaler;

namespace {

// A 24-bit picture with its own buffer, rows of the given length.
struct Picture {
    Bitmap bitmap;
    std::vector<std::uint8_t> pixels;

    Picture(int width, int height, int widthBytes, std::uint8_t fill = 0xCD)
        : pixels(static_cast<std::size_t>(height) * widthBytes, fill) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.widthBytes = widthBytes;
        bitmap.planes = 1;
        bitmap.bitsPixel = 24;
        bitmap.bits = pixels.data();
    }
    std::uint8_t* at(int x, int y) { return &pixels[y * bitmap.widthBytes + 3 * x]; }
    void setGrey(int x, int y, std::uint8_t v) { at(x, y)[0] = at(x, y)[1] = at(x, y)[2] = v; }
};

class ScalerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(m_plugin.object(), nullptr) << m_plugin.error();
        m_scaler = m_plugin.as<Scaler>();
        ASSERT_NE(m_scaler, nullptr);
    }
    PluginLoader m_plugin{"libKvScaleRot.so"};
    Scaler* m_scaler = nullptr;
};

}  // namespace

TEST_F(ScalerTest, AnnouncesTheTargetSizeAndAtLeastOnePixel) {
    int w = -1, h = -1;
    m_scaler->setTarget(150, 75, 0, &w, &h);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 75);
    // A side that truncated to nothing still gets one pixel.
    m_scaler->setTarget(0, -3, 0, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

// Shrinking by two: each output pixel is the mean of its 2 x 2 block; the working picture's
// odd row length (3 pixels -> 10 bytes) keeps its padding zero.
TEST_F(ScalerTest, ShrinkAveragesAreas) {
    Picture source(6, 2, 20);
    const std::uint8_t blocks[3][4] = {{0, 100, 200, 40}, {10, 10, 10, 10}, {255, 0, 255, 0}};
    for (int b = 0; b < 3; ++b) {
        source.setGrey(2 * b, 0, blocks[b][0]);
        source.setGrey(2 * b + 1, 0, blocks[b][1]);
        source.setGrey(2 * b, 1, blocks[b][2]);
        source.setGrey(2 * b + 1, 1, blocks[b][3]);
    }
    source.at(0, 0)[0] = 255;  // one blue value off the grey, to catch channel mixing
    Picture target(3, 1, 10);
    ASSERT_NE(m_scaler->process(&source.bitmap, &target.bitmap), 0);
    EXPECT_NEAR(target.at(0, 0)[0], (255 + 100 + 200 + 40) / 4.0, 1);
    EXPECT_NEAR(target.at(0, 0)[1], (0 + 100 + 200 + 40) / 4.0, 1);
    EXPECT_NEAR(target.at(0, 0)[2], (0 + 100 + 200 + 40) / 4.0, 1);
    EXPECT_NEAR(target.at(1, 0)[1], 10, 1);
    EXPECT_NEAR(target.at(2, 0)[1], 127.5, 1);
    EXPECT_EQ(target.pixels[9], 0);
}

// Enlarging a black-to-white pair gives a rising ramp, not two flat halves.
TEST_F(ScalerTest, EnlargeInterpolatesSmoothly) {
    Picture source(2, 1, 8);
    source.setGrey(0, 0, 0);
    source.setGrey(1, 0, 240);
    Picture target(8, 2, 24);
    ASSERT_NE(m_scaler->process(&source.bitmap, &target.bitmap), 0);
    int distinct = 0;
    for (int x = 1; x < 8; ++x) {
        EXPECT_GE(target.at(x, 0)[1], target.at(x - 1, 0)[1]) << x;
        if (target.at(x, 0)[1] != target.at(x - 1, 0)[1]) ++distinct;
    }
    EXPECT_GE(distinct, 4);
    EXPECT_LT(target.at(0, 0)[1], 60);
    EXPECT_GT(target.at(7, 0)[1], 180);
    EXPECT_EQ(target.at(3, 1)[1], target.at(3, 0)[1]);
}

TEST_F(ScalerTest, SameSizeCopiesExactly) {
    Picture source(3, 2, 12);
    for (int i = 0; i < 6; ++i)
        source.setGrey(i % 3, i / 3, static_cast<std::uint8_t>(i * 40));
    Picture target(3, 2, 10);
    ASSERT_NE(m_scaler->process(&source.bitmap, &target.bitmap), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(target.at(i % 3, i / 3)[2], i * 40);
}

TEST_F(ScalerTest, RefusesPicturesItCannotUseSafely) {
    Picture source(4, 4, 12);
    Picture shortRows(4, 4, 11);
    Picture wrongDepth(4, 4, 12);
    wrongDepth.bitmap.bitsPixel = 32;
    Picture noPixels(4, 4, 12);
    noPixels.bitmap.bits = nullptr;
    Picture target(2, 2, 6);
    EXPECT_EQ(m_scaler->process(&shortRows.bitmap, &target.bitmap), 0);
    EXPECT_EQ(m_scaler->process(&source.bitmap, &shortRows.bitmap), 0);
    EXPECT_EQ(m_scaler->process(&wrongDepth.bitmap, &target.bitmap), 0);
    EXPECT_EQ(m_scaler->process(&noPixels.bitmap, &target.bitmap), 0);
    EXPECT_EQ(m_scaler->process(nullptr, &target.bitmap), 0);
    EXPECT_NE(m_scaler->process(&source.bitmap, &target.bitmap), 0);
}
