#pragma once

#include <filesystem>
#include <string>

namespace tonfield {

// The text after the last "." of the path's last component, in ASCII lower
// case; empty when the name holds no dot. ".wav" and "._x.WAV" both give "wav".
std::string lowercasedExtension(const std::filesystem::path& path);

} // namespace tonfield
