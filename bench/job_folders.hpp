// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Ten thousand finished four-stem jobs (see jobCount) in a temporary engine
// folder, for the benchmarks of the history: records only, or with small
// input and stem files too (a size scan then has five files a job to visit).

#include "model/job_json.hpp"
#include "model/job_layout.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tonfield::bench {

// Ten thousand, or TONFIELD_BENCH_JOBS of them (a hundred thousand, say).
inline const int jobCount = [] {
    const char* asked = std::getenv("TONFIELD_BENCH_JOBS");
    return asked && std::atoi(asked) > 0 ? std::atoi(asked) : 10'000;
}();

inline std::filesystem::path makeJobFolders(bool withFiles)
{
    namespace fs = std::filesystem;
    std::string root = (fs::temp_directory_path() / "tonfield-bench-XXXXXX").string();
    if (!::mkdtemp(root.data()))
        std::abort();
    for (int n = 0; n < jobCount; ++n) {
        char id[33];
        std::snprintf(id, sizeof id, "%032x", n);
        Job job{.id = id,
                .filename = "第" + std::to_string(n) + "首.mp3",
                .mode = "four",
                .format = "WAV",
                .quality = "high",
                .status = "done",
                .created = 1733500000.0 + (n * 7919 % jobCount),
                .message = "分离完成",
                .elapsed = 61,
                .outputs = std::vector<JobOutput>{}};
        const char* stems[] = {"Vocals", "Drums", "Bass", "Other"};
        for (const char* stem : stems)
            job.outputs->push_back({std::string("x_(") + stem + ").wav", 31'000'000,
                                    std::string("/output/") + id + "/x_(" + stem + ").wav"});
        fs::create_directories(layout::jobFolder(root, id));
        std::ofstream(layout::recordFile(root, id), std::ios::binary) << *encodeJob(job);
        if (!withFiles)
            continue;
        fs::create_directories(layout::inputFolder(root, id));
        fs::create_directories(layout::outputFolder(root, id));
        std::ofstream(layout::inputFolder(root, id) / job.filename) << std::string(4096, 'a');
        for (const char* stem : stems)
            std::ofstream(layout::outputFolder(root, id) / (std::string("x_(") + stem + ").wav"))
                << std::string(4096, 'b');
    }
    return root;
}

} // namespace tonfield::bench
