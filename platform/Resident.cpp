#include "platform/Resident.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

void KeepLoadedLibrariesResident() {
    // Names first, dlopen after: the loader's lock is held while iterating.
    std::vector<std::string> paths;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            // The program and the vDSO have no path to open again.
            if (info->dlpi_name && info->dlpi_name[0] == '/') {
                static_cast<std::vector<std::string>*>(out)->emplace_back(info->dlpi_name);
            }
            return 0;
        },
        &paths);
    // NOLOAD takes a reference to what is loaded and loads nothing new; the
    // reference is kept on purpose.
    for (const std::string& path : paths) dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
