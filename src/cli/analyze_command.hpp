// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <vector>

namespace tonfield {
class Workbench;
}

namespace tonfield::cli {

// `tonfield analyze [--json] FILE_OR_JOB_ID...`: the beats, bars, tempo, key
// and chords of each audio file, or of each job of the engine folder (its
// drums stem for the rhythm and its pitched stems for the harmony, where it
// has them). Prints a summary each, or with `json` one JSON object each (an
// array for several). `workbench` is absent when no engine folder was found:
// files are analysed all the same. 0 when every input was analysed, 1 when
// any was not (its reason on standard error).
int analyze(const Workbench* workbench, const std::vector<std::string>& inputs, bool json);

} // namespace tonfield::cli
