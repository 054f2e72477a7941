#pragma once

#include "model/job_layout.hpp"
#include "workbench/workbench.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"

#include <gtest/gtest.h>

namespace tonfield::test {

// A Workbench over fakes with a ready engine folder and an imported source.
class WorkbenchFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        makeEngineFolder(engineRoot(), true);
        platform.environment.currentDirectoryPath = engineRoot();
        writeFile(sourceFile, "RIFF source bytes \x01\x02\x03");
        workbench = Workbench::create(platform.services());
        workbench->subscribe([this](Workbench::Field field) { changes.push_back(field); });
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
        ASSERT_TRUE(workbench->busy());
    }

    TempFolder temp;
    std::filesystem::path sourceFile = temp / "My Song (Live).flac";
    FakePlatform platform;
    std::shared_ptr<Workbench> workbench;
    std::vector<Workbench::Field> changes;
};

} // namespace tonfield::test
