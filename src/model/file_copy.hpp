#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tonfield {

// Copies a file byte for byte to a destination that must not exist yet.
// Returns the operating system's description of a failure, naming the path it
// concerns (the source when it cannot be read, else the destination).
std::optional<std::string> copyFile(const std::filesystem::path& source,
                                    const std::filesystem::path& destination);

// Puts a copy of the source at the destination, replacing a file already
// there only once the copy is complete: on failure the old file is untouched
// and no partial file is left. A destination that is a folder is refused.
std::optional<std::string> replaceWithCopy(const std::filesystem::path& source,
                                           const std::filesystem::path& destination);

} // namespace tonfield
