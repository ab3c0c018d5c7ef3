#include "ImageDecoder.h"

#include <magick/resource.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <vector>

namespace tessor::imgio {

namespace {

// GraphicsMagick checks these while it decodes, before it allocates the pixel cache, which
// matters for formats whose header only ping can see after reading a lot.
void limitDecoderResources() {
    static std::once_flag once;
    std::call_once(once, [] {
        MagickLib::SetMagickResourceLimit(MagickLib::WidthResource, ImageDecoder::kMaxSide);
        MagickLib::SetMagickResourceLimit(MagickLib::HeightResource, ImageDecoder::kMaxSide);
        MagickLib::SetMagickResourceLimit(MagickLib::PixelsResource, ImageDecoder::kMaxPixels);
    });
}

bool sizeAcceptable(std::int64_t w, std::int64_t h) {
    return w > 0 && h > 0 && w <= ImageDecoder::kMaxSide && h <= ImageDecoder::kMaxSide &&
           w * h <= ImageDecoder::kMaxPixels;
}

}  // namespace

std::string formatFromContent(const void* data, std::size_t size) {
    const auto* b = static_cast<const std::uint8_t*>(data);
    auto starts = [&](std::initializer_list<std::uint8_t> sig) {
        return size >= sig.size() && std::equal(sig.begin(), sig.end(), b);
    };
    if (starts({0xFF, 0xD8, 0xFF})) return "JPEG";
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "PNG";
    if (starts({'G', 'I', 'F', '8'})) return "GIF";
    if (starts({'B', 'M'})) return "BMP";
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return "TIFF";
    // PCX: manufacturer 10, a known version, run-length encoding or none.
    if (size >= 128 && b[0] == 0x0A && (b[1] <= 5 && b[1] != 1) && b[2] <= 1) return "PCX";
    return {};
}

std::string formatForPath(const std::string& path) {
    auto dot = path.find_last_of('.');
    auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "tga") return "TGA";
    return {};
}

ImageDecoder::ImageDecoder() {
    limitDecoderResources();
}

bool ImageDecoder::fail(const std::string& why) {
    close();
    m_lastError = why;
    return false;
}

bool ImageDecoder::openFile(const std::string& path) {
    close();
    // Read the bytes ourselves: GraphicsMagick would otherwise interpret the name
    // ("fmt:" prefixes, "[n]" frame suffixes), and a file name is data here.
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot open file");
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size <= 0) return fail("empty file");
    if (size > kMaxFileBytes) return fail("file too large");
    in.seekg(0, std::ios::beg);
    std::vector<char> bytes(static_cast<std::size_t>(size));
    if (!in.read(bytes.data(), size)) return fail("cannot read file");
    return openMemory(bytes.data(), bytes.size(), formatForPath(path));
}

bool ImageDecoder::openMemory(const void* data, std::size_t size, const std::string& format) {
    close();
    if (!data || size == 0) return fail("no data");
    // Only the preview's formats are decoded, each by its own coder: GraphicsMagick would
    // otherwise sniff its whole list, some of which run outside programs on the data.
    std::string coder = formatFromContent(data, size);
    if (coder.empty()) coder = format;
    if (coder.empty()) return fail("not a picture format the preview shows");
    Magick::Blob blob(data, size);
    return load(blob, coder);
}

bool ImageDecoder::load(const Magick::Blob& blob, const std::string& format) {
    try {
        Magick::Image probe;
        probe.subRange(1);
        if (!format.empty()) probe.magick(format);
        try {
            probe.ping(blob);
        } catch (const Magick::Warning&) {
            // Damaged but readable files come with warnings; the size decides.
        }
        if (!sizeAcceptable(probe.columns(), probe.rows())) return fail("picture size refused");

        Magick::Image image;
        image.subRange(1);
        if (!format.empty()) image.magick(format);
        try {
            image.read(blob);
        } catch (const Magick::Warning&) {
        }
        if (!sizeAcceptable(image.columns(), image.rows())) return fail("picture size refused");

        if (image.colorSpace() != Magick::RGBColorspace) image.colorSpace(Magick::RGBColorspace);
        if (image.matte()) {
            // Transparent parts show as white paper rather than whatever colour they hide.
            Magick::Image paper(Magick::Geometry(image.columns(), image.rows()),
                                Magick::Color("white"));
            paper.composite(image, 0, 0, Magick::OverCompositeOp);
            image = paper;
        }
        m_image = image;
    } catch (const Magick::Exception& e) {
        return fail(e.what());
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    m_width = static_cast<int>(m_image.columns());
    m_height = static_cast<int>(m_image.rows());
    m_rowBytes = rowBytesFor(m_width);
    m_loaded = true;
    m_lastError.clear();
    return true;
}

bool ImageDecoder::decode(std::uint8_t* pixels, int width, int height, int widthBytes) {
    if (!m_loaded) return false;
    if (!pixels || width != m_width || height != m_height || widthBytes < 3 * m_width) {
        m_lastError = "picture description does not match";
        return false;
    }
    try {
        for (int y = 0; y < m_height; ++y) {
            std::uint8_t* row = pixels + static_cast<std::size_t>(y) * widthBytes;
            m_image.write(0, y, m_width, 1, "BGR", Magick::CharPixel, row);
            std::fill(row + 3 * m_width, row + widthBytes, std::uint8_t{0});
        }
    } catch (const Magick::Exception& e) {
        m_lastError = e.what();
        return false;
    }
    return true;
}

void ImageDecoder::close() {
    if (m_loaded) m_image = Magick::Image();
    m_loaded = false;
    m_width = m_height = m_rowBytes = 0;
}

}  // namespace tessor::imgio
