// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/job_store.hpp"

namespace tonfield {

void Workbench::loadHistory()
{
    if (!engineRoot_)
        return;
    publisher_.assign(Field::jobs, jobs_, history_.read(*engineRoot_));
    if (showHistory_)
        storedJobs_.measureDiskUsage();
}

void Workbench::save(const Job& job)
{
    if (!engineRoot_)
        return;
    if (auto saved = writeRecord(*engineRoot_, job); !saved)
        setError("保存任务记录失败：" + saved.failure());
}

} // namespace tonfield
