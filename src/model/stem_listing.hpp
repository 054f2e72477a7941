// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/stem.hpp"

#include <filesystem>
#include <vector>

namespace tonfield {

// The stems in an output folder: every entry directly inside it (hidden ones
// and folders included) whose extension is wav, flac or mp3 in any case,
// ordered by file name in Unicode NFC, compared by scalar values. A folder
// that cannot be listed gives no stems.
std::vector<Stem> listStems(const std::filesystem::path& outputFolder);

} // namespace tonfield
