// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/template_stamp.hpp"

#include "engine/engine_folder.hpp"
#include "model/atomic_file.hpp"

#include <fstream>

namespace tonfield::engine {
namespace fs = std::filesystem;

namespace {
// Beside the folder's script: which installed template made it.
constexpr const char* templateStampName = ".tonfield-template";
} // namespace

std::string templateIdentity(const fs::path& engineTemplate)
{
    std::error_code ec;
    const fs::path script = scriptPath(engineTemplate);
    const auto size = fs::file_size(script, ec);
    if (ec)
        return {};
    const auto time = fs::last_write_time(script, ec);
    if (ec)
        return {};
    return std::to_string(size) + " " + std::to_string(time.time_since_epoch().count());
}

std::string readStamp(const fs::path& folder)
{
    std::ifstream stamp(folder / templateStampName);
    std::string identity;
    std::getline(stamp, identity);
    return identity;
}

void writeStamp(const fs::path& folder, const std::string& identity)
{
    if (identity.empty())
        return;
    (void)writeThroughTemporary(folder / templateStampName, [&](const fs::path& temporary) {
        std::ofstream stamp(temporary, std::ios::trunc);
        stamp << identity << '\n';
        stamp.close();
        return stamp ? Result<>::done() : Result<>::failed("the stamp could not be written");
    });
}
} // namespace tonfield::engine
