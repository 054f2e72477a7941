// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/job_json.hpp"
#include "model/job_layout.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/sample_job.hpp"

#include <gtest/gtest.h>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;
using test::FakePlatform;
using test::makeEngineFolder;
using test::TempFolder;

class WorkbenchState : public ::testing::Test {
protected:
    std::shared_ptr<Workbench> create() { return Workbench::create(platform.services()); }

    void storeJob(const fs::path& root, const std::string& id, double created)
    {
        test::storeJob(root, test::sampleJob(id, created));
    }

    TempFolder temp;
    FakePlatform platform;
};

TEST_F(WorkbenchState, StartsWithTheInitialValues)
{
    auto workbench = create();
    EXPECT_FALSE(workbench->engineRoot());
    EXPECT_FALSE(workbench->source());
    EXPECT_EQ(workbench->mode(), SeparationMode::vocal);
    EXPECT_EQ(workbench->format(), "WAV");
    EXPECT_FALSE(workbench->highQuality());
    EXPECT_TRUE(workbench->jobs().empty());
    EXPECT_FALSE(workbench->busy());
    EXPECT_EQ(workbench->message(), "导入音乐，探索每一层声音。");
    EXPECT_FALSE(workbench->error());
    EXPECT_FALSE(workbench->ready());
    EXPECT_FALSE(workbench->activeFolder());
}

TEST_F(WorkbenchState, EngineFolderComesFromTheFirstCandidateHoldingTheScript)
{
    const fs::path stored = temp / "stored", beside = temp / "app/Engine",
                   builtIn = temp / "built-in", cwd = temp / "cwd";
    for (const auto& folder : {beside, builtIn, cwd})
        makeEngineFolder(folder, true);
    platform.environment.applicationFolderPath = temp / "app";
    platform.environment.builtIn = builtIn;
    platform.environment.currentDirectoryPath = cwd;

    platform.settings.values["engineRoot"] = stored.string(); // holds no script yet
    EXPECT_EQ(create()->engineRoot(), beside);
    EXPECT_EQ(platform.settings.values["engineRoot"], stored.string()) << "stale value kept";

    makeEngineFolder(stored, true);
    EXPECT_EQ(create()->engineRoot(), stored);

    platform.settings.values.clear();
    fs::remove_all(beside);
    EXPECT_EQ(create()->engineRoot(), builtIn);
    fs::remove_all(builtIn);
    EXPECT_EQ(create()->engineRoot(), cwd);
    fs::remove_all(cwd);
    EXPECT_FALSE(create()->engineRoot());
}

// The engine runs in its own folder: a relative root would make every start
// fail, so each candidate and each chosen folder becomes absolute.
TEST_F(WorkbenchState, EngineRootIsAlwaysAbsolute)
{
    makeEngineFolder(temp / "Engine", true);
    platform.environment.currentDirectoryPath = temp.path();
    platform.settings.values["engineRoot"] = "Engine";
    EXPECT_EQ(create()->engineRoot(), temp / "Engine");

    platform.settings.values.clear();
    platform.environment.currentDirectoryPath = temp / "Engine";
    auto workbench = create();
    EXPECT_EQ(workbench->engineRoot(), temp / "Engine");

    makeEngineFolder(temp / "Other", true);
    platform.environment.currentDirectoryPath = temp.path();
    platform.dialogs.folderAnswers.push_back(fs::path("Other/../Other"));
    workbench->chooseEngine();
    EXPECT_EQ(workbench->engineRoot(), temp / "Other");
    EXPECT_EQ(platform.settings.values["engineRoot"], (temp / "Other").string());
}

TEST_F(WorkbenchState, ReadyFollowsTheFileSystemAtEveryRead)
{
    makeEngineFolder(temp.path(), false);
    platform.environment.currentDirectoryPath = temp.path();
    auto workbench = create();
    EXPECT_EQ(workbench->engineRoot(), temp.path()) << "the script alone locates the folder";
    EXPECT_FALSE(workbench->ready());

    makeEngineFolder(temp.path(), true);
    EXPECT_TRUE(workbench->ready());
    fs::permissions(temp / ".venv/bin/python", fs::perms::owner_exec, fs::perm_options::remove);
    EXPECT_FALSE(workbench->ready());
    fs::permissions(temp / ".venv/bin/python", fs::perms::owner_exec, fs::perm_options::add);
    fs::remove(temp / "separate_job.py");
    EXPECT_FALSE(workbench->ready());
}

