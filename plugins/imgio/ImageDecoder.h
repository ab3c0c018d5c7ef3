// Decodes one picture into 24-bit blue-green-red rows, top row first, through GraphicsMagick.
#pragma once

#include <Magick++.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessor::imgio {

class ImageDecoder {
public:
    // Pictures beyond these sizes are refused, so a forged header cannot ask for gigabytes.
    static constexpr std::int64_t kMaxSide = 16384;
    static constexpr std::int64_t kMaxPixels = 40'000'000;
    static constexpr std::int64_t kMaxFileBytes = 256ll << 20;

    ImageDecoder();
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;

    // Reads the file whole; the extension picks the format only where the content cannot
    // (.tga has no signature). Returns false when the file is unreadable or unknown.
    bool openFile(const std::string& path);
    // Decodes JPEG, PNG, GIF, BMP, TIFF or PCX recognised by their signatures; other content
    // only as fallbackFormat ("TGA" or empty for none).
    bool openMemory(const void* data, std::size_t size, const std::string& fallbackFormat);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Rows are padded to four bytes, the row length a 24-bit device picture uses.
    int rowBytes() const { return m_rowBytes; }
    static int rowBytesFor(int width) { return (3 * width + 3) / 4 * 4; }

    // Writes the picture into pixels, which holds height rows of widthBytes bytes. Refuses a
    // geometry other than the one reported, so a wrong caller cannot make it write past the end.
    bool decode(std::uint8_t* pixels, int width, int height, int widthBytes);

    void close();
    const std::string& lastError() const { return m_lastError; }

private:
    bool load(const Magick::Blob& blob, const std::string& format);
    bool fail(const std::string& why);

    Magick::Image m_image;  // the decoded first frame, RGB
    bool m_loaded = false;
    int m_width = 0;
    int m_height = 0;
    int m_rowBytes = 0;
    std::string m_lastError;
};

// The format for a file whose content has no signature, by its name ("TGA" or empty).
std::string formatForPath(const std::string& path);
// The format a signature names among those the preview shows, or empty.
std::string formatFromContent(const void* data, std::size_t size);

}  // namespace tessor::imgio
