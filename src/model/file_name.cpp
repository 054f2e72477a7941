// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/file_name.hpp"

#include "model/ascii_case.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace tonfield {
namespace {

constexpr std::array<std::string_view, 9> acceptedExtensions{"mp3", "wav",  "flac", "m4a", "ogg",
                                                             "aac", "aiff", "aif",  "wma"};

} // namespace

std::string exportBaseName(const std::string& recordedFileName)
{
    const std::string name = std::filesystem::path(recordedFileName).filename().string();
    if (name.empty() || name == "." || name == "..")
        return "音轨";
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool isAcceptedAudioFile(const std::filesystem::path& path)
{
    const std::string extension = lowercasedExtension(path);
    return std::find(acceptedExtensions.begin(), acceptedExtensions.end(), extension) !=
           acceptedExtensions.end();
}

std::string lowercasedExtension(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    return asciiLowercased(std::string_view(name).substr(dot + 1));
}

} // namespace tonfield
