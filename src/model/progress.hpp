#pragma once

#include <optional>
#include <string_view>

namespace tonfield {

// The percentage an engine last printed, read from the last non-empty line of
// its log tail, in the forms separation engines print: tqdm's "45%|███",
// "45.0%", "[ 45%]". Absent when that line shows none (or one above 100).
std::optional<double> progressPercent(std::string_view logTail);

} // namespace tonfield
