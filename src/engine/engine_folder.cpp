// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/engine_folder.hpp"

#include <unistd.h>

namespace tonfield::engine {

bool holdsScript(const std::filesystem::path& engineRoot)
{
    std::error_code ec;
    return std::filesystem::exists(scriptPath(engineRoot), ec);
}

bool isReady(const std::filesystem::path& engineRoot)
{
    const auto interpreter = interpreterPath(engineRoot);
    std::error_code ec;
    // access() alone would accept an executable folder named "python".
    const bool executable =
        ::access(interpreter.c_str(), X_OK) == 0 && !std::filesystem::is_directory(interpreter, ec);
    return executable && holdsScript(engineRoot);
}

} // namespace tonfield::engine
