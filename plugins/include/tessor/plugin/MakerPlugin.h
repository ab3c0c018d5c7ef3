// The boundary between the program and the picture libraries it loads at run time.
//
// A library exports one C function, CreateClassOnce, which takes the handle dlopen gave for
// the library and returns a new object. The caller owns the object and gives it back by
// reading moduleHandle(), deleting the object and then closing that handle, in this order,
// so the object's code is still mapped while its destructor runs.
#pragma once

#include <cstdint>
#include <cstring>

namespace tessor::plugin {

// A picture description laid out like the platform bitmap record: 24-bit pixels in blue,
// green, red order, rows from top to bottom, each row widthBytes long.
struct Bitmap {
    std::int32_t type = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t widthBytes = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitsPixel = 0;
    void* bits = nullptr;
};

// Working space the image reader asks its callers to pass, zero-filled; callers never read it.
struct ReaderScratch {
    std::uint8_t bytes[88] = {};
};

// Largest path the image reader takes, terminating zero included.
inline constexpr std::size_t kReaderPathSize = 256;

class PluginObject {
public:
    virtual ~PluginObject() = default;
    // The handle passed to CreateClassOnce; the caller closes it after deleting the object.
    virtual void* moduleHandle() const = 0;
    // Names the interface the object implements, so a caller never casts a stranger.
    virtual const char* interfaceName() const = 0;
};

// Reads one picture file in two steps: openImage recognises the file and fills the
// description's size and row length; the caller allocates height * widthBytes bytes, sets
// bits and calls decodeImage; closeImage is called after decodeImage whatever its result.
class ImageReader : public PluginObject {
public:
    static constexpr const char* kInterfaceName = "tessor.ImageReader/1";

    // path: zero-terminated, at most kReaderPathSize bytes. Returns nonzero when recognised.
    virtual int openImage(const char* path, ReaderScratch* scratch, int frames,
                          Bitmap* description) = 0;
    // Returns nonzero when the pixels were written into description->bits.
    virtual int decodeImage(ReaderScratch* scratch, int frames, Bitmap* description, int reserved1,
                            int reserved2) = 0;
    virtual void closeImage() = 0;
};

// Scales a 24-bit picture: setTarget announces the output size for a wanted size, then
// process fills a working picture of that size.
class Scaler : public PluginObject {
public:
    static constexpr const char* kInterfaceName = "tessor.Scaler/1";

    // mode 0 scales to the target size as given. Returns nonzero on success.
    virtual int setTarget(int width, int height, int mode, int* outWidth, int* outHeight) = 0;
    // Returns nonzero when target's pixels were filled with the scaled source.
    virtual int process(const Bitmap* source, Bitmap* target) = 0;
};

// What a card-design template says of itself; the caller zero-fills it and sets size.
struct CardHeader {
    std::uint32_t size = sizeof(CardHeader);
    std::uint32_t version = 1;
    // 1: the design has a front side only, 2: a back side only, 3: front and back.
    std::uint8_t sides = 0;
    // Why the last read failed, zero-terminated; empty after a success.
    char error[256] = {};
};

// One variable object of a side, in the order the design lists them.
struct VariableNode {
    const char* name = nullptr;  // zero-terminated, UTF-8
    VariableNode* next = nullptr;
};

// Reads card-design templates (docs/card-templates.md): readCard takes the file, then
// variables gives per side the list of its variable objects' names, which the caller hands
// back with releaseVariables before the object goes.
class CardReader : public PluginObject {
public:
    static constexpr const char* kInterfaceName = "tessor.CardReader/1";

    // Returns nonzero when the file is a whole, well-formed template; header->sides is then
    // set. On failure header->error says why.
    virtual int readCard(const char* path, CardHeader* header) = 0;
    // side 1 front, 2 back. The head of the side's list, null when it has none.
    virtual VariableNode* variables(int side) = 0;
    virtual void releaseVariables(VariableNode* head) = 0;
};

// The exported factory, called with the library's own dlopen handle.
using CreateClassOnceFn = PluginObject* (*)(void* module);
inline constexpr const char* kCreateClassOnce = "CreateClassOnce";

// Gives the object as T when it says it implements T, else nullptr.
template <class T>
T* pluginCast(PluginObject* object) {
    if (!object) return nullptr;
    const char* name = object->interfaceName();
    if (!name || std::strcmp(name, T::kInterfaceName) != 0) return nullptr;
    return static_cast<T*>(object);
}

}  // namespace tessor::plugin
