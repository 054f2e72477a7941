// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string_view>

namespace tonfield {

// Whether the process whose id a temporary file's name holds has ended, so
// that the file is left over from a write that was killed: false for a live
// process, this one, or text that is no process id.
bool writerHasEnded(std::string_view pidText);

} // namespace tonfield
