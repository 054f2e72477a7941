#pragma once

#include "model/job.hpp"
#include "model/result.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tonfield {

// Every readable record under engineRoot/data/jobs, newest first; equal
// `created` keeps the folder listing's order. Entries that cannot be read or
// decoded, or whose id is not their folder's name, are left out silently.
std::vector<Job> readHistory(const std::filesystem::path& engineRoot);

// Replaces the job's job.json atomically: a reader sees the old record or the
// new one, never a mix. The job folder must exist. Returns the operating
// system's description of the failure, or nothing on success.
Result<> writeRecord(const std::filesystem::path& engineRoot, const Job& job);

} // namespace tonfield
