// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <string_view>

namespace tonfield {

// Valid UTF-8: each invalid or cut sequence becomes one U+FFFD, following the
// usual maximal-subpart rule (a lead byte and the continuation bytes that fit
// it are replaced together), so "ab\xE4\xB8" "Acd" reads "ab\uFFFDAcd".
std::string repairUtf8(std::string_view bytes);

} // namespace tonfield
