// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/job_json.hpp"
#include "model/job_layout.hpp"

#include "fakes/temp_folder.hpp"

namespace tonfield::test {

// A finished job record; tests change the fields they care about.
inline Job sampleJob(std::string id, double created = 1)
{
    return Job{.id = std::move(id),
               .filename = "song.mp3",
               .mode = "vocal",
               .format = "WAV",
               .quality = "standard",
               .status = "done",
               .created = created,
               .message = "分轨完成，已生成 2 条独立音轨。",
               .elapsed = 3,
               .outputs = std::vector<JobOutput>{}};
}

// Writes the record where the history looks for it.
inline void storeJob(const std::filesystem::path& engineRoot, const Job& job)
{
    writeFile(layout::recordFile(engineRoot, job.id), *encodeJob(job));
}

} // namespace tonfield::test
