// Scales 24-bit blue-green-red pictures with GraphicsMagick.
#pragma once

#include <tessor/plugin/MakerPlugin.h>

#include <string>

namespace tessor::scalerot {

class PictureScaler {
public:
    // Larger working pictures are refused rather than allocated.
    static constexpr long long kMaxSide = 32768;
    static constexpr long long kMaxPixels = 64'000'000;

    // Fills target (its own width, height and row length) with source scaled to fit exactly:
    // area averages when both sides shrink, smooth interpolation otherwise.
    bool scale(const plugin::Bitmap& source, plugin::Bitmap& target);
    const std::string& lastError() const { return m_lastError; }

    static bool pictureUsable(const plugin::Bitmap& picture);

private:
    std::string m_lastError;
};

}  // namespace tessor::scalerot
