// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

namespace tonfield::adapters {

// Opens one of the program's own shared libraries, looked for from the
// executable's folder: installed, in the program's private folder under the
// library folder; in the build tree, below the application itself, and
// beside bin/ for the tests and benchmarks. The library stays loaded for the
// life of the process. Fails with the loader's reason, or with the file's
// name when it is nowhere.
Result<void*> openPrivateLibrary(const char* fileName);

} // namespace tonfield::adapters
