#pragma once

#include <string_view>

namespace tonfield {

// A job id is exactly 32 lower-case hexadecimal digits. Anything else could
// name a path outside the jobs folder, so records carrying one are not trusted.
bool isJobId(std::string_view text);

} // namespace tonfield
