#include "TestPictures.h"

#include <Magick++.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace {

// The tests write pictures with GraphicsMagick themselves, before any plugin is loaded.
const bool g_magickReady = [] {
    MagickLib::ExceptionInfo exception;
    MagickLib::GetExceptionInfo(&exception);
    MagickLib::InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
    MagickLib::DestroyExceptionInfo(&exception);
    return true;
}();

}  // namespace

void TestPicture::set(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::uint8_t* p = &rgb[(y * width + x) * 3];
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

TestPicture distinctPicture(int width, int height) {
    TestPicture p{width, height, std::vector<std::uint8_t>(width * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.set(x, y, static_cast<std::uint8_t>(20 + 40 * x),
                  static_cast<std::uint8_t>(30 + 50 * y),
                  static_cast<std::uint8_t>(200 - 10 * x - 20 * y));
    return p;
}

TempFolder::TempFolder() {
    std::random_device rd;
    m_path = std::filesystem::temp_directory_path() /
             ("tessor-pic-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void writeWithGraphicsMagick(const TestPicture& picture, const std::filesystem::path& path,
                             const std::string& colourSpace) {
    Magick::Image image(picture.width, picture.height, "RGB", Magick::CharPixel,
                        picture.rgb.data());
    image.quality(100);
    if (colourSpace == "CMYK") image.colorSpace(Magick::CMYKColorspace);
    image.write(path.string());
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeTga(const TestPicture& picture, const std::filesystem::path& path, bool topFirst) {
    std::vector<std::uint8_t> bytes(18, 0);
    bytes[2] = 2;  // uncompressed true colour
    bytes[12] = static_cast<std::uint8_t>(picture.width & 0xff);
    bytes[13] = static_cast<std::uint8_t>(picture.width >> 8);
    bytes[14] = static_cast<std::uint8_t>(picture.height & 0xff);
    bytes[15] = static_cast<std::uint8_t>(picture.height >> 8);
    bytes[16] = 24;
    bytes[17] = topFirst ? 0x20 : 0x00;  // bit 5: origin at the top
    for (int i = 0; i < picture.height; ++i) {
        const int y = topFirst ? i : picture.height - 1 - i;
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.at(x, y);
            bytes.push_back(p[2]);
            bytes.push_back(p[1]);
            bytes.push_back(p[0]);
        }
    }
    writeBytes(path, bytes);
}
