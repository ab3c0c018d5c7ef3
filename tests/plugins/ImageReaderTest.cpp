#include <Magick++.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "PluginLoader.h"
#include "TestPictures.h"

using tessor::plugin::Bitmap;
using tessor::plugin::ImageReader;
using tessor::plugin::ReaderScratch;

namespace {

struct Decoded {
    bool recognised = false;
    bool decoded = false;
    Bitmap description;
    std::vector<std::uint8_t> pixels;
};

// Runs the reader the way the preview pane does: open, allocate, decode, close.
Decoded readPicture(ImageReader& reader, const std::string& path) {
    Decoded out;
    char pathCopy[tessor::plugin::kReaderPathSize] = {};
    std::strncpy(pathCopy, path.c_str(), sizeof pathCopy - 1);
    ReaderScratch first;
    out.recognised = reader.openImage(pathCopy, &first, 1, &out.description) != 0;
    if (!out.recognised) return out;
    // Filled with a marker so unwritten padding shows.
    out.pixels.assign(static_cast<std::size_t>(out.description.height) * out.description.widthBytes,
                      0xCD);
    out.description.bits = out.pixels.data();
    ReaderScratch second;
    out.decoded = reader.decodeImage(&second, 1, &out.description, 0, 0) != 0;
    reader.closeImage();
    return out;
}

void expectPixels(const Decoded& d, const TestPicture& expected, int tolerance,
                  const std::string& what) {
    ASSERT_TRUE(d.recognised) << what;
    ASSERT_TRUE(d.decoded) << what;
    ASSERT_EQ(d.description.width, expected.width) << what;
    ASSERT_EQ(d.description.height, expected.height) << what;
    EXPECT_EQ(d.description.bitsPixel, 24) << what;
    ASSERT_EQ(d.description.widthBytes, (3 * expected.width + 3) / 4 * 4) << what;
    for (int y = 0; y < expected.height; ++y) {
        const std::uint8_t* row = d.pixels.data() + y * d.description.widthBytes;
        for (int x = 0; x < expected.width; ++x) {
            const std::uint8_t* want = expected.at(x, y);
            // Stored blue, green, red.
            EXPECT_NEAR(row[3 * x + 0], want[2], tolerance) << what << " blue at " << x << "," << y;
            EXPECT_NEAR(row[3 * x + 1], want[1], tolerance)
                << what << " green at " << x << "," << y;
            EXPECT_NEAR(row[3 * x + 2], want[0], tolerance) << what << " red at " << x << "," << y;
        }
        for (int i = 3 * expected.width; i < d.description.widthBytes; ++i)
            EXPECT_EQ(row[i], 0) << what << " padding of row " << y;
    }
}

class ImageReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(m_plugin.object(), nullptr) << m_plugin.error();
        m_reader = m_plugin.as<ImageReader>();
        ASSERT_NE(m_reader, nullptr);
    }
    PluginLoader m_plugin{"libKvImgIO.so"};
    ImageReader* m_reader = nullptr;
    TempFolder m_folder;
};

}  // namespace

TEST_F(ImageReaderTest, ScalerLibraryIsNoImageReader) {
    PluginLoader other("libKvScaleRot.so");
    ASSERT_NE(other.object(), nullptr);
    EXPECT_EQ(other.as<ImageReader>(), nullptr);
}

// Five pixels wide, so every row carries one byte of padding.
TEST_F(ImageReaderTest, EveryFormatDecodesToBlueGreenRedTopDown) {
    const TestPicture picture = distinctPicture(5, 3);
    struct Case {
        const char* ext;
        int tolerance;
    } cases[] = {{"bmp", 0}, {"png", 0},  {"tif", 0},  {"pcx", 0},
                 {"gif", 0}, {"jpg", 40}, {"jpeg", 40}};
    for (const Case& c : cases) {
        const auto path = m_folder.file(std::string("pic.") + c.ext);
        writeWithGraphicsMagick(picture, path);
        expectPixels(readPicture(*m_reader, path.string()), picture, c.tolerance, c.ext);
    }
}

TEST_F(ImageReaderTest, TgaBothOrientationsAndUpperCaseExtension) {
    const TestPicture picture = distinctPicture(3, 4);
    writeTga(picture, m_folder.file("bottom.tga"), false);
    writeTga(picture, m_folder.file("top.TGA"), true);
    expectPixels(readPicture(*m_reader, m_folder.file("bottom.tga").string()), picture, 0,
                 "bottom-first tga");
    expectPixels(readPicture(*m_reader, m_folder.file("top.TGA").string()), picture, 0,
                 "top-first tga");
}

TEST_F(ImageReaderTest, CmykJpegComesOutAsRgb) {
    // Ink values C 0, M 200, Y 150, K 50 give red 205, green 44, blue 84 on paper.
    std::vector<std::uint8_t> ink;
    for (int i = 0; i < 16 * 16; ++i)
        ink.insert(ink.end(), {0, 200, 150, 50});
    Magick::Image cmyk(16, 16, "CMYK", Magick::CharPixel, ink.data());
    cmyk.quality(100);
    const auto path = m_folder.file("cmyk.jpg");
    cmyk.write(path.string());
    ASSERT_EQ(Magick::Image(path.string()).colorSpace(), Magick::CMYKColorspace)
        << "test file is not CMYK";
    TestPicture expected{16, 16, {}};
    for (int i = 0; i < 16 * 16; ++i)
        expected.rgb.insert(expected.rgb.end(), {205, 44, 84});
    expectPixels(readPicture(*m_reader, path.string()), expected, 6, "cmyk jpeg");
}

