#pragma once

#include <tessor/plugin/MakerPlugin.h>

#include "PictureScaler.h"

namespace tessor::scalerot {

// The scaler the program loads at run time.
class ScaleRotObject final : public plugin::Scaler {
public:
    explicit ScaleRotObject(void* module) : m_module(module) {}

    void* moduleHandle() const override { return m_module; }
    const char* interfaceName() const override { return kInterfaceName; }

    int setTarget(int width, int height, int mode, int* outWidth, int* outHeight) override;
    int process(const plugin::Bitmap* source, plugin::Bitmap* target) override;

private:
    void* m_module;
    PictureScaler m_scaler;
};

}  // namespace tessor::scalerot
