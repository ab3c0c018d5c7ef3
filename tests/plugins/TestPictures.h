#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Small pictures made by the tests themselves, as RGB triples, rows top first.
struct TestPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3

    void set(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b);
    const std::uint8_t* at(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

// A picture whose every pixel differs, so a swapped row, column or channel shows.
TestPicture distinctPicture(int width, int height);

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::filesystem::path file(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Writes the picture through GraphicsMagick in the format named by the file's extension.
void writeWithGraphicsMagick(const TestPicture& picture, const std::filesystem::path& path,
                             const std::string& colourSpace = "RGB");
// Writes an uncompressed 24-bit TGA by hand, with the rows stored top first or bottom first.
void writeTga(const TestPicture& picture, const std::filesystem::path& path, bool topFirst);
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
