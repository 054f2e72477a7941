// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>

// Which installed template an engine folder was made from: a stamp beside
// its script, so that a package upgrade's newer template is noticed.
namespace tonfield::engine {

// What tells one installed template from another: its script's size and
// modification time. A package upgrade changes the time (dpkg gives every
// file the time it has in the package); nothing else touches it. Empty when
// the script cannot be read.
std::string templateIdentity(const std::filesystem::path& engineTemplate);

// The identity stamped on a folder; empty when it has none.
std::string readStamp(const std::filesystem::path& folder);

// A stamp that could not be written only means the next start refreshes again.
void writeStamp(const std::filesystem::path& folder, const std::string& identity);

} // namespace tonfield::engine
