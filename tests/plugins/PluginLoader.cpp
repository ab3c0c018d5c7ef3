#include "PluginLoader.h"

#include <dlfcn.h>

PluginLoader::PluginLoader(const std::string& fileName) {
    const std::string path = std::string(TESSOR_BIN_DIR) + "/" + fileName;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        m_error = dlerror();
        return;
    }
    auto create = reinterpret_cast<tessor::plugin::CreateClassOnceFn>(
        dlsym(module, tessor::plugin::kCreateClassOnce));
    m_object = create ? create(module) : nullptr;
    if (!m_object) {
        m_error = "CreateClassOnce missing or failed";
        dlclose(module);
    }
}

PluginLoader::~PluginLoader() {
    if (!m_object) return;
    void* module = m_object->moduleHandle();
    delete m_object;
    dlclose(module);
}
