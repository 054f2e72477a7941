// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <string_view>

namespace tonfield {

// A job id is exactly 32 lower-case hexadecimal digits. Anything else could
// name a path outside the jobs folder, so records carrying one are not trusted.
bool isJobId(std::string_view text);

// A job id from a random UUID's text: hyphens removed, lower case.
std::string jobIdFromUuid(std::string_view uuid);

} // namespace tonfield
