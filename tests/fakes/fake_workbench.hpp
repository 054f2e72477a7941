// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job_layout.hpp"
#include "workbench/workbench.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"

#include <initializer_list>
#include <string>

namespace tonfield::test {

// A Workbench over fakes with a ready engine folder and a source file on
// disk: what the core tests and the view tests both start from.
struct FakeWorkbench {
    explicit FakeWorkbench(const std::string& sourceName)
        : sourceFile(temp / sourceName)
    {
        makeEngineFolder(engineRoot(), true);
        platform.environment.currentDirectoryPath = engineRoot();
        platform.trash.folder = temp / "Trash"; // never the folder the tests run in
        writeFile(sourceFile, "RIFF source bytes \x01\x02\x03");
        workbench = Workbench::create(platform.services());
    }

    std::filesystem::path engineRoot() const { return temp / "Engine"; }
    std::string jobId() const { return workbench->selectedJob().value().id; }
    std::filesystem::path jobFile(const std::string& relative) const
    {
        return layout::jobFolder(engineRoot(), jobId()) / relative;
    }

    // Imports the source and starts a job on it.
    void startJob()
    {
        workbench->importFile(sourceFile);
        workbench->start();
    }
    // A finished job whose stems lie in its output folder.
    void finishJobWithStems(std::initializer_list<const char*> stems)
    {
        startJob();
        for (const char* stem : stems)
            writeFile(jobFile(std::string("output/") + stem), "audio");
        platform.launcher.exit(0);
    }

    TempFolder temp;
    std::filesystem::path sourceFile;
    FakePlatform platform;
    std::shared_ptr<Workbench> workbench;
};

} // namespace tonfield::test
