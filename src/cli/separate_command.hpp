#pragma once

#include "workbench/workbench.hpp"

#include "cli/headless_services.hpp"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tonfield::cli {

// `tonfield separate`: one job per file, one after another, each as a start
// from the window would run it. Status and progress go to standard error, the
// stems written to standard output. Ctrl+C cancels the running job as the
// stop button does and ends the run with status 130.
int separate(Workbench& workbench, HeadlessServices& services,
             const std::vector<std::string>& files,
             const std::map<std::string, std::string>& options, bool highQuality,
             const std::function<int(const std::string&)>& usageError);

} // namespace tonfield::cli