TEST_F(ImageReaderTest, OnlyTheFirstFrameOfAnAnimationIsRead) {
    const TestPicture a = distinctPicture(4, 2);
    TestPicture b = a;
    for (auto& v : b.rgb)
        v = static_cast<std::uint8_t>(255 - v);
    std::vector<Magick::Image> frames{Magick::Image(4, 2, "RGB", Magick::CharPixel, a.rgb.data()),
                                      Magick::Image(4, 2, "RGB", Magick::CharPixel, b.rgb.data())};
    const auto path = m_folder.file("anim.gif");
    Magick::writeImages(frames.begin(), frames.end(), path.string());
    expectPixels(readPicture(*m_reader, path.string()), a, 0, "first frame");
}

TEST_F(ImageReaderTest, UnreadableFilesAreNotRecognised) {
    writeBytes(m_folder.file("junk.png"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    writeBytes(m_folder.file("empty.jpg"), {});
    // A PNG signature followed by nothing useful.
    writeBytes(m_folder.file("cut.png"),
               {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13});
    for (const char* name : {"junk.png", "empty.jpg", "cut.png", "missing.bmp"})
        EXPECT_FALSE(readPicture(*m_reader, m_folder.file(name).string()).recognised) << name;
    // A folder is no picture.
    EXPECT_FALSE(readPicture(*m_reader, m_folder.file("").string()).recognised);
}

// Content decides over the name, but only among the preview's formats: other formats the
// library knows (here a plain PPM and a PostScript text) are not decoded at all.
TEST_F(ImageReaderTest, SignatureDecidesAndOtherFormatsAreRefused) {
    const TestPicture picture = distinctPicture(3, 2);
    writeWithGraphicsMagick(picture, m_folder.file("real.png"));
    std::filesystem::rename(m_folder.file("real.png"), m_folder.file("named.tga"));
    expectPixels(readPicture(*m_reader, m_folder.file("named.tga").string()), picture, 0,
                 "png named tga");

    writeWithGraphicsMagick(picture, m_folder.file("pic.ppm"));
    std::filesystem::rename(m_folder.file("pic.ppm"), m_folder.file("ppm.png"));
    EXPECT_FALSE(readPicture(*m_reader, m_folder.file("ppm.png").string()).recognised);
    const std::string ps = "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 4 4\nshowpage\n";
    writeBytes(m_folder.file("ps.jpg"), std::vector<std::uint8_t>(ps.begin(), ps.end()));
    EXPECT_FALSE(readPicture(*m_reader, m_folder.file("ps.jpg").string()).recognised);
}

TEST_F(ImageReaderTest, ForgedHugeSizeIsRefusedAtOnce) {
    // A TGA header claiming 60000 x 60000 pixels with almost no data.
    std::vector<std::uint8_t> header(18, 0);
    header[2] = 2;
    header[12] = 0x60;
    header[13] = 0xEA;
    header[14] = 0x60;
    header[15] = 0xEA;
    header[16] = 24;
    header.resize(18 + 30, 7);
    writeBytes(m_folder.file("huge.tga"), header);
    // Refused from its header (the test's time limit catches a reader that tries to decode).
    EXPECT_FALSE(readPicture(*m_reader, m_folder.file("huge.tga").string()).recognised);
}

TEST_F(ImageReaderTest, UnterminatedPathIsRefused) {
    char path[tessor::plugin::kReaderPathSize];
    std::memset(path, 'a', sizeof path);
    ReaderScratch scratch;
    Bitmap description;
    EXPECT_EQ(m_reader->openImage(path, &scratch, 1, &description), 0);
    EXPECT_EQ(m_reader->openImage(nullptr, &scratch, 1, &description), 0);
}

TEST_F(ImageReaderTest, DecodeRefusesADescriptionOtherThanTheOneReported) {
    const TestPicture picture = distinctPicture(4, 3);
    const auto path = m_folder.file("pic.bmp");
    writeWithGraphicsMagick(picture, path);
    char pathCopy[tessor::plugin::kReaderPathSize] = {};
    std::strncpy(pathCopy, path.c_str(), sizeof pathCopy - 1);
    ReaderScratch scratch;
    Bitmap description;
    ASSERT_NE(m_reader->openImage(pathCopy, &scratch, 1, &description), 0);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(description.height) *
                                     description.widthBytes);
    description.bits = pixels.data();

    Bitmap taller = description;
    taller.height += 1;
    EXPECT_EQ(m_reader->decodeImage(&scratch, 1, &taller, 0, 0), 0);
    Bitmap shortRows = description;
    shortRows.widthBytes = 3 * description.width - 1;
    EXPECT_EQ(m_reader->decodeImage(&scratch, 1, &shortRows, 0, 0), 0);
    Bitmap noPixels = description;
    noPixels.bits = nullptr;
    EXPECT_EQ(m_reader->decodeImage(&scratch, 1, &noPixels, 0, 0), 0);
    EXPECT_NE(m_reader->decodeImage(&scratch, 1, &description, 0, 0), 0);
    m_reader->closeImage();
    // After closing there is nothing left to decode.
    EXPECT_EQ(m_reader->decodeImage(&scratch, 1, &description, 0, 0), 0);
}
