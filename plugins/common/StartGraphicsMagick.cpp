#include "StartGraphicsMagick.h"

#include <Magick++.h>
#include <dlfcn.h>

#include <mutex>

namespace tessor::plugin {

namespace {

void pinObjectHolding(const void* symbol) {
    Dl_info info{};
    if (!dladdr(symbol, &info) || !info.dli_fname) return;
    // NOLOAD finds the copy already mapped; NODELETE then keeps it for good. The extra
    // reference taken here is deliberately never dropped.
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

void startGraphicsMagick() {
    static std::once_flag once;
    std::call_once(once, [] {
        pinObjectHolding(reinterpret_cast<const void*>(&MagickLib::InitializeMagickEx));
        pinObjectHolding(reinterpret_cast<const void*>(&Magick::InitializeMagick));
        // The host program owns the process's signal handlers.
        MagickLib::ExceptionInfo exception;
        MagickLib::GetExceptionInfo(&exception);
        MagickLib::InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
        MagickLib::DestroyExceptionInfo(&exception);
    });
}

}  // namespace tessor::plugin
