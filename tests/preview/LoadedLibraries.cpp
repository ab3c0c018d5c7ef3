#include "LoadedLibraries.h"

#include <link.h>

bool IsLibraryLoaded(const std::string& name) {
    struct Search {
        const std::string* name;
        bool found;
    } search{&name, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name && std::string(info->dlpi_name).find(*s->name) != std::string::npos)
                s->found = true;
            return 0;
        },
        &search);
    return search.found;
}
