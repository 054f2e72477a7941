// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace tonfield {

// The exact bytes of job.json: compact, keys in field order, raw UTF-8, "/"
// written as "\/", absent optionals left out. Fails (no value) only when a text
// is not valid UTF-8 or `created` is not a finite number.
std::optional<std::string> encodeJob(const Job& job);

// Reads a record; any missing required key or wrong JSON type rejects it whole.
std::optional<Job> decodeJob(std::string_view bytes);

} // namespace tonfield
