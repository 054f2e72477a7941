// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>

// Where a job's files live under an engine folder. Each relative path is
// appended to the engine folder as one string, so "data/jobs/<id>/output" is
// always below it.
namespace tonfield::layout {

inline std::filesystem::path jobsFolder(const std::filesystem::path& engineRoot)
{
    return engineRoot / "data/jobs";
}

inline std::filesystem::path jobFolder(const std::filesystem::path& engineRoot,
                                       const std::string& jobId)
{
    return engineRoot / ("data/jobs/" + jobId);
}

inline std::filesystem::path recordFile(const std::filesystem::path& engineRoot,
                                        const std::string& jobId)
{
    return jobFolder(engineRoot, jobId) / "job.json";
}

// The mixer's strips for the job's stems, beside (never inside) its job.json.
inline std::filesystem::path mixFile(const std::filesystem::path& engineRoot,
                                     const std::string& jobId)
{
    return jobFolder(engineRoot, jobId) / "mix.json";
}

// What the practice timeline knows of the job's music, beside its job.json.
inline std::filesystem::path analysisFile(const std::filesystem::path& engineRoot,
                                          const std::string& jobId)
{
    return jobFolder(engineRoot, jobId) / "analysis.json";
}

inline std::filesystem::path inputFolder(const std::filesystem::path& engineRoot,
                                         const std::string& jobId)
{
    return engineRoot / ("data/jobs/" + jobId + "/input");
}

inline std::filesystem::path logFile(const std::filesystem::path& engineRoot,
                                     const std::string& jobId)
{
    return engineRoot / ("data/jobs/" + jobId + "/process.log");
}

inline std::filesystem::path outputFolder(const std::filesystem::path& engineRoot,
                                          const std::string& jobId)
{
    return engineRoot / ("data/jobs/" + jobId + "/output");
}

} // namespace tonfield::layout
