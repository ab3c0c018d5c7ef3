#pragma once

#include <tessor/plugin/MakerPlugin.h>

#include <memory>
#include <string>

// Loads one of the built picture libraries by its path in the build's bin folder and hands
// back its object; the object is released by the library's own protocol when the holder dies.
class PluginLoader {
public:
    explicit PluginLoader(const std::string& fileName);
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    tessor::plugin::PluginObject* object() const { return m_object; }
    template <class T>
    T* as() const {
        return tessor::plugin::pluginCast<T>(m_object);
    }
    const std::string& error() const { return m_error; }

private:
    tessor::plugin::PluginObject* m_object = nullptr;
    std::string m_error;
};