TEST_F(WorkbenchState, LoadsTheHistoryAtStartUpAndArmsThePollTimer)
{
    makeEngineFolder(temp.path(), true);
    platform.environment.currentDirectoryPath = temp.path();
    storeJob(temp.path(), std::string(32, 'a'), 10);
    storeJob(temp.path(), std::string(32, 'b'), 20);

    auto workbench = create();
    ASSERT_EQ(workbench->jobs().size(), 2u);
    EXPECT_EQ(workbench->jobs()[0].id, std::string(32, 'b'));
    ASSERT_EQ(platform.timers.armed.size(), 1u);
    EXPECT_DOUBLE_EQ(platform.timers.armed[0]->intervalSeconds, 0.4);

    // A firing that arrives after the Workbench is gone does nothing.
    workbench.reset();
    EXPECT_FALSE(platform.timers.armed[0]->alive);
    platform.timers.fireAll();
}

TEST_F(WorkbenchState, WithoutEngineFolderHistoryAndSaveDoNothing)
{
    auto workbench = create();
    ASSERT_EQ(platform.timers.armed.size(), 1u) << "the timer runs without an engine too";
    Job job;
    job.id = std::string(32, 'a');
    workbench->save(job);
    EXPECT_FALSE(workbench->error());
    workbench->loadHistory();
    EXPECT_TRUE(workbench->jobs().empty());
}

TEST_F(WorkbenchState, SaveFailureIsReportedAndTheHistoryIsKept)
{
    makeEngineFolder(temp.path(), true);
    platform.environment.currentDirectoryPath = temp.path();
    const std::string id(32, 'c');
    storeJob(temp.path(), id, 10);
    auto workbench = create();
    const std::vector<Job> before = workbench->jobs();

    Job changed = before.at(0);
    changed.status = "cancelled";
    workbench->save(changed);
    EXPECT_FALSE(workbench->error());
    EXPECT_EQ(workbench->jobs(), before) << "save alone leaves the snapshot";
    workbench->loadHistory();
    EXPECT_EQ(workbench->jobs().at(0).status, "cancelled");

    fs::remove_all(layout::jobFolder(temp.path(), id));
    const std::vector<Job> after = workbench->jobs();
    workbench->save(changed);
    EXPECT_EQ(workbench->error(), "保存任务记录失败：" +
                                      layout::recordFile(temp.path(), id).string() +
                                      ": 找不到这个文件或文件夹（No such file or directory）");
    EXPECT_EQ(workbench->jobs(), after);
}

TEST_F(WorkbenchState, ChooseEngineAcceptsOnlyAFolderHoldingTheScript)
{
    const fs::path first = temp / "first", second = temp / "second", empty = temp / "empty";
    makeEngineFolder(first, true);
    makeEngineFolder(second, false);
    fs::create_directories(empty);
    storeJob(second, std::string(32, 'd'), 5);
    platform.environment.currentDirectoryPath = first;
    auto workbench = create();

    std::vector<Field> seen;
    workbench->subscribe([&](Field field) { seen.push_back(field); });

    workbench->chooseEngine(); // cancelled
    ASSERT_EQ(platform.dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(platform.dialogs.folderRequests[0].message,
              "选择包含 separate_job.py 和 .venv 的项目文件夹");
    EXPECT_TRUE(seen.empty());

    platform.dialogs.folderAnswers.push_back(empty);
    workbench->chooseEngine();
    EXPECT_EQ(workbench->error(), "所选目录不包含 separate_job.py。");
    EXPECT_EQ(workbench->engineRoot(), first);
    EXPECT_EQ(seen, std::vector<Field>{Field::error});
    EXPECT_TRUE(platform.settings.values.empty());

    seen.clear();
    platform.dialogs.folderAnswers.push_back(second);
    workbench->chooseEngine();
    EXPECT_EQ(workbench->engineRoot(), second);
    EXPECT_EQ(platform.settings.values["engineRoot"], second.string());
    EXPECT_EQ(seen, (std::vector<Field>{Field::engineRoot, Field::selectedJob, Field::stems,
                                        Field::jobs}));
    ASSERT_EQ(workbench->jobs().size(), 1u);
    EXPECT_FALSE(workbench->ready()) << "no interpreter in the chosen folder";
    EXPECT_EQ(workbench->error(), "所选目录不包含 separate_job.py。") << "success keeps the error";

    // Choosing the same folder again still clears the selection and reloads.
    seen.clear();
    platform.dialogs.folderAnswers.push_back(second);
    workbench->chooseEngine();
    EXPECT_EQ(seen, (std::vector<Field>{Field::engineRoot, Field::selectedJob, Field::stems,
                                        Field::jobs}));
}

} // namespace
} // namespace tonfield
