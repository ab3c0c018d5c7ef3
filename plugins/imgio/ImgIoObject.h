#pragma once

#include <tessor/plugin/MakerPlugin.h>

#include "ImageDecoder.h"

namespace tessor::imgio {

// The image reader the program loads at run time; one object reads one picture at a time.
class ImgIoObject final : public plugin::ImageReader {
public:
    explicit ImgIoObject(void* module) : m_module(module) {}

    void* moduleHandle() const override { return m_module; }
    const char* interfaceName() const override { return kInterfaceName; }

    int openImage(const char* path, plugin::ReaderScratch* scratch, int frames,
                  plugin::Bitmap* description) override;
    int decodeImage(plugin::ReaderScratch* scratch, int frames, plugin::Bitmap* description,
                    int reserved1, int reserved2) override;
    void closeImage() override;

private:
    void* m_module;
    ImageDecoder m_decoder;
};

}  // namespace tessor::imgio
