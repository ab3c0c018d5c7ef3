#include "PictureScaler.h"

#include <Magick++.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tessor::scalerot {

bool PictureScaler::pictureUsable(const plugin::Bitmap& p) {
    if (!p.bits || p.bitsPixel != 24 || p.width <= 0 || p.height <= 0) return false;
    if (p.width > kMaxSide || p.height > kMaxSide) return false;
    if (static_cast<long long>(p.width) * p.height > kMaxPixels) return false;
    return p.widthBytes >= 3 * p.width;
}

bool PictureScaler::scale(const plugin::Bitmap& source, plugin::Bitmap& target) {
    if (!pictureUsable(source) || !pictureUsable(target)) {
        m_lastError = "unusable picture";
        return false;
    }
    const auto* src = static_cast<const std::uint8_t*>(source.bits);
    auto* dst = static_cast<std::uint8_t*>(target.bits);
    try {
        const std::size_t packedRow = 3 * static_cast<std::size_t>(source.width);
        std::vector<std::uint8_t> packed(packedRow * source.height);
        for (int y = 0; y < source.height; ++y)
            std::memcpy(packed.data() + y * packedRow,
                        src + static_cast<std::size_t>(y) * source.widthBytes, packedRow);
        Magick::Image image(source.width, source.height, "BGR", Magick::CharPixel, packed.data());

        Magick::Geometry size(target.width, target.height);
        size.aspect(true);  // exactly this size, not fitted
        if (target.width != source.width || target.height != source.height) {
            if (target.width <= source.width && target.height <= source.height) {
                // Each output pixel is the mean of the source area it covers.
                image.scale(size);
            } else {
                image.filterType(Magick::TriangleFilter);
                image.resize(size);
            }
        }
        if (static_cast<int>(image.columns()) != target.width ||
            static_cast<int>(image.rows()) != target.height) {
            m_lastError = "scaled size differs";
            return false;
        }
        for (int y = 0; y < target.height; ++y) {
            std::uint8_t* row = dst + static_cast<std::size_t>(y) * target.widthBytes;
            image.write(0, y, target.width, 1, "BGR", Magick::CharPixel, row);
            std::fill(row + 3 * target.width, row + target.widthBytes, std::uint8_t{0});
        }
    } catch (const Magick::Exception& e) {
        m_lastError = e.what();
        return false;
    } catch (const std::exception& e) {
        m_lastError = e.what();
        return false;
    }
    return true;
}

}  // namespace tessor::scalerot
