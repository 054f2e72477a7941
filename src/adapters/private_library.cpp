// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/private_library.hpp"

#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <system_error>

namespace tonfield::adapters {

Result<void*> openPrivateLibrary(const char* fileName)
{
    std::error_code error;
    const auto folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    std::string failure = std::string(fileName) + ": not found beside the program";
    if (error)
        return Result<void*>::failed(failure);
    for (const auto& path :
         {folder / TONFIELD_PRIVATE_LIBRARY_FROM_BINDIR / fileName,
          folder / "lib/tonfield" / fileName, folder / "../lib/tonfield" / fileName}) {
        if (!std::filesystem::exists(path))
            continue;
        if (void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
            return library;
        failure = ::dlerror();
    }
    return Result<void*>::failed(failure);
}

} // namespace tonfield::adapters
