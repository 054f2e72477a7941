// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"

#include <optional>
#include <string_view>

namespace tonfield {

// The two readers decodeJob is made of; the fuzzer holds them to agreeing.
//
// Through simdjson, several times quicker. Outer absent: simdjson could not
// parse the bytes (invalid JSON, or valid JSON it refuses, such as an
// integer past 64 bits), and only the other reader can tell. Otherwise the
// record, or absent when the rules reject it.
std::optional<std::optional<Job>> decodeJobFast(std::string_view bytes);

// Token by token through nlohmann/json's SAX parser, which accepts what the
// format allows: the reader whose answer is the rule.
std::optional<Job> decodeJobTokenByToken(std::string_view bytes);

} // namespace tonfield
