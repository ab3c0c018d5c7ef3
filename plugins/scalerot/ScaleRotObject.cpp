#include "ScaleRotObject.h"

#include "../common/StartGraphicsMagick.h"

#include <algorithm>
#include <new>

namespace tessor::scalerot {

int ScaleRotObject::setTarget(int width, int height, int, int* outWidth, int* outHeight) {
    if (!outWidth || !outHeight) return 0;
    // A side that truncated to nothing still needs one pixel to carry the picture.
    auto clampSide = [](int side) {
        return static_cast<int>(std::clamp<long long>(side, 1, PictureScaler::kMaxSide));
    };
    *outWidth = clampSide(width);
    *outHeight = clampSide(height);
    return 1;
}

int ScaleRotObject::process(const plugin::Bitmap* source, plugin::Bitmap* target) {
    if (!source || !target) return 0;
    return m_scaler.scale(*source, *target) ? 1 : 0;
}

}  // namespace tessor::scalerot

extern "C" __attribute__((visibility("default"))) tessor::plugin::PluginObject* CreateClassOnce(
    void* module) {
    tessor::plugin::startGraphicsMagick();
    return new (std::nothrow) tessor::scalerot::ScaleRotObject(module);
}
