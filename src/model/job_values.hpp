// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string_view>

// The stored values of a job record's `status`, `quality` and `format`, named once.
namespace tonfield {

namespace job_status {
inline constexpr std::string_view running = "running";
inline constexpr std::string_view done = "done";
inline constexpr std::string_view error = "error";
inline constexpr std::string_view cancelled = "cancelled";
inline constexpr std::string_view queued = "queued";
} // namespace job_status

namespace job_quality {
inline constexpr std::string_view high = "high";
inline constexpr std::string_view standard = "standard";

// The high-quality switch as stored, and back: only "high" exactly is high.
inline constexpr std::string_view fromSwitch(bool highQuality)
{
    return highQuality ? high : standard;
}
inline constexpr bool isHigh(std::string_view stored)
{
    return stored == high;
}
} // namespace job_quality

} // namespace tonfield
