#pragma once

#include <string>

// Whether a shared object whose file name contains `name` is mapped into this process now.
bool IsLibraryLoaded(const std::string& name);
