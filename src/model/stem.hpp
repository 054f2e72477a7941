// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>

namespace tonfield {

// What a stem holds, read from the "(Vocals)"-style key in its file name.
enum class StemKind { vocals, instrumental, drums, bass, guitar, piano, other, unknown };

// One stem audio file on disk: the unit of the results list, playback and export.
struct Stem {
    std::filesystem::path url;

    // Two stems are the same stem exactly when their paths are equal.
    std::string id() const { return url.string(); }

    // Display label: "人声" for a file whose name holds "(Vocals)", and so on;
    // otherwise the file name without its extension.
    std::string name() const;

    StemKind kind() const;

    bool operator==(const Stem&) const = default;
};

} // namespace tonfield
