// libFuzzer target for the image reader's decoding: the first byte picks whether the content
// is recognised by itself or read as TGA (which has no signature), the rest is the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/StartGraphicsMagick.h"
#include "imgio/ImageDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (tessor::plugin::startGraphicsMagick(), true);
    (void)ready;
    if (size < 2) return 0;
    const std::string format = (data[0] & 1) ? "TGA" : "";
    tessor::imgio::ImageDecoder decoder;
    if (!decoder.openMemory(data + 1, size - 1, format)) return 0;
    // The reader's own limits keep this allocation bounded.
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(decoder.height()) *
                                     static_cast<std::size_t>(decoder.rowBytes()));
    if (!decoder.decode(pixels.data(), decoder.width(), decoder.height(), decoder.rowBytes()))
        __builtin_trap();  // a picture that opened must decode into the size it reported
    return 0;
}
