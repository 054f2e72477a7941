// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <vector>

namespace tonfield {
class Workbench;
}

namespace tonfield::cli {

// `tonfield engines [setup NAME | use NAME]`: what the settings window's
// engine section shows and does, without a window. Returns the exit status.
int engines(Workbench& workbench, const std::vector<std::string>& arguments);

} // namespace tonfield::cli
