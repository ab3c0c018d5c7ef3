#include "ImgIoObject.h"

#include "../common/StartGraphicsMagick.h"

#include <cstring>
#include <new>
#include <string>

namespace tessor::imgio {

int ImgIoObject::openImage(const char* path, plugin::ReaderScratch*, int,
                           plugin::Bitmap* description) {
    if (!path || !description) return 0;
    // The caller's copy is a fixed field; an unterminated one is refused, never read past.
    const void* end = std::memchr(path, '\0', plugin::kReaderPathSize);
    if (!end) return 0;
    if (!m_decoder.openFile(std::string(path, static_cast<const char*>(end)))) return 0;
    description->type = 0;
    description->width = m_decoder.width();
    description->height = m_decoder.height();
    description->widthBytes = m_decoder.rowBytes();
    description->planes = 1;
    description->bitsPixel = 24;
    return 1;
}

int ImgIoObject::decodeImage(plugin::ReaderScratch*, int, plugin::Bitmap* description, int, int) {
    if (!description) return 0;
    return m_decoder.decode(static_cast<std::uint8_t*>(description->bits), description->width,
                            description->height, description->widthBytes)
               ? 1
               : 0;
}

void ImgIoObject::closeImage() {
    m_decoder.close();
}

}  // namespace tessor::imgio

extern "C" __attribute__((visibility("default"))) tessor::plugin::PluginObject* CreateClassOnce(
    void* module) {
    tessor::plugin::startGraphicsMagick();
    return new (std::nothrow) tessor::imgio::ImgIoObject(module);
}
