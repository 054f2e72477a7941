// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonfield {

// One stem file a job produced, as listed inside its record.
struct JobOutput {
    std::string name;
    std::int64_t size = 0; // bytes; 0 when the size could not be read
    std::string url;       // "/output/<job id>/<percent-encoded name>"

    bool operator==(const JobOutput&) const = default;
};

// One separation job, stored as job.json in its job folder. Field order is the
// order of the keys in the stored record.
struct Job {
    std::string id; // 32 lower-case hex digits; also the job folder's name
    std::string filename;
    std::string mode;    // raw SeparationMode value; unknown values are kept as read
    std::string format;  // "WAV", "FLAC" or "MP3"
    std::string quality; // "high" or "standard"
    std::string status;  // "running", "done", "error", "cancelled" (others are kept as read)
    double created = 0;  // seconds since 1970-01-01 UTC
    std::string message;
    std::optional<std::int64_t> elapsed;           // whole seconds; absent while running
    std::optional<std::vector<JobOutput>> outputs; // empty list at creation

    bool operator==(const Job&) const = default;
};

} // namespace tonfield
